#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

// Pieces shared by the window-system implementations.
namespace nimbus {

// 8-bit text as UTF-8 for display, with every line break ("\r\n", "\n\r",
// lone "\r" or "\n") turned into one "\n".
std::string DisplayText(std::string_view text);

// A button label without its keyboard marks ("&&" stays one "&").
std::string StripMnemonic(std::string_view label);
// The letter a label marks with "&", or 0 when it marks none.
char MnemonicLetter(std::string_view label);

// The application's pending quit: the first code posted wins until a pump or
// the loop takes it.
class PendingQuit {
public:
  void Post(int exitCode) {
    if (!pending_)
      code_ = exitCode;
    pending_ = true;
  }
  bool Pending() const { return pending_; }
  // Takes the quit into `exitCode`; false when none is pending.
  bool Take(int& exitCode) {
    if (!pending_)
      return false;
    pending_ = false;
    exitCode = code_;
    return true;
  }

private:
  bool pending_ = false;
  int code_ = 0;
};

// Keeps exceptions thrown by the program's callbacks from crossing an event
// loop: the first one is kept and `onError` (which tells the loop to end)
// runs; the owner rethrows it once its loop is left.
class CallbackGuard {
public:
  explicit CallbackGuard(std::function<void()> onError) : onError_(std::move(onError)) {}

  // Runs a copy of `callback`, so that a callback replacing itself stays valid.
  void Call(const std::function<void()>& callback) noexcept;
  bool Failed() const { return static_cast<bool>(error_); }
  void RethrowIfFailed();

private:
  std::function<void()> onError_;
  std::exception_ptr error_;
};

} // namespace nimbus
