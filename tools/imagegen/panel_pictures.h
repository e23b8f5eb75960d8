#pragma once

#include <QHash>
#include <QImage>
#include <QString>

#include <functional>

namespace ImageGen {

// The pictures of the settings panel and the quick dialog: the quick-help
// icons, the language drop-down's arrows, the check boxes and the radio
// buttons.
void addPanelPictures(QHash<QString, std::function<QImage()>>& table);

} // namespace ImageGen
