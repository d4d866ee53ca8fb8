// Draws the window's pictures into PNG files: the three status lights, the two device-row icons
// and the program icon in its idle and busy colours. The files are committed beside this program
// and built into Brevin as resources; run it again after changing a drawing:
//   lonvera-draw-pictures server/ui/pictures
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

QImage canvas(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage light(int size, const QColor &colour)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF ball(size * 0.08, size * 0.08, size * 0.84, size * 0.84);
    QRadialGradient shine(ball.center() - QPointF(size * 0.15, size * 0.15), size * 0.55);
    shine.setColorAt(0, colour.lighter(170));
    shine.setColorAt(0.5, colour);
    shine.setColorAt(1, colour.darker(160));
    p.setPen(QPen(colour.darker(220), size / 24.0));
    p.setBrush(shine);
    p.drawEllipse(ball);
    return image;
}

// A handset standing upright; in use it is dark blue with a lit screen, otherwise grey with a
// red bar across.
QImage device(int size, bool inUse)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 32.0;
    const QColor body = inUse ? QColor(0x1f, 0x4e, 0x9a) : QColor(0x8a, 0x8a, 0x8a);
    p.setPen(QPen(body.darker(150), u));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(9 * u, 3 * u, 14 * u, 26 * u), 3 * u, 3 * u);
    p.setPen(Qt::NoPen);
    p.setBrush(inUse ? QColor(0x7c, 0xe0, 0x7c) : QColor(0xd0, 0xd0, 0xd0));
    p.drawRect(QRectF(11 * u, 6 * u, 10 * u, 12 * u));
    p.setBrush(QColor(0xee, 0xee, 0xee));
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 3; ++col)
            p.drawEllipse(QRectF((11.5 + col * 3.5) * u, (20 + row * 3.5) * u, 2.2 * u, 2.2 * u));
    }
    if (!inUse) {
        p.setPen(QPen(QColor(0xd3, 0x2f, 0x2f), 3 * u, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6 * u, 26 * u), QPointF(26 * u, 6 * u));
    }
    return image;
}

// An envelope on a rounded tile with a signal arc: blue while idle, orange while working.
QImage program(int size, bool busy)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 64.0;
    const QColor tile = busy ? QColor(0xef, 0x6c, 0x00) : QColor(0x15, 0x65, 0xc0);
    QLinearGradient fill(0, 0, 0, size);
    fill.setColorAt(0, tile.lighter(130));
    fill.setColorAt(1, tile);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2 * u, 2 * u, 60 * u, 60 * u), 12 * u, 12 * u);
    const QRectF envelope(12 * u, 24 * u, 40 * u, 28 * u);
    p.setBrush(Qt::white);
    p.drawRoundedRect(envelope, 3 * u, 3 * u);
    QPainterPath flap;
    flap.moveTo(envelope.topLeft() + QPointF(2 * u, 2 * u));
    flap.lineTo(envelope.center().x(), envelope.top() + 16 * u);
    flap.lineTo(envelope.topRight() + QPointF(-2 * u, 2 * u));
    p.setPen(QPen(tile, 3 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
    p.setPen(QPen(Qt::white, 3.5 * u, Qt::SolidLine, Qt::RoundCap));
    for (int arc = 0; arc < 2; ++arc) {
        const qreal r = (7 + arc * 6) * u;
        p.drawArc(QRectF(50 * u - r, 14 * u - r, 2 * r, 2 * r), 200 * 16, -110 * 16);
    }
    return image;
}

bool save(const QImage &image, const QDir &folder, const QString &name)
{
    const QString path = folder.filePath(name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: lonvera-draw-pictures FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    bool ok = save(light(48, QColor(0x2e, 0xb8, 0x3e)), folder, QStringLiteral("light-idle.png"));
    ok &= save(light(48, QColor(0xe5, 0x39, 0x35)), folder, QStringLiteral("light-busy.png"));
    ok &= save(light(48, QColor(0x9e, 0x9e, 0x9e)), folder, QStringLiteral("light-off.png"));
    ok &= save(device(32, true), folder, QStringLiteral("device-in-use.png"));
    ok &= save(device(32, false), folder, QStringLiteral("device-not-in-use.png"));
    for (int size : {16, 32, 64, 128}) {
        ok &= save(program(size, false), folder, QStringLiteral("program-%1.png").arg(size));
        ok &= save(program(size, true), folder, QStringLiteral("program-busy-%1.png").arg(size));
    }
    return ok ? 0 : 1;
}
