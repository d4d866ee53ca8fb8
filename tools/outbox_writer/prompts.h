// The one place where the outbox writer asks or tells the person in front of it: message boxes
// and the file-open dialog. The window talks only to this interface, so tests answer the
// dialogs with a script of their own. GUI thread only.
#pragma once

#include <QString>

class QWidget;

namespace lonvera::outbox_writer {

class Prompts
{
public:
    enum class Kind { Information, Warning };

    virtual ~Prompts();
    /// A message box with an OK button only; returns once it is answered.
    virtual void message(QWidget *parent, const QString &text, Kind kind) = 0;
    /// The file-open dialog without a file filter; empty when nothing was chosen.
    virtual QString openFile(QWidget *parent) = 0;
};

/// The real boxes and dialog of Qt Widgets.
class WidgetPrompts : public Prompts
{
public:
    void message(QWidget *parent, const QString &text, Kind kind) override;
    QString openFile(QWidget *parent) override;
};

} // namespace lonvera::outbox_writer
