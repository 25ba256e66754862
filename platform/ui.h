#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The window system as the run sees it. All text crossing this interface is
// 8-bit Windows-1252; implementations convert for display.
namespace nimbus {

enum TMsgDlgType : int {
  mtWarning = 0,
  mtError = 1,
  mtInformation = 2,
  mtConfirmation = 3,
  mtCustom = 4,
};

// Button kinds in their display order; a set of them is a 16-bit mask with
// bit (1 << kind).
enum TMsgDlgBtn : int {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp,
};
constexpr int kButtonKindCount = 11;
using TMsgDlgButtons = std::uint16_t;
constexpr TMsgDlgButtons ButtonBit(TMsgDlgBtn kind) {
  return static_cast<TMsgDlgButtons>(1u << kind);
}

// Modal results.
constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
              mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

struct TButtonKindInfo {
  const char* Name;  // "Yes", "No", ...: how the button is found in a dialog
  const char* Label; // standard label; "&" marks the keyboard letter
  int ModalResult;
};
const TButtonKindInfo& ButtonKindInfo(TMsgDlgBtn kind);
// Standard dialog title for a type; empty for mtCustom.
std::string StandardDialogTitle(TMsgDlgType type);
// The button Enter presses (OK, else Yes, else Retry) and the one Escape
// presses (Cancel, else No, else OK); -1 when the set has none of them.
int DefaultButtonKind(TMsgDlgButtons buttons);
int EscapeButtonKind(TMsgDlgButtons buttons);

class IMessageDialog {
public:
  virtual ~IMessageDialog() = default;
  virtual std::string Title() const = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // Relabels the button found by its kind name; false when the dialog has none.
  virtual bool SetButtonLabel(const std::string& kindName, const std::string& label) = 0;
  virtual void SetStayOnTop(bool on) = 0;
  // Centred on the screen; dispatches messages until a button is pressed or
  // Close is called, and returns the modal result.
  virtual int ShowModal() = 0;
  // Ends a running ShowModal with `modalResult`; does nothing when not shown.
  virtual void Close(int modalResult) = 0;
};

class IProgressDialog {
public:
  virtual ~IProgressDialog() = default;
  // Each setter takes effect at once while shown and is remembered otherwise.
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void SetPosition(int position) = 0;
  virtual void SetMax(int max) = 0;
  virtual void Show() = 0; // does not block
  virtual void Hide() = 0; // closes the window, then processes pending messages
  virtual bool Visible() const = 0;
  // Fired when the operator presses Cancel; the window then closes at once.
  std::function<void()> OnCancel;
};

class ISplash {
public:
  virtual ~ISplash() = default; // destroying closes the window
  virtual void SetText(const std::string& text) = 0;
};

// The main window: caption, the text line Edit1, the log view Memo1, the
// hidden bExec and the bQuit button.
class IMainWindow {
public:
  virtual ~IMainWindow() = default;
  virtual void Show() = 0;
  virtual std::string Caption() const = 0;
  virtual std::string EditText() const = 0;
  virtual void SetEditText(const std::string& text) = 0;
  virtual void AddMemoLine(const std::string& line) = 0;
  virtual std::vector<std::string> MemoLines() const = 0;
  virtual void SetExecEnabled(bool enabled) = 0;
  virtual void SetQuitEnabled(bool enabled) = 0;
  virtual bool QuitEnabled() const = 0;
  // The top edge in screen pixels; moving it keeps the size and the left edge.
  virtual int Top() const = 0;
  virtual void SetTop(int top) = 0;
  // Closes the window from the program: runs OnClose, then hides the window.
  virtual void Close() = 0;
  virtual bool Closed() const = 0;

  std::function<void()> OnClose;        // the shutdown sequence
  std::function<void()> OnCloseRequest; // the operator asked to close (frame)
  std::function<void()> OnQuitClick;
  std::function<void()> OnExecClick;
};

class ITimer {
public:
  virtual ~ITimer() = default; // destroying stops the timer
  virtual void SetInterval(std::uint32_t milliseconds) = 0;
  virtual std::uint32_t Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  // Fired on the UI thread every interval while enabled.
  std::function<void()> OnTimer;
};

class Ui {
public:
  virtual ~Ui() = default;

  virtual IMainWindow& MainWindow() = 0;
  virtual std::unique_ptr<IProgressDialog> CreateProgressDialog() = 0;
  virtual std::unique_ptr<IMessageDialog>
  CreateMessageDialog(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) = 0;
  // Centred over the main window when `overMainWindow`, else over the screen.
  virtual std::unique_ptr<ISplash> ShowSplash(const std::string& text, bool withImage,
                                              bool overMainWindow) = 0;
  virtual std::unique_ptr<ITimer> CreateTimer() = 0;

  // Milliseconds since some start, wrapping at 2^32.
  virtual std::uint32_t TickCount() = 0;
  // Dispatches pending messages, waiting up to `maxWaitMs` for one to come.
  // Returns false, having taken the quit message, when the application was
  // told to end; `exitCode` then holds its code.
  virtual bool PumpMessages(std::uint32_t maxWaitMs, int& exitCode) = 0;
  // Dispatches what is pending without waiting (a quit stays pending).
  virtual void ProcessMessages() = 0;
  // Tells the message loop to end with `exitCode`.
  virtual void PostQuit(int exitCode) = 0;
  // Runs the message loop until told to end; returns the exit code.
  virtual int Run() = 0;
  // The application's title, where the window system shows one.
  virtual void SetApplicationTitle(const std::string& /*title*/) {}
};

// The window-system implementation, for when ProbeDisplay (platform/display.h)
// finds it usable, and the console one.
std::unique_ptr<Ui> CreateQtUi(int& argc, char** argv);
std::unique_ptr<Ui> CreateConsoleUi();

} // namespace nimbus
