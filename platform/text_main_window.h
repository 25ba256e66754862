#pragma once

#include "platform/ui.h"

namespace nimbus {

// A main window with no widgets: it keeps its text line, log lines and
// button states, and closing it runs the shutdown handler once and ends the
// application. The console and the scripted window systems build on it.
class TextMainWindow : public IMainWindow {
public:
  explicit TextMainWindow(Ui& ui) : ui_(ui) {}

  void Show() override {}
  std::string Caption() const override { return "Execution de scripts Nimbus"; }
  std::string EditText() const override { return edit_; }
  void SetEditText(const std::string& text) override { edit_ = text; }
  void AddMemoLine(const std::string& line) override { memo_.push_back(line); }
  std::vector<std::string> MemoLines() const override { return memo_; }
  void SetExecEnabled(bool enabled) override { exec_ = enabled; }
  void SetQuitEnabled(bool enabled) override { quit_ = enabled; }
  bool QuitEnabled() const override { return quit_; }
  // Kept but shown nowhere: a text window has no place on a screen.
  int Top() const override { return top_; }
  void SetTop(int top) override { top_ = top; }
  void Close() override {
    if (closed_)
      return;
    closed_ = true;
    if (OnClose)
      OnClose();
    ui_.PostQuit(0);
  }
  bool Closed() const override { return closed_; }

private:
  Ui& ui_;
  std::string edit_ = "Initialisation";
  std::vector<std::string> memo_;
  int top_ = 0;
  bool exec_ = true, quit_ = true, closed_ = false;
};

} // namespace nimbus
