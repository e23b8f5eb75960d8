#include "tools/imagegen/canvas.h"

namespace ImageGen {

QImage blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    return image;
}

QImage paint(int width, int height, const Drawing& draw)
{
    QImage image = blank(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return image;
}

} // namespace ImageGen
