// The settings dialog on the real core and real "set.ini" files: the batch-size check, the save
// steps with their questions and stops, the password rule, the service mode, the in-memory
// settings, the autostart entry, the hosted mode, the pages; and what it writes read back by
// the core and by the dialog itself.
#include "window_rig.h"

#include "platform/profile_file.h"
#include "server/ui/autostart.h"
#include "server/ui/form3_settings.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

using namespace lonvera;
using namespace lonvera::ui;
using namespace lonvera::ui::test;
using namespace Qt::StringLiterals;

namespace {

const QString kBatchSizeMessage =
    u"请输入一个介于 1-30之间的数字，该值是设定分配每个端口的任务单位，即每次给出多少条短信给某端口"_s;

// A server with its window whose settings dialog opens through the window's hooks; its own
// autostart folder.
struct Rig : WindowRig
{
    explicit Rig(const QStringList &setIni = {}) : WindowRig(setIni, false)
    {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toUtf8());
        start();
        form->setDialogHooks(programDialogs());
    }
    ~Rig() { qunsetenv("XDG_CONFIG_HOME"); }

    Form3 *open()
    {
        messages.clear();
        form->openSettings();
        return form->findChild<Form3 *>();
    }
    QString ini(const QString &section, const QString &key) const
    {
        return platform::ProfileFile(home() + u"/set.ini"_s).readString(section, key);
    }
    QByteArray iniBytes() const
    {
        QFile f(home() + u"/set.ini"_s);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    QStringList texts;
    std::optional<QString> textAnswer;
};

template<typename T> T *control(QWidget *dialog, const QString &name)
{
    T *c = dialog->findChild<T *>(name);
    if (!c)
        qFatal("no control %s", qPrintable(name));
    return c;
}

void answerText(Rig &rig, std::optional<QString> answer)
{
    rig.textAnswer = std::move(answer);
    MessageBoxes::setHandler([&rig](const MessageBoxes::Request &r) {
        MessageBoxes::Answer a;
        if (r.kind == MessageBoxes::Kind::Question) {
            rig.questions << r.text;
            a.yes = rig.answerYes;
        } else if (r.kind == MessageBoxes::Kind::TextInput) {
            rig.texts << r.text;
            a.text = rig.textAnswer;
        } else {
            rig.messages << r.text;
        }
        return a;
    });
}

// Every control's state, to compare one opening with the next.
QStringList state(Form3 *f)
{
    QStringList s;
    for (QCheckBox *c : f->findChildren<QCheckBox *>())
        s << c->objectName() + u'=' + QString::number(c->isChecked());
    for (QRadioButton *r : f->findChildren<QRadioButton *>())
        s << r->objectName() + u'=' + QString::number(r->isChecked());
    for (QComboBox *c : f->findChildren<QComboBox *>())
        s << c->objectName() + u'=' + c->currentText();
    for (QLineEdit *e : f->findChildren<QLineEdit *>()) {
        if (!e->objectName().isEmpty())
            s << e->objectName() + u'=' + e->text();
    }
    return s;
}

} // namespace

class TstForm3 : public QObject
{
    Q_OBJECT
private slots:
    void batchSizeCheckedOnChange_data();
    void batchSizeCheckedOnChange();
    void batchSizeCheckedAtLoad_data();
    void batchSizeCheckedAtLoad();

    void savedValuesReadBackAlike();
    void inMemorySettingsTakeEffect();
    void pagesFollowTabs();
    void hostedModeHidesAutostart();

    void emptyPasswordKeepsDialogOpen();
    void changedPasswordNeedsOldOne();
    void unchangedPasswordAsksNothing();
    void passwordBoxShownWithItsCheck();

    void noToServiceQuestionWritesNothing();
    void serviceModeOfNoOptionKept_data();
    void serviceModeOfNoOptionKept();
    void returnWritesNothing();

    void autostartWrittenAndRemoved();
    void unwritableAutostartKeepsDialogOpen();
    void secondOpeningRaisesTheFirst();
    void opensFromButtonAndMenu();
};

void TstForm3::batchSizeCheckedOnChange_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0") << u"0"_s << u"1"_s;
    QTest::newRow("31") << u"31"_s << u"1"_s;
    QTest::newRow("abc") << u"abc"_s << u"1"_s;
    QTest::newRow("empty") << QString() << u"1"_s;
    QTest::newRow("negative") << u"-5"_s << u"1"_s;
    QTest::newRow("30") << u"30"_s << u"30"_s;
    QTest::newRow("1") << u"1"_s << u"1"_s;
    QTest::newRow("12") << u"12"_s << u"12"_s;
}

