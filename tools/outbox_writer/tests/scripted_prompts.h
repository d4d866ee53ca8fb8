// Prompts answered by a test: message boxes are recorded, the file dialog answers from a list.
#pragma once

#include "tools/outbox_writer/prompts.h"

#include <QStringList>

#include <functional>
#include <utility>

namespace lonvera::outbox_writer::test {

class ScriptedPrompts : public Prompts
{
public:
    QStringList messages;
    QList<Kind> kinds;
    QStringList files; ///< answers of the file dialog in order; none left means cancelled
    int opens = 0;
    std::function<void()> whileOpen; ///< runs once inside the next file dialog

    void message(QWidget *, const QString &text, Kind kind) override
    {
        messages << text;
        kinds << kind;
    }

    QString openFile(QWidget *) override
    {
        ++opens;
        if (whileOpen)
            std::exchange(whileOpen, {})();
        return files.isEmpty() ? QString() : files.takeFirst();
    }
};

} // namespace lonvera::outbox_writer::test
