// Form3's controls: the tab strip over its four pages, each page's boxes with their designed
// captions and defaults, and the two buttons. Loading and saving are in form3_settings.cpp.
#include "server/ui/form3_settings.h"

#include "server/ui/dialog_buttons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QVBoxLayout>

namespace lonvera::ui {

using namespace Qt::StringLiterals;

namespace {

QCheckBox *checkBox(QWidget *page, const QString &name, const QString &caption)
{
    auto *box = new QCheckBox(caption, page);
    box->setObjectName(name);
    return box;
}

QFrame *newPage(QWidget *parent, int i)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(u"Frame1_"_s + QString::number(i));
    frame->setFrameShape(QFrame::StyledPanel);
    return frame;
}

QComboBox *hourList(QWidget *page, const QString &name)
{
    auto *combo = new QComboBox(page);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setValidator(new QIntValidator(0, 24, combo));
    combo->setMinimumContentsLength(3);
    return combo;
}

} // namespace

void Form3::buildControls()
{
    setObjectName(u"Form3"_s);
    setWindowTitle(u"系统设置"_s);

    m_tabStrip1 = new QTabBar(this);
    m_tabStrip1->setObjectName(u"TabStrip1"_s);
    m_tabStrip1->addTab(u"常规选项"_s);
    m_tabStrip1->addTab(u"声音提醒"_s);
    m_tabStrip1->addTab(u"服务方式"_s);
    m_tabStrip1->setExpanding(false);

    auto *pages = new QWidget(this);
    auto *stack = new QGridLayout(pages);
    stack->setContentsMargins(0, 0, 0, 0);
    m_frame1[0] = buildGeneralPage();
    m_frame1[1] = buildSoundPage();
    m_frame1[2] = buildServicePage();
    m_frame1[3] = buildUnattendedPage();
    // All pages lie at the place of the first; only the selected tab's page is visible.
    QSize largest;
    for (QWidget *page : m_frame1) {
        page->setParent(pages);
        stack->addWidget(page, 0, 0);
        largest = largest.expandedTo(page->sizeHint());
    }
    pages->setMinimumSize(largest);

    const DialogButtons buttons = makeDialogButtons(this, u"返回"_s);
    m_command1 = buttons.command1;
    m_command2 = buttons.command2;

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabStrip1);
    layout->addWidget(pages);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_tabStrip1, &QTabBar::currentChanged, this, [this](int i) { showPage(i + 1); });
    connect(m_command1, &QPushButton::clicked, this, [this] { save(); });
    connect(m_command2, &QPushButton::clicked, this, &QWidget::close);
}

QWidget *Form3::buildGeneralPage()
{
    QFrame *page = newPage(this, 1);
    m_checkAutoSystem = checkBox(page, u"Check_auto_system"_s, u"系统启动时自动启动"_s);
    m_checkAutoConn = checkBox(page, u"Check_auto_conn"_s, u"启动时自动连接设备"_s);
    m_checkAutoMin = checkBox(page, u"Check_auto_min"_s, u"成功连接后自动最小化"_s);
    m_checkSaveReport =
        checkBox(page, u"Check_save_report"_s, u"关闭时保存运行记录至[report]目录"_s);
    m_check1PS = checkBox(page, u"Check1_PS"_s, u"关闭服务器要求密码"_s);
    m_text1 = new QLineEdit(page);
    m_text1->setObjectName(u"Text1"_s);
    m_text1->setEchoMode(QLineEdit::Password);
    m_text1->setVisible(false);
    m_checkAutoHandup = checkBox(page, u"Check_auto_handup"_s, u"自动挂断所有来电(推荐)"_s);

    auto *password = new QHBoxLayout;
    password->addWidget(m_check1PS);
    password->addWidget(m_text1);
    password->addStretch();
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(m_checkAutoSystem);
    layout->addWidget(m_checkAutoConn);
    layout->addWidget(m_checkAutoMin);
    layout->addWidget(m_checkSaveReport);
    layout->addLayout(password);
    layout->addWidget(m_checkAutoHandup);
    layout->addStretch();

    connect(m_check1PS, &QCheckBox::toggled, this, [this](bool on) {
        m_text1->setVisible(on);
        if (!on)
            m_text1->clear();
    });
    return page;
}

