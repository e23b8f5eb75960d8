#pragma once

#include <QImage>
#include <QPainter>

#include <functional>

namespace ImageGen {

// A transparent picture with a fixed resolution, so the file never depends
// on the machine's screen.
QImage blank(int width, int height);

using Drawing = std::function<void(QPainter&)>;

// A blank picture of that size with draw's antialiased drawing on it.
QImage paint(int width, int height, const Drawing& draw);

} // namespace ImageGen
