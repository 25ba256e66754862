#include "app/timed_message.h"

#include "app/product_texts.h"

namespace nimbus {

TMessageTimer::TMessageTimer(Ui& ui) : CloseTimer(ui.CreateTimer()) {
  CloseTimer->SetEnabled(false);
  CloseTimer->OnTimer = [this] {
    CloseTimer->SetEnabled(false);
    if (Dialog)
      Dialog->Close(mrCancel);
  };
}

TMessageTimer::~TMessageTimer() {
  CloseTimer->SetEnabled(false);
}

std::int32_t TimedMessageDlg(Ui& ui, const std::string& Msg, TMsgDlgType DlgType,
                             TMsgDlgButtons Buttons, std::int32_t Seconds) {
  TMessageTimer timer(ui);
  std::unique_ptr<IMessageDialog> dialog = ui.CreateMessageDialog(Msg, DlgType, Buttons);
  timer.Dialog = dialog.get();
  dialog->SetStayOnTop(true);

  const std::uint64_t ms = Seconds < 1 ? 1000u : static_cast<std::uint64_t>(Seconds) * 1000u;
  timer.CloseTimer->SetInterval(ms > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(ms));
  timer.CloseTimer->SetEnabled(true);

  const int titleId = ProductTitleId(DlgType);
  dialog->SetTitle(titleId < 0 ? std::string() : ProductText(titleId));
  for (int kind = 0; kind < kButtonKindCount; ++kind) {
    const auto btn = static_cast<TMsgDlgBtn>(kind);
    if (!(Buttons & ButtonBit(btn)))
      continue;
    const int labelId = ProductButtonLabelId(btn);
    dialog->SetButtonLabel(ButtonKindInfo(btn).Name, labelId < 0 ? "OK" : ProductText(labelId));
  }

  // Members go in reverse order whatever happens: the dialog first, then the
  // timer, disabled by its destructor.
  const int result = dialog->ShowModal();
  timer.Dialog = nullptr;
  dialog.reset();
  timer.CloseTimer->SetEnabled(false);
  return result;
}

void WaitPumping(Ui& ui, std::uint32_t Milliseconds) {
  const std::uint32_t start = ui.TickCount();
  // Elapsed time, not a deadline: a tick counter wrapping during the wait
  // cannot stretch it.
  for (std::uint32_t elapsed = 0; elapsed < Milliseconds; elapsed = ui.TickCount() - start) {
    int exitCode = 0;
    if (!ui.PumpMessages(Milliseconds - elapsed, exitCode)) {
      ui.PostQuit(exitCode);
      return;
    }
  }
}

} // namespace nimbus
