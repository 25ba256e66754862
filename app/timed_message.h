#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui.h"

namespace nimbus {

// Closes a message dialog when its timer ticks. The dialog is only referred
// to; the timer is owned and created disabled.
class TMessageTimer {
public:
  explicit TMessageTimer(Ui& ui);
  ~TMessageTimer();

  IMessageDialog* Dialog = nullptr;
  std::unique_ptr<ITimer> CloseTimer;
};

// A modal message box that closes itself after `Seconds` (1 s when below 1),
// titled and labelled from the product text table. Returns the pressed
// button's modal result, or 2 when the timer closed the box.
std::int32_t TimedMessageDlg(Ui& ui, const std::string& Msg, TMsgDlgType DlgType,
                             TMsgDlgButtons Buttons, std::int32_t Seconds);

// Dispatches messages for `Milliseconds`, ending early when the application
// is told to end (the quit is posted again so the message loop sees it).
void WaitPumping(Ui& ui, std::uint32_t Milliseconds);

} // namespace nimbus
