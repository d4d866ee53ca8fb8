// Form2 "设定端口参数", the port settings dialog: one comset record of the device list's row,
// opened when the dialog opens and written back on "确定" together with the device's in-memory
// sent counter and the row's cells. It neither connects nor disconnects the device: the new
// values take effect when the device is next started. Modeless and on top; it deletes itself
// when closed. GUI thread only.
#pragma once

#include "server/core/gateway_store.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lonvera::server {
class Gateway;
}

namespace lonvera::ui {

class Form1;

class Form2 : public QDialog
{
    Q_OBJECT
public:
    /// The dialog for device-list row `row` with its record; loads at once.
    Form2(server::Gateway &gateway, int row, server::DeviceRecord record,
          QWidget *parent = nullptr);

    int row() const { return m_row; }
    int deviceId() const { return m_record.id; }

    /// "确定": runs the save; false when a check or the write stopped it with the dialog open.
    bool save();
    /// "？": the speeds' explanation.
    static QString paceExplanation();
    /// The range column's text for the four boxes' states (移动, 联通, 小灵通, 其它).
    static QString rangeText(bool mobile, bool unicom, bool phs, bool other);

private:
    void buildControls();
    QWidget *buildRangeFrame();
    void load();
    bool checkNumber(QLineEdit *box, const QString &message, qint32 *value);
    void refreshRow();

    server::Gateway &m_gateway;
    int m_row;
    server::DeviceRecord m_record;

    QLabel *m_label6 = nullptr;
    QComboBox *m_comboCom = nullptr;
    QComboBox *m_comboOn = nullptr;
    QComboBox *m_comboRate = nullptr;
    QComboBox *m_comboPace = nullptr;
    QPushButton *m_command3 = nullptr;
    QLineEdit *m_textSerno = nullptr;
    QLineEdit *m_textMsgLimit = nullptr;
    QLineEdit *m_textMsgsendedCount = nullptr;
    QCheckBox *m_check1 = nullptr;
    QCheckBox *m_check2 = nullptr;
    QCheckBox *m_check3 = nullptr;
    QCheckBox *m_check4 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
};

/// Opens the port settings of device-list row `row`, or brings the open one to the front. A row
/// without a record, or a device id outside 1 to 16, is told and opens nothing.
Form2 *openPortSettingsDialog(Form1 &window, int row);

} // namespace lonvera::ui
