// See about_box.h.
#include "server/ui/about_box.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace lonvera::ui {

using namespace Qt::StringLiterals;

AboutBox::AboutBox(const QIcon &programIcon, QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"关于软件"_s);
    setWindowIcon(programIcon);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *picIcon = new QLabel(this);
    picIcon->setObjectName(u"picIcon"_s);
    picIcon->setPixmap(programIcon.pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop);

    auto *lblDescription = new QLabel(
        u"    通过本程序作为接口，您只需操作我们提供的数据库，即能使你现有的系统（如OA、CRM、ERP等系统）轻松实现无线办公功能！ "_s,
        this);
    lblDescription->setObjectName(u"lblDescription"_s);
    lblDescription->setWordWrap(true);
    lblDescription->setMinimumWidth(320);

    auto *lblVersion = new QLabel(u"V3.8"_s, this);
    lblVersion->setObjectName(u"lblVersion"_s);
    auto *label2 = new QLabel(u"2014"_s, this);
    label2->setObjectName(u"Label2"_s);

    auto *cmdOK = new QPushButton(u"确定"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *grid = new QGridLayout(this);
    grid->addWidget(picIcon, 0, 0, 3, 1);
    grid->addWidget(lblVersion, 0, 1);
    grid->addWidget(lblDescription, 1, 1, 1, 2);
    grid->addWidget(label2, 2, 1);
    grid->addWidget(cmdOK, 3, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
}

} // namespace lonvera::ui
