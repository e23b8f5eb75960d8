#include "tools/imagegen/pictures.h"

#include "tools/imagegen/canvas.h"
#include "tools/imagegen/page_pictures.h"
#include "tools/imagegen/palette.h"
#include "tools/imagegen/panel_pictures.h"

#include <QColor>
#include <QHash>
#include <QPainter>
#include <QPolygonF>
#include <QRadialGradient>

#include <cmath>
#include <functional>

namespace ImageGen {

namespace {

const QColor syncBlue(31, 120, 209);
const QColor okGreen(46, 158, 68);
const QColor errorRed(208, 52, 44);
const QColor infoAmber(227, 155, 18);

constexpr int trayFrames = 4;
constexpr int waitingFrames = 6;

QPointF onCircle(const QPointF& centre, double radius, double degrees)
{
    const double a = degrees * M_PI / 180.0;
    return centre + QPointF(radius * std::cos(a), -radius * std::sin(a));
}

// An arc of the given width from start, turning counter-clockwise by span
// degrees (Qt's angle convention), ending in an arrowhead.
void arrowArc(QPainter& p, const QPointF& centre, double radius, double start, double span,
              double width, const QColor& colour)
{
    QPen pen(colour, width, Qt::SolidLine, Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p.drawArc(box, int(start * 16), int(span * 16));

    const double end = start + span;
    const double a = end * M_PI / 180.0;
    const QPointF base = onCircle(centre, radius, end);
    const QPointF along(-std::sin(a), -std::cos(a));
    const QPointF out(std::cos(a), -std::sin(a));
    const double head = width * 1.1;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({base + out * head, base - out * head, base + along * head * 1.4}));
}

// The round base of every tray icon: a disk with a darker rim.
void trayDisk(QPainter& p, const QColor& colour)
{
    p.setPen(QPen(colour.darker(140), 1.0));
    p.setBrush(colour);
    p.drawEllipse(QPointF(8, 8), 7.0, 7.0);
}

// A tray icon: the round base and a white mark that tells the state.
QImage trayIcon(const QColor& colour, const Drawing& mark)
{
    return paint(16, 16, [&](QPainter& p) {
        trayDisk(p, colour);
        mark(p);
    });
}

QImage logo()
{
    return paint(128, 128, [](QPainter& p) {
        const QPointF centre(64, 64);
        QRadialGradient fill(QPointF(48, 44), 84);
        fill.setColorAt(0.0, QColor(52, 176, 188));
        fill.setColorAt(1.0, brand.darker(130));
        p.setPen(QPen(brand.darker(160), 3.0));
        p.setBrush(fill);
        p.drawEllipse(centre, 60.0, 60.0);

        // Two arrows chasing each other: the sync sign.
        arrowArc(p, centre, 36, 110, 130, 10, white);
        arrowArc(p, centre, 36, 290, 130, 10, white);

        // The watch at the heart of it.
        p.setPen(Qt::NoPen);
        p.setBrush(white);
        p.drawEllipse(centre, 12.0, 12.0);
        p.setBrush(brand);
        p.drawEllipse(centre, 7.0, 7.0);
    });
}

QImage syncOn(int frame)
{
    // The arc turns a quarter clockwise per frame.
    return trayIcon(syncBlue, [frame](QPainter& p) {
        arrowArc(p, QPointF(8, 8), 3.8, 90 - frame * 90, 250, 1.7, white);
    });
}

QImage syncOk()
{
    return trayIcon(okGreen, [](QPainter& p) {
        p.setPen(QPen(white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(4.6, 8.4), QPointF(7.0, 10.8), QPointF(11.4, 5.6)}));
    });
}

QImage syncError()
{
    return trayIcon(errorRed, [](QPainter& p) {
        p.setPen(QPen(white, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5.3, 5.3), QPointF(10.7, 10.7));
        p.drawLine(QPointF(10.7, 5.3), QPointF(5.3, 10.7));
    });
}

QImage syncInfo()
{
    // An "i" drawn from a dot and a bar.
    return trayIcon(infoAmber, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(white);
        p.drawEllipse(QPointF(8, 4.9), 1.3, 1.3);
        p.drawRoundedRect(QRectF(7.0, 7.0, 2.0, 5.2), 0.6, 0.6);
    });
}

QImage waiting(int frame)
{
    // Six dots on a ring; the bright one moves on a step per frame and
    // leaves a fading trail.
    return paint(64, 64, [frame](QPainter& p) {
        static const int alphaBehind[waitingFrames] = {255, 170, 115, 75, 60, 60};
        p.setPen(Qt::NoPen);
        for (int dot = 0; dot < waitingFrames; ++dot) {
            const int behind = (frame - dot + waitingFrames) % waitingFrames;
            QColor colour = brand;
            colour.setAlpha(alphaBehind[behind]);
            p.setBrush(colour);
            p.drawEllipse(onCircle(QPointF(32, 32), 22, 90 - dot * 60), 6.5, 6.5);
        }
    });
}

const QHash<QString, std::function<QImage()>>& table()
{
    static const QHash<QString, std::function<QImage()>> pictures = [] {
        QHash<QString, std::function<QImage()>> t;
        t.insert(QStringLiteral("img/ravosync.png"), logo);
        t.insert(QStringLiteral("img/state_syncon_16.png"), [] { return syncOn(0); });
        t.insert(QStringLiteral("img/state_syncok_16.png"), syncOk);
        t.insert(QStringLiteral("img/state_syncerror_16.png"), syncError);
        t.insert(QStringLiteral("img/state_syncinfo_16.png"), syncInfo);
        for (int n = 0; n < trayFrames; ++n)
            t.insert(QStringLiteral("img/state_syncon_16_%1.png").arg(n),
                     [n] { return syncOn(n); });
        for (int n = 0; n < waitingFrames; ++n)
            t.insert(QStringLiteral("img/waiting/waiting_%1.png").arg(n),
                     [n] { return waiting(n); });
        addPagePictures(t);
        addPanelPictures(t);
        return t;
    }();
    return pictures;
}

} // namespace

QStringList pictureNames()
{
    QStringList names = table().keys();
    names.sort();
    return names;
}

QImage drawPicture(const QString& name)
{
    const auto it = table().constFind(name);
    return it == table().constEnd() ? QImage() : it.value()();
}

} // namespace ImageGen
