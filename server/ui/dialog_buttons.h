// The row of a dialog's closing buttons, right-aligned: the default button Command1 (确定) and
// Command2 with the dialog's own caption (取消 or 返回). Command1 saves, Command2 closes.
#pragma once

#include <QString>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace lonvera::ui {

struct DialogButtons
{
    QPushButton *command1 = nullptr;
    QPushButton *command2 = nullptr;
    QHBoxLayout *row = nullptr;
};

/// Builds the two buttons as children of dialog and the layout that holds them (to be added to
/// the dialog's layout by the caller).
DialogButtons makeDialogButtons(QWidget *dialog, const QString &command2Caption);

} // namespace lonvera::ui