QWidget *Form3::buildSoundPage()
{
    QFrame *page = newPage(this, 2);
    m_checkLimit = checkBox(page, u"Check_limit"_s, u"达到允许条数时提示"_s);
    m_checkErrSound = checkBox(page, u"Check_err_sound"_s, u"发送失败时声音提示"_s);
    m_checkMsgSound = checkBox(page, u"Check_msg_sound"_s, u"收到短信时声音提示"_s);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(m_checkLimit);
    layout->addWidget(m_checkErrSound);
    layout->addWidget(m_checkMsgSound);
    layout->addStretch();
    return page;
}

QWidget *Form3::buildServicePage()
{
    QFrame *page = newPage(this, 3);
    auto option = [page](const QString &name, const QString &caption) {
        auto *button = new QRadioButton(caption, page);
        button->setObjectName(name);
        return button;
    };
    m_option1 = option(u"Option1"_s, u"仅用于发送信息(能提高发送速度)"_s);
    m_option2 = option(u"Option2"_s, u"仅用于接收信息(无短信发送功能)"_s);
    m_option3 = option(u"Option3"_s, u"用于发送和接收信息（默认方式）"_s);

    m_checkJustTm = checkBox(page, u"Check_JustTm"_s, u"限定发送时间(时)"_s);
    m_comboTmSt = hourList(page, u"ComboTM_st"_s);
    auto *label2 = new QLabel(u"至"_s, page);
    label2->setObjectName(u"Label2"_s);
    m_comboTmEnd = hourList(page, u"ComboTM_end"_s);

    m_textSendonce = new QLineEdit(u"1"_s, page);
    m_textSendonce->setObjectName(u"Text_sendonce"_s);
    m_textSendonce->setMaximumWidth(m_textSendonce->fontMetrics().horizontalAdvance(u"00000"_s));
    auto *sendonceLabel = new QLabel(u"任务单位："_s, page);
    sendonceLabel->setBuddy(m_textSendonce);
    sendonceLabel->setToolTip(u"每次给出多少条短信给某端口(1-30)"_s);

    auto *window = new QHBoxLayout;
    window->addWidget(m_checkJustTm);
    window->addWidget(m_comboTmSt);
    window->addWidget(label2);
    window->addWidget(m_comboTmEnd);
    window->addStretch();
    auto *batch = new QHBoxLayout;
    batch->addWidget(sendonceLabel);
    batch->addWidget(m_textSendonce);
    batch->addStretch();
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(m_option1);
    layout->addWidget(m_option2);
    layout->addWidget(m_option3);
    layout->addLayout(window);
    layout->addLayout(batch);
    layout->addStretch();

    connect(m_textSendonce, &QLineEdit::textChanged, this, &Form3::checkBatchSize);
    return page;
}

QWidget *Form3::buildUnattendedPage()
{
    QFrame *page = newPage(this, 4);
    // The count sits in the gap of the caption, between its two halves.
    m_checkAutoOpenSet = checkBox(page, u"Check_autoOpenSet"_s, u"某端口连续发送"_s);
    m_textErrmsgSet = new QLineEdit(u"60"_s, page);
    m_textErrmsgSet->setObjectName(u"Text_errmsg_set"_s);
    m_textErrmsgSet->setMaximumWidth(m_textErrmsgSet->fontMetrics().horizontalAdvance(u"00000"_s));
    auto *rest = new QLabel(u"条短信失败时，自动启动下一空闲端口[无人值守方式]"_s, page);
    auto *layout = new QHBoxLayout(page);
    layout->addWidget(m_checkAutoOpenSet);
    layout->addWidget(m_textErrmsgSet);
    layout->addWidget(rest);
    layout->addStretch();
    return page;
}

} // namespace lonvera::ui
