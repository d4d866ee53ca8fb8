// See form2_port_settings.h.
#include "server/ui/form2_port_settings.h"

#include "server/core/gateway.h"
#include "server/ui/dialog_buttons.h"
#include "server/ui/form1.h"
#include "server/ui/message_boxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <limits>

namespace lonvera::ui {

using namespace Qt::StringLiterals;

namespace {

// On top of every window, with a close box and neither minimise nor maximise.
constexpr Qt::WindowFlags kDialogFlags =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint;

const QString kInUse = u"启用"_s;
const QString kNotInUse = u"停用"_s;
const QString kAllRanges = u"不限范围"_s;
// The range tokens in the order of the boxes Check1 … Check4.
const QString kRangeTokens[4] = {u"移动"_s, u"联通"_s, u"小灵通"_s, u"其它"_s};

const QString kLimitNotNumber = u"“许可发送条数”必须为数字，请检查"_s;
const QString kSentNotNumber = u"“已发送条数”必须为数字，请检查"_s;
const QString kDone = u"已设定"_s;

constexpr int kFirstDevice = 1;
constexpr int kLastDevice = 16;

QComboBox *comboBox(QWidget *parent, const QString &name, const QStringList &items, bool editable)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(editable);
    combo->addItems(items);
    return combo;
}

QLineEdit *textBox(QWidget *parent, const QString &name, const QString &designed)
{
    auto *box = new QLineEdit(designed, parent);
    box->setObjectName(name);
    return box;
}

// Shows the text in a list that only offers its items: a stored value outside them is added, so
// the dialog shows, and writes back, what the record holds.
void showInList(QComboBox *combo, const QString &text)
{
    if (combo->isEditable()) {
        combo->setEditText(text);
        return;
    }
    int i = combo->findText(text);
    if (i < 0) {
        combo->addItem(text);
        i = combo->count() - 1;
    }
    combo->setCurrentIndex(i);
}

} // namespace

Form2::Form2(server::Gateway &gateway, int row, server::DeviceRecord record, QWidget *parent)
    : QDialog(parent, kDialogFlags), m_gateway(gateway), m_row(row), m_record(std::move(record))
{
    buildControls();
    load();
}

QString Form2::paceExplanation()
{
    return QStringList{u"[不限速]：设备按最快速度进行发送"_s,
                       u"[快速度]：大约为 500条/小时左右"_s,
                       u"[中速度]：大约为 400条/小时左右"_s,
                       u"[慢速度]：大约为 200条/小时左右"_s,
                       u"[较慢速]：大约为 100条/小时左右"_s,
                       u"[极慢速]：大约为 50条/小时左右"_s,
                       QString(),
                       u"说明：受网络及诸多因素影响，以上仅是参考值！"_s}
        .join(u'\r');
}

QString Form2::rangeText(bool mobile, bool unicom, bool phs, bool other)
{
    const bool checked[4] = {mobile, unicom, phs, other};
    if (mobile && unicom && phs && other)
        return u"|"_s + kAllRanges + u"|"_s;
    QString text;
    for (int i = 0; i < 4; ++i) {
        if (checked[i])
            text += u"|"_s + kRangeTokens[i];
    }
    return text + u"|"_s;
}

