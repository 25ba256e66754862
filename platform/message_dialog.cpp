#include "platform/ui.h"

namespace nimbus {

namespace {

const TButtonKindInfo kButtonKinds[kButtonKindCount] = {
    {"Yes", "&Oui", mrYes},
    {"No", "&Non", mrNo},
    {"OK", "OK", mrOk},
    {"Cancel", "Annuler", mrCancel},
    {"Abort", "&Abandonner", mrAbort},
    {"Retry", "&Retenter", mrRetry},
    {"Ignore", "&Ignorer", mrIgnore},
    {"All", "&Tous", mrAll},
    {"NoToAll", "Non &pour tout", mrNoToAll},
    {"YesToAll", "O&ui pour tout", mrYesToAll},
    {"Help", "&Aide", mrNone},
};

bool Has(TMsgDlgButtons buttons, TMsgDlgBtn kind) {
  return (buttons & ButtonBit(kind)) != 0;
}

} // namespace

const TButtonKindInfo& ButtonKindInfo(TMsgDlgBtn kind) {
  return kButtonKinds[kind];
}

std::string StandardDialogTitle(TMsgDlgType type) {
  switch (type) {
  case mtWarning:
    return "Avertissement";
  case mtError:
    return "Erreur";
  case mtInformation:
    return "Information";
  case mtConfirmation:
    return "Confirmation";
  default:
    return "";
  }
}

int DefaultButtonKind(TMsgDlgButtons buttons) {
  for (TMsgDlgBtn kind : {mbOK, mbYes, mbRetry})
    if (Has(buttons, kind))
      return kind;
  return -1;
}

int EscapeButtonKind(TMsgDlgButtons buttons) {
  for (TMsgDlgBtn kind : {mbCancel, mbNo, mbOK})
    if (Has(buttons, kind))
      return kind;
  return -1;
}

} // namespace nimbus