void TstForm3::batchSizeCheckedOnChange()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Rig rig({u"SendOnce=5"_s});
    Form3 *f = rig.open();
    QVERIFY(f);
    QVERIFY(rig.messages.isEmpty());
    auto *box = control<QLineEdit>(f, u"Text_sendonce"_s);
    // One change, as a paste makes it; typing runs the check at every key.
    box->setText(typed);
    QCOMPARE(box->text(), shown);
    const bool refused = shown != typed;
    QCOMPARE(rig.messages, refused ? QStringList{kBatchSizeMessage} : QStringList{});
}

void TstForm3::batchSizeCheckedAtLoad_data()
{
    QTest::addColumn<QStringList>("ini");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("messages");
    QTest::newRow("missing") << QStringList{} << u"1"_s << 1;
    QTest::newRow("not a number") << QStringList{u"SendOnce=abc"_s} << u"1"_s << 1;
    QTest::newRow("too large") << QStringList{u"SendOnce=40"_s} << u"1"_s << 1;
    QTest::newRow("key in other case") << QStringList{u"sendonce=7"_s} << u"7"_s << 0;
}

void TstForm3::batchSizeCheckedAtLoad()
{
    QFETCH(QStringList, ini);
    QFETCH(QString, shown);
    QFETCH(int, messages);
    Rig rig(ini);
    Form3 *f = rig.open();
    QCOMPARE(control<QLineEdit>(f, u"Text_sendonce"_s)->text(), shown);
    QCOMPARE(rig.messages.count(kBatchSizeMessage), messages);
    QCOMPARE(rig.messages.size(), messages);
}

void TstForm3::savedValuesReadBackAlike()
{
    Rig rig({u"SendOnce=5"_s, u"myserver=3"_s, u"[AUTOC]"_s, u"AUTOC=1"_s, u"report=1"_s,
             u"[Sound]"_s, u"InMsg=1"_s});
    Form3 *f = rig.open();
    // Change a value on every page, including the hidden one.
    control<QCheckBox>(f, u"Check_auto_min"_s)->setChecked(true);
    control<QCheckBox>(f, u"Check_auto_conn"_s)->setChecked(false);
    control<QCheckBox>(f, u"Check_auto_handup"_s)->setChecked(true);
    control<QCheckBox>(f, u"Check_err_sound"_s)->setChecked(true);
    control<QCheckBox>(f, u"Check_limit"_s)->setChecked(true);
    control<QRadioButton>(f, u"Option2"_s)->setChecked(true);
    control<QCheckBox>(f, u"Check_JustTm"_s)->setChecked(true);
    control<QComboBox>(f, u"ComboTM_st"_s)->setEditText(u"8"_s);
    control<QComboBox>(f, u"ComboTM_end"_s)->setEditText(u"20"_s);
    control<QLineEdit>(f, u"Text_sendonce"_s)->setText(u"30"_s);
    control<QCheckBox>(f, u"Check_autoOpenSet"_s)->setChecked(true);
    control<QLineEdit>(f, u"Text_errmsg_set"_s)->setText(u"9"_s);
    control<QCheckBox>(f, u"Check1_PS"_s)->setChecked(true);
    control<QLineEdit>(f, u"Text1"_s)->setText(u"secret"_s);
    const QStringList saved = state(f);
    QPointer<Form3> guard(f);
    QVERIFY(f->save());
    QTRY_VERIFY(!guard);
    QCOMPARE(rig.questions.size(), 1);

    // The core reads what the dialog wrote.
    const server::LoadedSettings core = rig.app->settings().load();
    QCOMPARE(core.autoConnect, false);
    QCOMPARE(core.soundErr, true);
    QCOMPARE(core.soundInMsg, true);
    QCOMPARE(core.soundLimit, true);
    QCOMPARE(core.serviceMode, 2);
    QCOMPARE(core.sendIn, 8);
    QCOMPARE(core.sendEnd, 20);
    QCOMPARE(core.justTm, 1);
    QCOMPARE(core.autoOpenSet, true);
    QCOMPARE(core.setErrMsgCount, 9);
    QCOMPARE(rig.ini(u"AUTOC"_s, u"Auto_Min"_s), u"1"_s);
    QCOMPARE(rig.ini(u"AUTOC"_s, u"Need_Ps"_s), u"secret"_s);
    QCOMPARE(rig.ini(u"ocx"_s, u"SendOnce"_s), u"30"_s);

    // And shows it the same way when it opens again.
    Form3 *again = rig.open();
    QVERIFY(rig.messages.isEmpty());
    QCOMPARE(state(again), saved);
    QPointer<Form3> guard2(again);
    QVERIFY(again->save());
    QTRY_VERIFY(!guard2);
    QCOMPARE(state(rig.open()), saved);
}

