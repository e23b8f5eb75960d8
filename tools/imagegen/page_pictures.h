#pragma once

#include <QHash>
#include <QImage>
#include <QString>

#include <functional>

namespace ImageGen {

// The pictures of the main page, the device list and the progress page: the
// logo, the USB plug and wire, the computer, the device pictures and the
// footer's button pictures (normal, disabled and under the pointer).
void addPagePictures(QHash<QString, std::function<QImage()>>& table);

} // namespace ImageGen
