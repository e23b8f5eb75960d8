#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

namespace ImageGen {

// Every picture the generator knows, by its file name below the image
// folder (for example "img/ravosync.png").
QStringList pictureNames();

// Draws one picture; a null image for a name it does not know. The same
// name always gives the same pixels: no randomness, no fonts, no clock.
QImage drawPicture(const QString& name);

} // namespace ImageGen
