#include "app/product_texts.h"

namespace nimbus {

std::string ProductText(int id) {
  switch (id) {
  case 5:
    return "&Aide";
  case 6:
    return "&Annuler";
  case 7:
    return "&Ignorer";
  case 8:
    return "&Non";
  case 9:
    return "&Non pour tout";
  case 11:
    return "&Oui";
  case 12:
    return "&Oui pour tout";
  case 13:
    return "&Retenter";
  case 14:
    return "&Tous";
  case 278:
    return "Avertissement";
  case 519:
    return "Confirmation";
  case 847:
    return "Erreur";
  case 1137:
    return "Information";
  default:
    return "";
  }
}

int ProductTitleId(TMsgDlgType type) {
  switch (type) {
  case mtWarning:
    return 278;
  case mtError:
    return 847;
  case mtInformation:
    return 1137;
  case mtConfirmation:
    return 519;
  default:
    return -1;
  }
}

int ProductButtonLabelId(TMsgDlgBtn kind) {
  switch (kind) {
  case mbYes:
    return 11;
  case mbNo:
    return 8;
  case mbCancel:
  case mbAbort: // the product reuses the Cancel entry for Abort
    return 6;
  case mbRetry:
    return 13;
  case mbIgnore:
    return 7;
  case mbAll:
    return 14;
  case mbNoToAll:
    return 9;
  case mbYesToAll:
    return 12;
  case mbHelp:
    return 5;
  default:
    return -1;
  }
}

} // namespace nimbus
