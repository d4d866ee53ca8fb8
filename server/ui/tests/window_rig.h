// A whole server with its window for the widget tests: a program folder with set.ini and the
// SQLite database, a machine prefix of its own, the real core on fake workers, Form1, and the
// message boxes answered by the test. Test thread only.
#pragma once

#include "server/core/server_app.h"
#include "server/core/tests/fakes.h"
#include "server/ui/form1.h"
#include "server/ui/message_boxes.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace lonvera::ui::test {

class WindowRig
{
public:
    /// setIni: lines added to set.ini after the database line.
    explicit WindowRig(const QStringList &setIni = {}, bool withDatabase = true);
    ~WindowRig();

    /// Runs the statement on the program folder's database (its own connection).
    bool exec(const QString &sql);
    QString scalar(const QString &sql);
    /// Starts the server and its window.
    server::ServerApp::StartResult start();

    QString home() const { return m_dir.filePath(QStringLiteral("home")); }
    QString prefix() const { return m_dir.filePath(QStringLiteral("prefix")); }

    /// Selects device-list row n (1-based).
    void select(int n);
    /// The fake worker of slot n, or nullptr.
    server::testing::FakeWorker *worker(int n) const;
    /// Connects slot n through the start command and lets its worker report success.
    server::testing::FakeWorker *connectRow(int n);

    QTemporaryDir m_dir;
    server::testing::FakeFactory factory;
    std::unique_ptr<server::ServerApp> app;
    std::unique_ptr<Form1> form;
    /// Every message box and question asked, in order.
    QStringList messages;
    QStringList questions;
    bool answerYes = true;
};

} // namespace lonvera::ui::test