void TstForm3::inMemorySettingsTakeEffect()
{
    Rig rig({u"SendOnce=5"_s, u"[Sound]"_s, u"limit_sound=1"_s});
    server::Gateway *g = rig.app->gateway();
    // The limit sound box shows the server's switch, not the file's.
    server::LiveSettings live = g->liveSettings();
    live.soundLimit = false;
    live.sendIn = 6;
    g->applyLiveSettings(live);
    Form3 *f = rig.open();
    QCOMPARE(control<QCheckBox>(f, u"Check_limit"_s)->isChecked(), false);
    QCOMPARE(control<QComboBox>(f, u"ComboTM_st"_s)->currentText(), u"6"_s);

    control<QCheckBox>(f, u"Check_msg_sound"_s)->setChecked(true);
    control<QComboBox>(f, u"ComboTM_end"_s)->setEditText(u"18"_s);
    control<QCheckBox>(f, u"Check_JustTm"_s)->setChecked(true);
    control<QLineEdit>(f, u"Text_errmsg_set"_s)->setText(u"many"_s);
    QVERIFY(f->save());
    live = g->liveSettings();
    QCOMPARE(live.soundInMsg, true);
    QCOMPARE(live.sendIn, 6);
    QCOMPARE(live.sendEnd, 18);
    QCOMPARE(live.justTm, 1);
    // A count that is not a number falls back to 6, in the file and in memory.
    QCOMPARE(live.setErrMsgCount, 6);
    QCOMPARE(rig.ini(u"AUTOC"_s, u"SetErrMsgCount"_s), u"6"_s);
}

void TstForm3::pagesFollowTabs()
{
    Rig rig({u"SendOnce=5"_s});
    Form3 *f = rig.open();
    QCOMPARE(f->tabStrip()->count(), 3);
    for (int tab = 0; tab < 3; ++tab) {
        f->tabStrip()->setCurrentIndex(tab);
        for (int i = 1; i <= Form3::kPages; ++i)
            QCOMPARE(f->page(i)->isVisible(), i == tab + 1);
    }
    QVERIFY(f->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!f->isModal());
}

void TstForm3::hostedModeHidesAutostart()
{
    Rig rig({u"SendOnce=5"_s});
    QVERIFY(control<QCheckBox>(rig.open(), u"Check_auto_system"_s)->isVisible());
    rig.form->findChild<Form3 *>()->close();
    QTRY_VERIFY(!rig.form->findChild<Form3 *>());
    platform::ProfileFile(rig.home() + u"/QXCRM.QX"_s)
        .writeString(u"Seting"_s, QLatin1String(server::ServerSettings::hostedMarkerKey), u"1"_s);
    Form3 *f = rig.open();
    QVERIFY(!control<QCheckBox>(f, u"Check_auto_system"_s)->isVisible());
}

void TstForm3::emptyPasswordKeepsDialogOpen()
{
    Rig rig({u"SendOnce=5"_s});
    const QByteArray before = rig.iniBytes();
    Form3 *f = rig.open();
    f->activateWindow();
    control<QCheckBox>(f, u"Check1_PS"_s)->setChecked(true);
    QVERIFY(!f->save());
    QCOMPARE(
        rig.messages,
        QStringList{u"当选中“关闭服务器要求密码”项时，密码不能为空，请在其后面的框内输入密码！"_s});
    QVERIFY(f->isVisible());
    QCOMPARE(rig.iniBytes(), before);
    QVERIFY(!Autostart::isSet());
}

