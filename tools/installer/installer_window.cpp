// See installer_window.h.
#include "tools/installer/installer_window.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace lonvera::installer {

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Lonvera 组件安装"_s;

} // namespace

void showMessageBox(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, kTitle, text);
}

InstallerWindow::InstallerWindow(Installer *installer, QWidget *parent)
    : QWidget(parent), m_installer(installer), m_command1(new QPushButton(u"安装组件"_s, this)),
      m_showMessage(&showMessageBox)
{
    setObjectName(u"Form1"_s);
    m_command1->setObjectName(u"Command1"_s);
    setWindowTitle(kTitle);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(u"安装短信网关的运行组件和控件库。"_s, this));
    layout->addWidget(m_command1);
    connect(m_command1, &QPushButton::clicked, this, &InstallerWindow::install);
}

void InstallerWindow::start()
{
    if (!m_installer->silent()) {
        show();
        return;
    }
    hide();
    QTimer::singleShot(0, m_command1, &QPushButton::click);
}

void InstallerWindow::install()
{
    m_command1->setEnabled(false);
    m_command1->setText(u"正在安装..."_s);
    // The caption is seen before the package manager takes its time.
    QCoreApplication::processEvents();
    const Outcome outcome = m_installer->install();
    for (const QString &text : m_installer->finalMessages(outcome))
        m_showMessage(this, text);
    close();
    emit finished();
}

} // namespace lonvera::installer
