// Form3 "系统设置", the settings dialog: start-up options and the close password, the sound
// prompts, the service mode with the sending window and the batch size, and the unattended-mode
// page that has no tab. It reads "set.ini" and the server's in-memory settings when it opens,
// and on "确定" writes the file, hands the values that act at once to the gateway and keeps the
// autostart entry in step with "系统启动时自动启动". Modeless and on top; it deletes itself when
// closed, so every opening reads everything afresh. GUI thread only.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabBar;
class QWidget;

namespace lonvera::server {
class Gateway;
class ServerSettings;
} // namespace lonvera::server

namespace lonvera::ui {

class Form1;

class Form3 : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kPages = 4;

    /// The dialog over the server's settings file and its gateway; loads at once.
    /// runningExecutable: the program the autostart entry falls back to (see Autostart).
    Form3(server::ServerSettings &settings, server::Gateway &gateway, bool hostedMode,
          QString runningExecutable, QWidget *parent = nullptr);

    /// "确定": runs the save; false when a step stopped it with the dialog still open.
    bool save();

    /// Page i (1 … 4).
    QWidget *page(int i) const { return m_frame1[i - 1]; }
    QTabBar *tabStrip() const { return m_tabStrip1; }

private:
    void buildControls();
    QWidget *buildGeneralPage();
    QWidget *buildSoundPage();
    QWidget *buildServicePage();
    QWidget *buildUnattendedPage();
    void load();
    void showPage(int index);
    void checkBatchSize();
    bool confirmPassword();
    QStringList writeSettings();

    server::ServerSettings &m_settings;
    server::Gateway &m_gateway;
    bool m_hosted;
    QString m_runningExecutable;

    QTabBar *m_tabStrip1 = nullptr;
    QWidget *m_frame1[kPages] = {};

    QCheckBox *m_checkAutoSystem = nullptr;
    QCheckBox *m_checkAutoConn = nullptr;
    QCheckBox *m_checkAutoMin = nullptr;
    QCheckBox *m_checkSaveReport = nullptr;
    QCheckBox *m_check1PS = nullptr;
    QLineEdit *m_text1 = nullptr;
    QCheckBox *m_checkAutoHandup = nullptr;

    QCheckBox *m_checkLimit = nullptr;
    QCheckBox *m_checkErrSound = nullptr;
    QCheckBox *m_checkMsgSound = nullptr;

    QRadioButton *m_option1 = nullptr;
    QRadioButton *m_option2 = nullptr;
    QRadioButton *m_option3 = nullptr;
    QCheckBox *m_checkJustTm = nullptr;
    QComboBox *m_comboTmSt = nullptr;
    QComboBox *m_comboTmEnd = nullptr;
    QLineEdit *m_textSendonce = nullptr;

    QCheckBox *m_checkAutoOpenSet = nullptr;
    QLineEdit *m_textErrmsgSet = nullptr;

    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;

    QString m_oldPassword;
    bool m_passwordWasSet = false;
};

/// Opens the window's settings dialog, or brings the one already open to the front.
Form3 *openSettingsDialog(Form1 &window);

} // namespace lonvera::ui
