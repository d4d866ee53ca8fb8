// See gateway_view.h.
#include "server/core/gateway_view.h"

namespace lonvera::server {

using namespace Qt::StringLiterals;

GatewayView::GatewayView(QObject *parent) : QObject(parent)
{
    m_lights.fill(Light::NotConnected);
}

QStringList GatewayView::columnHeaders()
{
    return {u"设备编号"_s, u"型号"_s, u"串口号"_s, u"波特率"_s,
            u"限定"_s,     u"已发"_s, u"速度"_s,   u"发送范围"_s};
}

void GatewayView::setRows(const QList<DeviceRowView> &rows)
{
    m_rows = rows;
    emit rowsReset();
}

const DeviceRowView *GatewayView::row(int n) const
{
    if (n < 1 || n > m_rows.size())
        return nullptr;
    return &m_rows[n - 1];
}

QString GatewayView::cell(int n, int column) const
{
    const DeviceRowView *r = row(n);
    if (!r || column < 0 || column >= r->columns.size())
        return {};
    return r->columns[column];
}

void GatewayView::setCell(int n, int column, const QString &text)
{
    if (n < 1 || n > m_rows.size() || column < 0 || column >= DeviceColumnCount)
        return;
    QStringList &columns = m_rows[n - 1].columns;
    while (columns.size() < DeviceColumnCount)
        columns.append(QString());
    columns[column] = text;
    emit rowChanged(n);
}

void GatewayView::setRowState(int n, const QString &state)
{
    if (n < 1 || n > m_rows.size())
        return;
    m_rows[n - 1].status = u"设备"_s + QString::number(n) + u" ["_s + state + u"]"_s;
    emit rowChanged(n);
}

void GatewayView::setRowInUse(int n, bool inUse)
{
    if (n < 1 || n > m_rows.size())
        return;
    m_rows[n - 1].inUse = inUse;
    emit rowChanged(n);
}

Light GatewayView::light(int n) const
{
    return n >= 1 && n <= kLights ? m_lights[n - 1] : Light::NotConnected;
}

void GatewayView::setLight(int n, Light light)
{
    if (n < 1 || n > kLights)
        return;
    m_lights[n - 1] = light;
    emit lightChanged(n);
}

void GatewayView::setBusyState(bool busyIcon, const QString &trayTip)
{
    m_busyIcon = busyIcon;
    m_trayTip = trayTip;
    emit busyStateChanged();
}

void GatewayView::setCaption(const QString &caption)
{
    m_caption = caption;
    emit captionChanged();
}

void GatewayView::setCountersCaption(const QString &caption)
{
    m_countersCaption = caption;
    emit countersCaptionChanged();
}

void GatewayView::showMessage(const QString &text)
{
    emit messageShown(text);
}

} // namespace lonvera::server
