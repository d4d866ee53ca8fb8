// The worker's hidden container: it holds the modem control Tarvex1 and the task timer timClock,
// as the worker's never-shown form did. Lives on its worker's thread with the worker; no locks.
#pragma once

#include <QObject>
#include <QTimer>

namespace lonvera::control {
class Tarvex;
}

namespace lonvera::worker {

class ClockForm : public QObject
{
    Q_OBJECT
public:
    explicit ClockForm(QObject *parent = nullptr);
    ~ClockForm() override;

    /// The caption the form was designed with; it is never shown.
    static QString caption() { return QStringLiteral("Form1"); }

    control::Tarvex *Tarvex1() const { return m_tarvex; }
    QTimer *timClock() { return &m_timClock; }

private:
    control::Tarvex *m_tarvex;
    QTimer m_timClock;
};

} // namespace lonvera::worker
