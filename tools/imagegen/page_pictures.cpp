#include "tools/imagegen/page_pictures.h"

#include "tools/imagegen/canvas.h"
#include "tools/imagegen/palette.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPolygonF>

namespace ImageGen {

namespace {

const QColor cable(70, 74, 80);
const QColor plugGreen(46, 158, 68);

// The device-side plug, lying to the right of the device: its socket end
// turns green once plugged.
QImage deviceSidePlug(bool plugged)
{
    return paint(44, 24, [plugged](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(cable);
        p.drawRect(QRectF(24, 9, 20, 6));
        p.setBrush(dark);
        p.drawRoundedRect(QRectF(8, 3, 18, 18), 3, 3);
        p.setBrush(plugged ? plugGreen : metal);
        p.drawRect(QRectF(0, 7, 9, 10));
    });
}

// The computer-side plug, moving from the wire's end into the computer.
QImage computerSidePlug(bool plugged)
{
    return paint(44, 24, [plugged](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(cable);
        p.drawRect(QRectF(0, 9, 20, 6));
        p.setBrush(dark);
        p.drawRoundedRect(QRectF(18, 3, 18, 18), 3, 3);
        p.setBrush(plugged ? plugGreen : metal);
        p.drawRect(QRectF(35, 6, 9, 12));
    });
}

QImage wire()
{
    return paint(200, 6, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(cable);
        p.drawRoundedRect(QRectF(0, 0, 200, 6), 3, 3);
    });
}

// A laptop seen from the front.
QImage computer()
{
    return paint(90, 70, [](QPainter& p) {
        p.setPen(QPen(dark, 2.0));
        p.setBrush(QColor(220, 228, 234));
        p.drawRoundedRect(QRectF(10, 2, 70, 48), 4, 4);
        QLinearGradient screen(QPointF(16, 8), QPointF(74, 44));
        screen.setColorAt(0.0, QColor(52, 176, 188));
        screen.setColorAt(1.0, brand.darker(130));
        p.setPen(Qt::NoPen);
        p.setBrush(screen);
        p.drawRect(QRectF(16, 8, 58, 36));
        p.setBrush(metal);
        p.drawPolygon(
            QPolygonF({QPointF(4, 54), QPointF(86, 54), QPointF(90, 64), QPointF(0, 64)}));
        p.setBrush(dark);
        p.drawRect(QRectF(38, 57, 14, 3));
    });
}

// A wrist device: strap, case and face. round gives a round case.
struct Device {
    QColor strap;
    QColor bezel;
    QColor face;
    bool round;
};

QImage device(const Device& d)
{
    return paint(120, 140, [d](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(d.strap);
        p.drawRoundedRect(QRectF(38, 0, 44, 140), 10, 10);
        p.setPen(QPen(d.bezel.darker(150), 2.0));
        p.setBrush(d.bezel);
        const QRectF body(18, 28, 84, 84);
        if (d.round)
            p.drawEllipse(body);
        else
            p.drawRoundedRect(body, 18, 18);
        p.setPen(Qt::NoPen);
        p.setBrush(d.face);
        const QRectF face = body.adjusted(10, 10, -10, -10);
        if (d.round)
            p.drawEllipse(face);
        else
            p.drawRoundedRect(face, 10, 10);
        // Two lines on the display.
        p.setBrush(d.face.lightness() > 128 ? dark : white);
        p.drawRect(QRectF(42, 60, 36, 6));
        p.drawRect(QRectF(48, 74, 24, 4));
    });
}

// The footer's wordmark: a disk with the sync arrows' turn and three bars.
QImage logo()
{
    return paint(120, 30, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(brand);
        p.drawEllipse(QPointF(15, 15), 13.0, 13.0);
        p.setBrush(white);
        p.drawEllipse(QPointF(15, 15), 5.0, 5.0);
        p.setBrush(brand);
        p.drawRoundedRect(QRectF(34, 8, 80, 6), 3, 3);
        p.drawRoundedRect(QRectF(34, 17, 56, 5), 2.5, 2.5);
    });
}

// A cog for the settings button, grey when it is disabled.
QImage cog(const QColor& colour)
{
    return paint(24, 24, [colour](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.translate(12, 12);
        for (int tooth = 0; tooth < 8; ++tooth) {
            p.drawRect(QRectF(-2, -11, 4, 6));
            p.rotate(45);
        }
        QPainterPath ring;
        ring.addEllipse(QPointF(0, 0), 7.5, 7.5);
        ring.addEllipse(QPointF(0, 0), 3.0, 3.0);
        p.drawPath(ring);
    });
}

// The help sign: a ring with a dot under a hook.
QImage help(const QColor& colour)
{
    return paint(24, 24, [colour](QPainter& p) {
        p.setPen(QPen(colour, 2.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(12, 12), 10.0, 10.0);
        p.drawArc(QRectF(8, 5, 8, 8), 180 * 16, -270 * 16);
        p.drawLine(QPointF(12, 13), QPointF(12, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(12, 18.5), 1.4, 1.4);
    });
}

} // namespace

void addPagePictures(QHash<QString, std::function<QImage()>>& t)
{
    t.insert(QStringLiteral("img/zarvo_logo.png"), logo);
    t.insert(QStringLiteral("img/usb1_plugged.png"), [] { return deviceSidePlug(true); });
    t.insert(QStringLiteral("img/usb1_unplugged.png"), [] { return deviceSidePlug(false); });
    t.insert(QStringLiteral("img/usb2_plugged.png"), [] { return computerSidePlug(true); });
    t.insert(QStringLiteral("img/usb2_unplugged.png"), [] { return computerSidePlug(false); });
    t.insert(QStringLiteral("img/usb_wire.png"), wire);
    t.insert(QStringLiteral("img/comp.png"), computer);
    const QColor black(30, 32, 36);
    const QColor pale(236, 238, 240);
    const QColor face(24, 28, 32);
    t.insert(QStringLiteral("img/generic.png"), [=] {
        return device({metal, metal.darker(120), QColor(200, 206, 212), false});
    });
    t.insert(QStringLiteral("img/zarvotovri.png"), [=] {
        return device({black, dark, face, false});
    });
    t.insert(QStringLiteral("img/zarvotovri_white.png"), [=] {
        return device({pale, white, face, false});
    });
    t.insert(QStringLiteral("img/zarvotovri2.png"), [=] {
        return device({black, dark, face, true});
    });
    t.insert(QStringLiteral("img/zarvotovri2_brillane_white.png"), [=] {
        return device({pale, QColor(214, 190, 140), face, true});
    });
    t.insert(QStringLiteral("img/zarvon410.png"), [=] {
        return device({brand.darker(140), dark, face, true});
    });
    t.insert(QStringLiteral("img/settings_button.png"), [] { return cog(brand); });
    t.insert(QStringLiteral("img/settings_button_disabled.png"), [] { return cog(metal); });
    t.insert(QStringLiteral("img/settings_button_hover.png"), [] { return cog(brandLight); });
    t.insert(QStringLiteral("img/help.png"), [] { return help(brand); });
    t.insert(QStringLiteral("img/help_hover.png"), [] { return help(brandLight); });
}

} // namespace ImageGen