void Form2::buildControls()
{
    setObjectName(u"Form2"_s);
    setWindowTitle(u"设定端口参数"_s);

    m_label6 = new QLabel(u"设备编号："_s, this);
    m_label6->setObjectName(u"Label6"_s);
    QStringList ports;
    for (int i = 1; i <= 16; ++i)
        ports << u"COM"_s + QString::number(i);
    m_comboCom = comboBox(this, u"Combo_com"_s, {}, true);
    m_comboOn = comboBox(this, u"Combo_on"_s, {kInUse, kNotInUse}, false);
    m_comboRate = comboBox(this, u"Combo_rate"_s, {}, true);
    // The rate column holds a number: only digits can be typed.
    m_comboRate->setValidator(
        new QRegularExpressionValidator(QRegularExpression(u"[0-9]{0,9}"_s), m_comboRate));
    m_comboPace = comboBox(
        this, u"Combo_pace"_s,
        {u"不限速"_s, u"快速度"_s, u"中速度"_s, u"慢速度"_s, u"较慢速"_s, u"极慢速"_s}, true);
    m_comboPace->setEditText(u"不限速"_s);
    m_command3 = new QPushButton(u"？"_s, this);
    m_command3->setObjectName(u"Command3"_s);
    m_command3->setFixedWidth(m_command3->fontMetrics().horizontalAdvance(u"？"_s) * 3);
    m_textSerno = textBox(this, u"Text_serno"_s, u"+8613800200500"_s);
    m_textMsgLimit = textBox(this, u"Text_msg_limit"_s, u"88888888"_s);
    m_textMsgsendedCount = textBox(this, u"Text_msgsended_count"_s, u"88888888"_s);

    auto *pace = new QHBoxLayout;
    pace->addWidget(m_comboPace, 1);
    pace->addWidget(m_command3);
    auto *form = new QFormLayout;
    form->addRow(u"串 口 号："_s, m_comboCom);
    form->addRow(u"是否启用："_s, m_comboOn);
    form->addRow(u"串口速率："_s, m_comboRate);
    form->addRow(u"发送速度："_s, pace);
    form->addRow(u"短信中心："_s, m_textSerno);
    form->addRow(u"许可发送条数："_s, m_textMsgLimit);
    form->addRow(u"已发送条数："_s, m_textMsgsendedCount);

    const DialogButtons buttons = makeDialogButtons(this, u"取消"_s);
    m_command1 = buttons.command1;
    m_command2 = buttons.command2;

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label6);
    layout->addLayout(form);
    layout->addWidget(buildRangeFrame());
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_command3, &QPushButton::clicked, this,
            [this] { MessageBoxes::message(this, paceExplanation()); });
    connect(m_command1, &QPushButton::clicked, this, [this] { save(); });
    connect(m_command2, &QPushButton::clicked, this, &QWidget::close);

    m_comboRate->addItems({u"2400"_s, u"9600"_s, u"19200"_s, u"115200"_s});
    m_comboCom->addItems(ports);
}

QWidget *Form2::buildRangeFrame()
{
    auto *frame1 = new QGroupBox(u"发送对范围"_s, this);
    frame1->setObjectName(u"Frame1"_s);
    auto check = [frame1](const QString &name, const QString &caption) {
        auto *box = new QCheckBox(caption, frame1);
        box->setObjectName(name);
        return box;
    };
    m_check1 = check(u"Check1"_s, u"移动"_s);
    m_check2 = check(u"Check2"_s, u"联通"_s);
    m_check3 = check(u"Check3"_s, u"小灵通"_s);
    m_check4 = check(u"Check4"_s, u"其它号码"_s);
    auto *layout = new QHBoxLayout(frame1);
    layout->addWidget(m_check1);
    layout->addWidget(m_check2);
    layout->addWidget(m_check3);
    layout->addWidget(m_check4);
    return frame1;
}

void Form2::load()
{
    const server::DeviceRecord &r = m_record;
    showInList(m_comboCom, r.com);
    showInList(m_comboOn, r.inUseing);
    showInList(m_comboRate, r.rate);
    m_textSerno->setText(r.serno);
    m_label6->setText(u"设备编号："_s + r.setName);
    showInList(m_comboPace, r.pace);
    m_textMsgLimit->setText(QString::number(r.msgMax));
    // The live count, which runs ahead of the stored column between its saves.
    m_textMsgsendedCount->setText(QString::number(m_gateway.sentCount(m_row)));

    const bool all = r.forNo.contains(kAllRanges);
    QCheckBox *boxes[4] = {m_check1, m_check2, m_check3, m_check4};
    for (int i = 0; i < 4; ++i)
        boxes[i]->setChecked(all || r.forNo.contains(kRangeTokens[i]));
}

