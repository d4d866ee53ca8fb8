// Message boxes and the file dialog. See prompts.h.
#include "tools/outbox_writer/prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace lonvera::outbox_writer {

namespace {

// Message boxes carry the program's name, as the window's caption does.
const QString title = QStringLiteral("Pelton");

} // namespace

Prompts::~Prompts() = default;

void WidgetPrompts::message(QWidget *parent, const QString &text, Kind kind)
{
    if (kind == Kind::Warning)
        QMessageBox::warning(parent, title, text);
    else
        QMessageBox::information(parent, title, text);
}

QString WidgetPrompts::openFile(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent);
}

} // namespace lonvera::outbox_writer
