// The outbox writer's window. See form1.h.
#include "tools/outbox_writer/form1.h"

#include "server/ui/list_filler.h"
#include "tools/outbox_writer/outbox_rows.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace lonvera::outbox_writer {

namespace {

const QString askForDatabase = QStringLiteral("请选择mdb数据库文件的路径：");
const QString writtenText = QStringLiteral("ok");
const QString notOurDatabase = QStringLiteral("所选文件不是短信网关的数据库，未连接：\n%1\n\n%2");
const QString badRowCount = QStringLiteral("记录数必须是不小于0的整数：“%1”");
const QString insertFailed = QStringLiteral("插入记录失败，没有写入任何记录：\n%1");
const QString noDatabase = QStringLiteral("尚未连接数据库，请调整窗口大小重新选择数据库文件。");
const QString listFailed = QStringLiteral("无法列出发件箱：\n%1");

// Every connection of the window has its own name, apart from any list filler's.
int connectionCounter = 0;

ui::ColumnSpecs outboxColumns()
{
    ui::ColumnSpecs c;
    c[0] = {QStringLiteral("ID"), QStringLiteral("id"), 0.1, ui::ColumnAlignment::Left};
    c[1] = {QStringLiteral("手机号"), QStringLiteral("mbno"), 0.2, ui::ColumnAlignment::Left};
    c[2] = {QStringLiteral("内容"), QStringLiteral("msg"), 0.7, ui::ColumnAlignment::Left};
    return c;
}

} // namespace

Form1::Form1(Prompts *prompts, QWidget *parent)
    : QWidget(parent), m_prompts(prompts), m_label1(new QLabel(QStringLiteral("手机号码："), this)),
      m_label2(new QLabel(QStringLiteral("记录数："), this)),
      m_text1(new QLineEdit(QStringLiteral("10086"), this)),
      m_text2(new QLineEdit(QStringLiteral("测试内容"), this)),
      m_text3(new QLineEdit(QStringLiteral("100"), this)),
      m_command1(new QPushButton(QStringLiteral("插入记录"), this)),
      m_listView1(new QTreeWidget(this)),
      m_database(QStringLiteral("pelton-%1").arg(++connectionCounter))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Pelton"));
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text3->setObjectName(QStringLiteral("Text3"));
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_listView1->setObjectName(QStringLiteral("ListView1"));
    m_label1->setBuddy(m_text1);
    m_label2->setBuddy(m_text3);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_label1, 0, 0);
    grid->addWidget(m_text1, 0, 1);
    grid->addWidget(m_label2, 0, 2);
    grid->addWidget(m_text3, 0, 3);
    grid->addWidget(m_command1, 0, 4);
    grid->addWidget(m_text2, 1, 0, 1, 5);
    grid->addWidget(m_listView1, 2, 0, 1, 5);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(2, 1);
    resize(640, 480);

    connect(m_command1, &QPushButton::clicked, this, &Form1::insertRecords);
}

Form1::~Form1() = default;

bool Form1::isConnected() const
{
    return m_database.isOpen();
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    requestChooseDatabase();
}

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A restored window asks again, like a resized one; a minimised one has nowhere to show the
    // dialog, so it asks when it comes back.
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        requestChooseDatabase();
}

void Form1::requestChooseDatabase()
{
    if (m_ended)
        return;
    m_choosePending = true;
    if (m_chooseQueued || m_choosing)
        return;
    m_chooseQueued = true;
    QTimer::singleShot(0, this, &Form1::runChooseDatabase);
}

void Form1::runChooseDatabase()
{
    m_chooseQueued = false;
    m_choosing = true;
    while (m_choosePending && !m_ended) {
        m_choosePending = false;
        chooseDatabase();
    }
    m_choosing = false;
}

void Form1::chooseDatabase()
{
    tell(askForDatabase);
    const QString file = m_prompts->openFile(this);
    if (file.isEmpty()) {
        m_ended = true;
        emit programEndRequested();
        return;
    }
    disconnectDatabase();
    const QString s = fileConnectionString(file);
    const db::OpenOutcome opened = m_database.open(s);
    QString problem = opened.ok() ? outboxProblem(m_database) : opened.description;
    if (!problem.isEmpty()) {
        disconnectDatabase();
        cccc(); // the list shows its columns and nothing of the previous database
        tell(notOurDatabase.arg(file, problem), Prompts::Kind::Warning);
        return;
    }
    m_connectionString = s;
    cccc();
}

void Form1::disconnectDatabase()
{
    m_database.close();
    m_connectionString.clear();
}

void Form1::cccc()
{
    if (m_connectionString.isEmpty()) {
        ui::prepareListViewAll(m_listView1, QStringLiteral("id"), outboxColumns());
        return;
    }
    const ui::FillOutcome filled =
        ui::fillListViewAll(m_listView1, m_connectionString, QStringLiteral("select * from outbox"),
                            QStringLiteral("id"), outboxColumns());
    if (!filled.ok())
        tell(listFailed.arg(filled.error), Prompts::Kind::Warning);
}

void Form1::insertRecords()
{
    if (!isConnected()) {
        tell(noDatabase, Prompts::Kind::Warning);
        return;
    }
    const std::optional<int> count = parseRowCount(m_text3->text());
    if (!count) {
        tell(badRowCount.arg(m_text3->text()), Prompts::Kind::Warning);
        return;
    }
    OutboxRequest request;
    request.mbno = m_text1->text();
    request.text = m_text2->text();
    request.count = *count;
    const WriteOutcome written = writeOutboxRows(m_database, request);
    if (!written.ok()) {
        tell(insertFailed.arg(written.error), Prompts::Kind::Warning);
        cccc();
        return;
    }
    tell(writtenText);
    cccc();
}

void Form1::tell(const QString &text, Prompts::Kind kind)
{
    m_prompts->message(this, text, kind);
}

} // namespace lonvera::outbox_writer
