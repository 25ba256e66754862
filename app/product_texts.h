#pragma once

#include <string>

#include "platform/ui.h"

namespace nimbus {

// The product's table of display texts, by number; empty for a number it
// does not hold.
std::string ProductText(int id);

// Table numbers of the timed box's title for a dialog type (-1: no title)
// and of a button kind's label (-1: the button keeps "OK").
int ProductTitleId(TMsgDlgType type);
int ProductButtonLabelId(TMsgDlgBtn kind);

} // namespace nimbus
