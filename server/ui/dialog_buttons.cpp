// See dialog_buttons.h.
#include "server/ui/dialog_buttons.h"

#include <QHBoxLayout>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace lonvera::ui {

DialogButtons makeDialogButtons(QWidget *dialog, const QString &command2Caption)
{
    DialogButtons b;
    b.command1 = new QPushButton(u"确定"_s, dialog);
    b.command1->setObjectName(u"Command1"_s);
    b.command1->setDefault(true);
    b.command2 = new QPushButton(command2Caption, dialog);
    b.command2->setObjectName(u"Command2"_s);
    b.row = new QHBoxLayout;
    b.row->addStretch();
    b.row->addWidget(b.command1);
    b.row->addWidget(b.command2);
    return b;
}

} // namespace lonvera::ui
