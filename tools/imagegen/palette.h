#pragma once

#include <QColor>

namespace ImageGen {

// The colours the pictures share with each other and with the pages' style
// sheets (brand is the buttons' colour, brandLight their highlight).
inline const QColor white(255, 255, 255);
inline const QColor brand(11, 110, 121);
inline const QColor brandLight(52, 176, 188);
inline const QColor metal(170, 176, 182);
inline const QColor dark(46, 50, 56);

} // namespace ImageGen
