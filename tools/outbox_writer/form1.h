// The outbox writer's window "Pelton": a destination number (Text1), a text prefix (Text2) and a
// row count (Text3), the button "插入记录" (Command1) that writes the rows, and the list of the
// outbox rows (ListView1). Every resize of the window, its first showing included, and every
// restore from minimised asks for the database file again and connects to it; choosing no file
// ends the program. Failures are told in a message box and leave the window usable. GUI thread
// only.
#pragma once

#include "server/db/database.h"
#include "tools/outbox_writer/prompts.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace lonvera::outbox_writer {

class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(Prompts *prompts, QWidget *parent = nullptr);
    ~Form1() override;

    /// The connection string of the chosen database; empty while none is connected.
    QString connectionString() const { return m_connectionString; }
    bool isConnected() const;

    /// Asks for the database file and connects to it (ChooseDatabase).
    void chooseDatabase();
    /// Refreshes the list of outbox rows (cccc).
    void cccc();
    /// Writes Text3 rows (the button "插入记录").
    void insertRecords();

signals:
    /// No database file was chosen: the program ends.
    void programEndRequested();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void requestChooseDatabase();
    void runChooseDatabase();
    void disconnectDatabase();
    void tell(const QString &text, Prompts::Kind kind = Prompts::Kind::Information);

    Prompts *m_prompts;
    QLabel *m_label1;
    QLabel *m_label2;
    QLineEdit *m_text1;
    QLineEdit *m_text2;
    QLineEdit *m_text3;
    QPushButton *m_command1;
    QTreeWidget *m_listView1;

    QString m_connectionString;
    db::Database m_database;
    // A resize arrives many times while a window is dragged, and again while the file dialog is
    // open: the asks are queued behind the event that caused them and never nested.
    bool m_choosePending = false;
    bool m_chooseQueued = false;
    bool m_choosing = false;
    bool m_ended = false;
};

} // namespace lonvera::outbox_writer
