// What the operator sees of the gateway, as plain values a window renders or the headless runner
// prints: the device rows with their eight columns and status text, the 16 status lights, the
// window icon and tray tip, the captions, the run log, and the message boxes and sounds the core
// asks for. The core writes it; views only read it and follow its signals. Server thread only.
#pragma once

#include "server/core/run_log.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>

namespace lonvera::server {

/// Columns of a device row.
enum DeviceColumn {
    ColumnName = 0,  ///< 设备编号
    ColumnModel = 1, ///< 型号 ("--" until connected)
    ColumnCom = 2,
    ColumnRate = 3,
    ColumnLimit = 4,
    ColumnSent = 5,
    ColumnPace = 6,
    ColumnRanges = 7,
    DeviceColumnCount = 8
};

struct DeviceRowView
{
    int id = 0;
    QStringList columns; ///< DeviceColumnCount texts
    QString status;      ///< "设备n [state]"
    bool inUse = false;  ///< row icon: in use or not in use
};

/// A status light's picture.
enum class Light { NotConnected, Idle, Busy };

class GatewayView : public QObject
{
    Q_OBJECT
public:
    static constexpr int kLights = 16;

    explicit GatewayView(QObject *parent = nullptr);

    RunLog &runLog() { return m_log; }
    const RunLog &runLog() const { return m_log; }

    static QStringList columnHeaders();

    const QList<DeviceRowView> &rows() const { return m_rows; }
    void setRows(const QList<DeviceRowView> &rows);
    /// Row n (1-based), or nullptr.
    const DeviceRowView *row(int n) const;
    QString cell(int n, int column) const;
    void setCell(int n, int column, const QString &text);
    /// Sets "设备n [state]".
    void setRowState(int n, const QString &state);
    void setRowInUse(int n, bool inUse);

    Light light(int n) const;
    void setLight(int n, Light light);

    int deviceCount() const { return m_deviceCount; }
    void setDeviceCount(int count) { m_deviceCount = count; }

    bool busyIcon() const { return m_busyIcon; }
    QString trayTip() const { return m_trayTip; }
    void setBusyState(bool busyIcon, const QString &trayTip);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QString countersCaption() const { return m_countersCaption; }
    void setCountersCaption(const QString &caption);
    QString iconPath() const { return m_iconPath; }
    void setIconPath(const QString &path) { m_iconPath = path; }

    /// Shows a message box with an OK button.
    void showMessage(const QString &text);
    /// Asks a Yes/No question; the window sets the asker, without one the answer is yes.
    bool ask(const QString &question) const { return m_asker ? m_asker(question) : true; }
    void setAsker(std::function<bool(const QString &)> asker) { m_asker = std::move(asker); }

    void playSound(const QString &filePath) { emit soundRequested(filePath); }
    void requestMinimise() { emit minimiseRequested(); }

signals:
    void rowsReset();
    void rowChanged(int n);
    void lightChanged(int n);
    void busyStateChanged();
    void captionChanged();
    void countersCaptionChanged();
    void messageShown(const QString &text);
    void soundRequested(const QString &filePath);
    void minimiseRequested();

private:
    RunLog m_log;
    QList<DeviceRowView> m_rows;
    std::array<Light, kLights> m_lights{};
    int m_deviceCount = kLights;
    bool m_busyIcon = false;
    QString m_trayTip;
    QString m_caption;
    QString m_countersCaption;
    QString m_iconPath;
    std::function<bool(const QString &)> m_asker;
};

} // namespace lonvera::server