void TstForm3::changedPasswordNeedsOldOne()
{
    Rig rig({u"SendOnce=5"_s, u"[AUTOC]"_s, u"Need_Ps=abc"_s, u"AUTOC=1"_s});
    answerText(rig, u"wrong"_s);
    const QByteArray before = rig.iniBytes();
    QPointer<Form3> f = rig.open();
    QVERIFY(control<QLineEdit>(f, u"Text1"_s)->isVisible());
    control<QCheckBox>(f, u"Check_auto_conn"_s)->setChecked(false);
    // Unticking the box empties the password: that is a change too.
    control<QCheckBox>(f, u"Check1_PS"_s)->setChecked(false);
    QVERIFY(!f->save());
    QCOMPARE(rig.texts, QStringList{u"必须输入原密码，才能更改密码设置\n请输入原密码："_s});
    QCOMPARE(rig.messages, QStringList{u"原密码不正确，本次设置不被允许！"_s});
    QTRY_VERIFY(!f);
    QCOMPARE(rig.iniBytes(), before);

    // A cancelled prompt is a wrong answer.
    rig.texts.clear();
    answerText(rig, std::nullopt);
    f = rig.open();
    control<QLineEdit>(f, u"Text1"_s)->setText(u"new"_s);
    QVERIFY(!f->save());
    QCOMPARE(rig.messages, QStringList{u"原密码不正确，本次设置不被允许！"_s});
    QCOMPARE(rig.iniBytes(), before);

    // The right answer lets the change through.
    answerText(rig, u"abc"_s);
    f = rig.open();
    control<QCheckBox>(f, u"Check1_PS"_s)->setChecked(false);
    QVERIFY(f->save());
    QCOMPARE(rig.ini(u"AUTOC"_s, u"Need_Ps"_s), QString());
    QVERIFY(!control<QCheckBox>(rig.open(), u"Check1_PS"_s)->isChecked());
}

void TstForm3::unchangedPasswordAsksNothing()
{
    Rig rig({u"SendOnce=5"_s, u"[AUTOC]"_s, u"Need_Ps=abc"_s});
    answerText(rig, u"wrong"_s);
    Form3 *f = rig.open();
    control<QCheckBox>(f, u"Check_auto_min"_s)->setChecked(true);
    QVERIFY(f->save());
    QVERIFY(rig.texts.isEmpty());
    QVERIFY(rig.messages.isEmpty());
    QCOMPARE(rig.ini(u"AUTOC"_s, u"Need_Ps"_s), u"abc"_s);
    QCOMPARE(rig.ini(u"AUTOC"_s, u"Auto_Min"_s), u"1"_s);
}

void TstForm3::passwordBoxShownWithItsCheck()
{
    Rig rig({u"SendOnce=5"_s});
    Form3 *f = rig.open();
    auto *check = control<QCheckBox>(f, u"Check1_PS"_s);
    auto *text = control<QLineEdit>(f, u"Text1"_s);
    QVERIFY(!text->isVisible());
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
    QVERIFY(check->isChecked());
    QVERIFY(text->isVisible());
    QCOMPARE(text->echoMode(), QLineEdit::Password);
    text->setText(u"pw"_s);
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
    QVERIFY(!text->isVisible());
    QCOMPARE(text->text(), QString());
}

void TstForm3::noToServiceQuestionWritesNothing()
{
    Rig rig({u"SendOnce=5"_s, u"myserver=3"_s});
    rig.answerYes = false;
    const QByteArray before = rig.iniBytes();
    Form3 *f = rig.open();
    control<QRadioButton>(f, u"Option1"_s)->setChecked(true);
    control<QCheckBox>(f, u"Check_auto_min"_s)->setChecked(true);
    QVERIFY(!f->save());
    QCOMPARE(
        rig.questions,
        QStringList{u"您把系统设为“仅用于发送信息”,这样的话，系统将无短信接收功能，确定吗？"_s});
    QVERIFY(f->isVisible());
    QCOMPARE(rig.iniBytes(), before);

    control<QRadioButton>(f, u"Option2"_s)->setChecked(true);
    QVERIFY(!f->save());
    QCOMPARE(rig.questions.last(),
             u"您把系统设为“仅用于接收信息”,这样的话，系统将无短信发送功能，确定吗？"_s);
    QCOMPARE(rig.iniBytes(), before);

    rig.answerYes = true;
    QVERIFY(f->save());
    QCOMPARE(rig.ini(u"ocx"_s, u"myserver"_s), u"2"_s);
}

void TstForm3::serviceModeOfNoOptionKept_data()
{
    QTest::addColumn<QStringList>("ini");
    QTest::addColumn<QString>("kept");
    QTest::newRow("0") << QStringList{u"myserver=0"_s} << u"0"_s;
    QTest::newRow("missing") << QStringList{} << QString();
}

void TstForm3::serviceModeOfNoOptionKept()
{
    QFETCH(QStringList, ini);
    QFETCH(QString, kept);
    Rig rig(ini << u"SendOnce=5"_s);
    Form3 *f = rig.open();
    for (QRadioButton *option : f->findChildren<QRadioButton *>())
        QVERIFY2(!option->isChecked(), qPrintable(option->objectName()));
    QVERIFY(f->save());
    QVERIFY(rig.questions.isEmpty());
    QCOMPARE(rig.ini(u"ocx"_s, u"myserver"_s), kept);
    QStringList keys = platform::ProfileFile(rig.home() + u"/set.ini"_s).keys(u"ocx"_s);
    QCOMPARE(keys.contains(u"myserver"_s, Qt::CaseInsensitive),
             !ini.filter(u"myserver"_s).isEmpty());
}

