// See form3_settings.h. Loading and saving; the controls are built in form3_controls.cpp.
#include "server/ui/form3_settings.h"

#include "server/core/gateway.h"
#include "server/core/server_settings.h"
#include "server/ui/autostart.h"
#include "server/ui/form1.h"
#include "server/ui/message_boxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>

namespace lonvera::ui {

using namespace Qt::StringLiterals;
namespace keys = server::keys;

namespace {

const QString kBatchSizeMessage =
    u"请输入一个介于 1-30之间的数字，该值是设定分配每个端口的任务单位，即每次给出多少条短信给某端口"_s;
const QString kSendOnlyQuestion =
    u"您把系统设为“仅用于发送信息”,这样的话，系统将无短信接收功能，确定吗？"_s;
const QString kReceiveOnlyQuestion =
    u"您把系统设为“仅用于接收信息”,这样的话，系统将无短信发送功能，确定吗？"_s;
const QString kEmptyPasswordMessage =
    u"当选中“关闭服务器要求密码”项时，密码不能为空，请在其后面的框内输入密码！"_s;
const QString kOldPasswordPrompt = u"必须输入原密码，才能更改密码设置\n请输入原密码："_s;
const QString kWrongPasswordMessage = u"原密码不正确，本次设置不被允许！"_s;
const QString kNotWrittenMessage = u"以下设置未能保存，请检查文件权限：\r"_s;

// On top of every window, with a close box and neither minimise nor maximise.
constexpr Qt::WindowFlags kDialogFlags =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint;

// The unattended page's count when its box holds no number.
constexpr int kDefaultErrMsgCount = 6;
constexpr int kMinBatch = 1;
constexpr int kMaxBatch = 30;

std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString flag(const QCheckBox *box)
{
    return box->isChecked() ? u"1"_s : u"0"_s;
}

// An hour as the server reads it from the file at start: empty gives the default.
int hourOf(const QComboBox *list, int emptyValue)
{
    const QString text = list->currentText().trimmed();
    return text.isEmpty() ? emptyValue : server::leadingInt(text);
}

} // namespace

Form3::Form3(server::ServerSettings &settings, server::Gateway &gateway, bool hostedMode,
             QString runningExecutable, QWidget *parent)
    : QDialog(parent, kDialogFlags), m_settings(settings), m_gateway(gateway), m_hosted(hostedMode),
      m_runningExecutable(std::move(runningExecutable))
{
    buildControls();
    load();
}

void Form3::load()
{
    // The sending window as the server uses it now.
    const server::LiveSettings live = m_gateway.liveSettings();
    for (int hour = 0; hour <= 24; ++hour) {
        m_comboTmSt->addItem(QString::number(hour));
        m_comboTmEnd->addItem(QString::number(hour));
    }
    m_comboTmSt->setEditText(QString::number(live.sendIn));
    m_comboTmEnd->setEditText(QString::number(live.sendEnd));
    m_checkJustTm->setChecked(live.justTm == 1);

    // A box is ticked exactly when the server takes its key as switched on.
    m_checkAutoSystem->setChecked(m_settings.isOn(keys::AutoStart));
    m_checkAutoSystem->setVisible(!m_hosted);
    m_checkAutoConn->setChecked(m_settings.isOn(keys::AutoConnect));
    m_checkAutoMin->setChecked(m_settings.isOn(keys::AutoMinimise));
    m_checkSaveReport->setChecked(m_settings.isOn(keys::SaveReport));
    m_checkAutoHandup->setChecked(m_settings.isOn(keys::AutoHangUp));
    m_checkLimit->setChecked(live.soundLimit);
    m_checkErrSound->setChecked(m_settings.isOn(keys::SoundErr));
    m_checkMsgSound->setChecked(m_settings.isOn(keys::SoundInMsg));
    m_checkAutoOpenSet->setChecked(m_settings.isOn(keys::AutoOpenSet));
    m_textErrmsgSet->setText(m_settings.value(keys::SetErrMsgCount));
    // Runs the batch-size check: a missing or bad value is told once and shown as "1".
    m_textSendonce->setText(m_settings.value(keys::SendOnce));

    const QString password = m_settings.value(keys::ClosePassword);
    m_text1->setText(password);
    m_passwordWasSet = !password.isEmpty();
    m_check1PS->setChecked(m_passwordWasSet);
    m_text1->setVisible(m_passwordWasSet);
    m_oldPassword = password;

    switch (m_settings.serviceMode()) {
    case 1:
        m_option1->setChecked(true);
        break;
    case 2:
        m_option2->setChecked(true);
        break;
    case 3:
        m_option3->setChecked(true);
        break;
    default:
        break;
    }

    m_tabStrip1->setCurrentIndex(0);
    showPage(1);
}

void Form3::showPage(int index)
{
    for (int i = 1; i <= kPages; ++i)
        m_frame1[i - 1]->setVisible(i == index);
}

void Form3::checkBatchSize()
{
    const std::optional<int> n = wholeNumber(m_textSendonce->text());
    if (n && *n >= kMinBatch && *n <= kMaxBatch)
        return;
    MessageBoxes::message(this, kBatchSizeMessage);
    m_textSendonce->setText(u"1"_s);
}

bool Form3::confirmPassword()
{
    if (!m_passwordWasSet || m_text1->text() == m_oldPassword)
        return true;
    const QString answer =
        MessageBoxes::askText(this, kOldPasswordPrompt, true).value_or(QString());
    if (answer == m_oldPassword)
        return true;
    MessageBoxes::message(this, kWrongPasswordMessage);
    return false;
}

bool Form3::save()
{
    if (m_option1->isChecked() && !MessageBoxes::ask(this, kSendOnlyQuestion))
        return false;
    if (m_option2->isChecked() && !MessageBoxes::ask(this, kReceiveOnlyQuestion))
        return false;
    if (m_check1PS->isChecked() && m_text1->text().isEmpty()) {
        MessageBoxes::message(this, kEmptyPasswordMessage);
        m_text1->setFocus();
        return false;
    }
    if (!confirmPassword()) {
        // Someone without the old password gets no second try in this dialog.
        close();
        return false;
    }
    const QStringList failed = writeSettings();
    if (!failed.isEmpty()) {
        MessageBoxes::message(this, kNotWrittenMessage + failed.join(u'\r'));
        return false;
    }
    close();
    return true;
}

// Writes every value and updates the server's in-memory copies; gives the places that could not
// be written.
QStringList Form3::writeSettings()
{
    bool fileOk = true;
    auto write = [&](server::SettingKey key, const QString &value) {
        fileOk = m_settings.setValue(key, value) && fileOk;
    };

    write(keys::AutoConnect, flag(m_checkAutoConn));
    write(keys::AutoMinimise, flag(m_checkAutoMin));
    write(keys::SaveReport, flag(m_checkSaveReport));
    write(keys::ClosePassword, m_text1->text());
    write(keys::AutoHangUp, flag(m_checkAutoHandup));
    write(keys::AutoStart, flag(m_checkAutoSystem));

    server::LiveSettings live = m_gateway.liveSettings();
    write(keys::SendIn, m_comboTmSt->currentText().trimmed());
    write(keys::SendEnd, m_comboTmEnd->currentText().trimmed());
    write(keys::JustTm, flag(m_checkJustTm));
    live.sendIn = hourOf(m_comboTmSt, 0);
    live.sendEnd = hourOf(m_comboTmEnd, 24);
    live.justTm = m_checkJustTm->isChecked() ? 1 : 0;

    write(keys::SoundLimit, flag(m_checkLimit));
    write(keys::SoundErr, flag(m_checkErrSound));
    write(keys::SoundInMsg, flag(m_checkMsgSound));
    live.soundLimit = m_checkLimit->isChecked();
    live.soundErr = m_checkErrSound->isChecked();
    live.soundInMsg = m_checkMsgSound->isChecked();

    const int count = wholeNumber(m_textErrmsgSet->text()).value_or(kDefaultErrMsgCount);
    write(keys::SetErrMsgCount, QString::number(count));
    write(keys::AutoOpenSet, flag(m_checkAutoOpenSet));
    live.setErrMsgCount = count;
    live.autoOpenSet = m_checkAutoOpenSet->isChecked();
    m_gateway.applyLiveSettings(live);

    bool autostartOk = true;
    if (m_checkAutoSystem->isChecked()) {
        const QStringList command =
            Autostart::commandFor(m_settings.programFolder(), m_runningExecutable);
        autostartOk = Autostart::write(command.first(), command.mid(1));
    } else {
        autostartOk = Autostart::remove();
    }

    if (m_option1->isChecked())
        write(keys::ServiceMode, u"1"_s);
    else if (m_option2->isChecked())
        write(keys::ServiceMode, u"2"_s);
    else if (m_option3->isChecked())
        write(keys::ServiceMode, u"3"_s);

    if (const std::optional<int> n = wholeNumber(m_textSendonce->text()))
        write(keys::SendOnce, QString::number(*n));

    QStringList failed;
    if (!fileOk)
        failed << m_settings.filePath(u"set.ini"_s);
    if (!autostartOk)
        failed << Autostart::entryPath();
    return failed;
}

Form3 *openSettingsDialog(Form1 &window)
{
    server::Gateway *gateway = window.gateway();
    if (!gateway)
        return nullptr;
    if (auto *open = window.findChild<Form3 *>(QString(), Qt::FindDirectChildrenOnly)) {
        open->raise();
        open->activateWindow();
        return open;
    }
    auto *dialog = new Form3(window.settings(), *gateway, window.settings().hostedMode(),
                             QCoreApplication::applicationFilePath(), &window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowIcon(window.programIcon());
    dialog->show();
    return dialog;
}

} // namespace lonvera::ui
