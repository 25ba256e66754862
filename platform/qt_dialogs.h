#pragma once

#include <memory>
#include <string>

#include "platform/ui.h"

class QString;
class QWidget;

namespace nimbus {

class QtUi;

// The Qt dialogs behind QtUi. Their windows are children of the main window,
// so none outlives the QApplication; the wrappers hold them by QPointer.
std::unique_ptr<IProgressDialog> MakeQtProgressDialog(QtUi& ui);
std::unique_ptr<IMessageDialog> MakeQtMessageDialog(QtUi& ui, const std::string& text,
                                                    TMsgDlgType type, TMsgDlgButtons buttons);
std::unique_ptr<ISplash> MakeQtSplash(QtUi& ui, const std::string& text, bool withImage,
                                      bool overMainWindow);

// The program's 8-bit text for display, and back.
QString ToQtText(const std::string& text);
std::string FromQtText(const QString& text);

// Moves `window` (at its current size) to the centre of `over` when that is
// shown, else of the primary screen.
void CentreWindow(QWidget* window, const QWidget* over);

} // namespace nimbus
