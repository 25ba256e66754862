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
