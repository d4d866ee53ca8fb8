// The one way the window and its dialogs show a message box, ask a Yes/No question or ask for a
// line of text. Tests install a handler that answers instead of a person; without one the real
// modal boxes appear, captioned with the program title. GUI thread only.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace lonvera::ui {

class MessageBoxes
{
public:
    enum class Kind { Message, Question, TextInput };

    struct Request
    {
        Kind kind = Kind::Message;
        QWidget *parent = nullptr;
        QString text;
    };

    /// A handler's answer: yes for a question; text (or nullopt for Cancel) for a text input.
    struct Answer
    {
        bool yes = true;
        std::optional<QString> text;
    };

    using Handler = std::function<Answer(const Request &)>;

    /// A message with an OK button.
    static void message(QWidget *parent, const QString &text);
    /// A question with Yes and No buttons; true for Yes.
    static bool ask(QWidget *parent, const QString &question);
    /// A prompt for one line of text; nullopt when cancelled. password hides what is typed.
    static std::optional<QString> askText(QWidget *parent, const QString &prompt,
                                          bool password = false);

    /// Answers every later box; an empty handler brings the real boxes back.
    static void setHandler(Handler handler);
};

} // namespace lonvera::ui
