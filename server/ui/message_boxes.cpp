// See message_boxes.h.
#include "server/ui/message_boxes.h"

#include "server/core/server_settings.h"

#include <QInputDialog>
#include <QMessageBox>

namespace lonvera::ui {

namespace {

MessageBoxes::Handler &handler()
{
    static MessageBoxes::Handler h;
    return h;
}

QString title()
{
    return QString::fromLatin1(server::kProgramTitle);
}

// Windows message boxes break lines at a carriage return; Qt's at a line feed.
QString shown(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

} // namespace

void MessageBoxes::message(QWidget *parent, const QString &text)
{
    if (handler()) {
        handler()({Kind::Message, parent, text});
        return;
    }
    QMessageBox::information(parent, title(), shown(text), QMessageBox::Ok);
}

bool MessageBoxes::ask(QWidget *parent, const QString &question)
{
    if (handler())
        return handler()({Kind::Question, parent, question}).yes;
    return QMessageBox::question(parent, title(), shown(question),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

std::optional<QString> MessageBoxes::askText(QWidget *parent, const QString &prompt, bool password)
{
    if (handler())
        return handler()({Kind::TextInput, parent, prompt}).text;
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, title(), shown(prompt),
                              password ? QLineEdit::Password : QLineEdit::Normal, {}, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

void MessageBoxes::setHandler(Handler h)
{
    handler() = std::move(h);
}

} // namespace lonvera::ui
