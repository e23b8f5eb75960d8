#include "tools/imagegen/panel_pictures.h"

#include "tools/imagegen/canvas.h"
#include "tools/imagegen/palette.h"

#include <QColor>
#include <QPainterPath>
#include <QPolygonF>

namespace ImageGen {

namespace {

const QColor frame(138, 146, 152);

// The quick-help icon beside a settings tab: a filled disk with a question
// mark, lighter under the pointer.
QImage quickHelp(const QColor& disk)
{
    return paint(20, 20, [disk](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(disk);
        p.drawEllipse(QPointF(10, 10), 9.0, 9.0);
        p.setPen(QPen(white, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(7, 4.5, 6, 6), 180 * 16, -270 * 16);
        p.drawLine(QPointF(10, 10.5), QPointF(10, 11.5));
        p.setPen(Qt::NoPen);
        p.setBrush(white);
        p.drawEllipse(QPointF(10, 14.8), 1.2, 1.2);
    });
}

// The drop-down's arrow: a chevron pointing down (closed list) or up (open).
QImage dropDownArrow(bool up)
{
    return paint(12, 8, [up](QPainter& p) {
        p.setPen(QPen(dark, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        if (up)
            p.drawPolyline(QPolygonF({QPointF(2.5, 6), QPointF(6, 2), QPointF(9.5, 6)}));
        else
            p.drawPolyline(QPolygonF({QPointF(2.5, 2), QPointF(6, 6), QPointF(9.5, 2)}));
    });
}

// A check box, empty or ticked.
QImage checkBox(bool checked)
{
    return paint(16, 16, [checked](QPainter& p) {
        p.setPen(QPen(checked ? brand : frame, 1.2));
        p.setBrush(checked ? brand : white);
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2.5, 2.5);
        if (!checked)
            return;
        p.setPen(QPen(white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(4.5, 8.2), QPointF(7, 10.8), QPointF(11.5, 5.2)}));
    });
}

// A radio button, empty or chosen.
QImage radioButton(bool checked)
{
    return paint(16, 16, [checked](QPainter& p) {
        p.setPen(QPen(checked ? brand : frame, 1.2));
        p.setBrush(white);
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        if (!checked)
            return;
        p.setPen(Qt::NoPen);
        p.setBrush(brand);
        p.drawEllipse(QPointF(8, 8), 3.5, 3.5);
    });
}

} // namespace

void addPanelPictures(QHash<QString, std::function<QImage()>>& t)
{
    t.insert(QStringLiteral("img/quickhelp.png"), [] { return quickHelp(brand); });
    t.insert(QStringLiteral("img/quickhelp_hover.png"), [] { return quickHelp(brandLight); });
    t.insert(QStringLiteral("img/dropdown_arrow.png"), [] { return dropDownArrow(false); });
    t.insert(QStringLiteral("img/dropdown_arrow_up.png"), [] { return dropDownArrow(true); });
    t.insert(QStringLiteral("img/checkbox.png"), [] { return checkBox(false); });
    t.insert(QStringLiteral("img/checkbox_checked.png"), [] { return checkBox(true); });
    t.insert(QStringLiteral("img/radio.png"), [] { return radioButton(false); });
    t.insert(QStringLiteral("img/radio_checked.png"), [] { return radioButton(true); });
}

} // namespace ImageGen