bool Form2::checkNumber(QLineEdit *box, const QString &message, qint32 *value)
{
    // Both columns are 32-bit counts: a negative or larger number is as wrong as a word.
    bool ok = false;
    const qint64 n = box->text().trimmed().toLongLong(&ok);
    if (ok && n >= 0 && n <= std::numeric_limits<qint32>::max()) {
        *value = qint32(n);
        return true;
    }
    MessageBoxes::message(this, message);
    box->setFocus();
    box->selectAll();
    return false;
}

bool Form2::save()
{
    qint32 limit = 0;
    qint32 sent = 0;
    if (!checkNumber(m_textMsgLimit, kLimitNotNumber, &limit) ||
        !checkNumber(m_textMsgsendedCount, kSentNotNumber, &sent))
        return false;

    server::DeviceRecord r = m_record;
    r.com = m_comboCom->currentText();
    r.rate = m_comboRate->currentText();
    r.inUseing = m_comboOn->currentText();
    r.pace = m_comboPace->currentText();
    r.forNo = rangeText(m_check1->isChecked(), m_check2->isChecked(), m_check3->isChecked(),
                        m_check4->isChecked());
    r.serno = m_textSerno->text();
    r.msgSendedCount = sent;
    r.msgMax = limit;

    QString error;
    if (!m_gateway.writeDeviceRecord(r, &error)) {
        // Nothing changed: the operator may try again or cancel.
        MessageBoxes::message(this, u"保存设备记录失败："_s + error);
        return false;
    }
    m_record = r;
    // At once, so the periodic save of the counters cannot put the old count back.
    m_gateway.setSentCount(r.id, sent);
    MessageBoxes::message(this, kDone);
    refreshRow();
    close();
    return true;
}

// Shows the record as the server reads it back, as a refill of the list would.
void Form2::refreshRow()
{
    server::GatewayView *view = m_gateway.view();
    int n = m_row;
    if (!view->row(n) || view->row(n)->id != m_record.id) {
        n = 0;
        for (int i = 1; i <= int(view->rows().size()); ++i) {
            if (view->row(i)->id == m_record.id)
                n = i;
        }
    }
    if (n == 0)
        return;
    const server::DeviceRecord stored =
        m_gateway.deviceRecord(m_record.id, nullptr).value_or(m_record);
    view->setRowInUse(n, stored.inUseing == kInUse);
    view->setCell(n, server::ColumnCom, stored.com);
    view->setCell(n, server::ColumnRate, stored.rate);
    view->setCell(n, server::ColumnLimit, QString::number(stored.msgMax));
    view->setCell(n, server::ColumnPace, stored.pace);
    view->setCell(n, server::ColumnRanges, stored.forNo);
}

Form2 *openPortSettingsDialog(Form1 &window, int row)
{
    server::Gateway *gateway = window.gateway();
    if (!gateway)
        return nullptr;
    if (auto *open = window.findChild<Form2 *>(QString(), Qt::FindDirectChildrenOnly)) {
        open->raise();
        open->activateWindow();
        return open;
    }
    const server::DeviceRowView *view = gateway->view()->row(row);
    if (!view)
        return nullptr;
    if (view->id < kFirstDevice || view->id > kLastDevice) {
        MessageBoxes::message(&window,
                              u"设备编号 %1 超出范围(1-16)，不能设定端口参数"_s.arg(view->id));
        return nullptr;
    }
    std::optional<server::DeviceRecord> record = gateway->deviceRecordOfRow(row);
    if (!record)
        return nullptr;
    auto *dialog = new Form2(*gateway, row, std::move(*record), &window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowIcon(window.programIcon());
    dialog->show();
    return dialog;
}

} // namespace lonvera::ui