void TstForm3::returnWritesNothing()
{
    Rig rig({u"SendOnce=5"_s});
    const QByteArray before = rig.iniBytes();
    const server::LiveSettings live = rig.app->gateway()->liveSettings();
    QPointer<Form3> f = rig.open();
    control<QCheckBox>(f, u"Check_auto_system"_s)->setChecked(true);
    control<QCheckBox>(f, u"Check_msg_sound"_s)->setChecked(true);
    control<QPushButton>(f, u"Command2"_s)->click();
    QTRY_VERIFY(!f);
    QCOMPARE(rig.iniBytes(), before);
    QVERIFY(rig.app->gateway()->liveSettings() == live);
    QVERIFY(!Autostart::isSet());
}

void TstForm3::autostartWrittenAndRemoved()
{
    Rig rig({u"SendOnce=5"_s});
    // Another program's entry in the same folder stays as it is.
    const QString folder = rig.m_dir.filePath(u"config/autostart"_s);
    QDir().mkpath(folder);
    QFile other(folder + u"/other.desktop"_s);
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("[Desktop Entry]\nExec=other\n");
    other.close();

    Form3 *f = rig.open();
    control<QCheckBox>(f, u"Check_auto_system"_s)->setChecked(true);
    QVERIFY(f->save());
    QCOMPARE(Autostart::entryPath(), folder + u"/Lonvera.desktop"_s);
    QFile entry(Autostart::entryPath());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    // The test's program folder holds no Brevin: the running program is started with it.
    const QString exec = Autostart::execLine(
        {QCoreApplication::applicationFilePath(), u"--home"_s, QDir(rig.home()).absolutePath()});
    QVERIFY2(text.contains(u"\nExec="_s + exec + u'\n'), qPrintable(text));
    QCOMPARE(rig.ini(u"AUTOC"_s, u"AutoSys"_s), u"1"_s);
    QVERIFY(control<QCheckBox>(rig.open(), u"Check_auto_system"_s)->isChecked());

    Form3 *again = rig.form->findChild<Form3 *>();
    control<QCheckBox>(again, u"Check_auto_system"_s)->setChecked(false);
    QVERIFY(again->save());
    QVERIFY(!Autostart::isSet());
    QCOMPARE(rig.ini(u"AUTOC"_s, u"AutoSys"_s), u"0"_s);
    QVERIFY(QFile::exists(folder + u"/other.desktop"_s));
}

void TstForm3::unwritableAutostartKeepsDialogOpen()
{
    Rig rig({u"SendOnce=5"_s});
    // The configuration folder is a file: no autostart folder can be made in it.
    QFile blocker(rig.m_dir.filePath(u"config"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Form3 *f = rig.open();
    control<QCheckBox>(f, u"Check_auto_system"_s)->setChecked(true);
    QVERIFY(!f->save());
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY(rig.messages.first().contains(Autostart::entryPath()));
    QVERIFY(f->isVisible());
}

void TstForm3::secondOpeningRaisesTheFirst()
{
    Rig rig({u"SendOnce=5"_s});
    Form3 *f = rig.open();
    control<QCheckBox>(f, u"Check_auto_min"_s)->setChecked(true);
    QCOMPARE(rig.open(), f);
    QCOMPARE(rig.form->findChildren<Form3 *>().size(), 1);
    QVERIFY(control<QCheckBox>(f, u"Check_auto_min"_s)->isChecked());
}

void TstForm3::opensFromButtonAndMenu()
{
    Rig rig({u"SendOnce=5"_s});
    auto *frame4 = rig.form->findChild<QWidget *>(u"Frame4"_s);
    control<QPushButton>(frame4, u"Command2"_s)->click();
    QPointer<Form3> f = rig.form->findChild<Form3 *>();
    QVERIFY(f);
    QVERIFY(f->isVisible());
    QCOMPARE(f->windowTitle(), u"系统设置"_s);
    f->close();
    QTRY_VERIFY(!f);
    rig.form->findChild<QAction *>(u"m_set"_s)->trigger();
    QVERIFY(rig.form->findChild<Form3 *>());
}

QTEST_MAIN(TstForm3)
#include "tst_form3_settings.moc"
