#pragma once

#include <QDateTime>

#include <functional>

namespace ConnectLib::Clock {

// The library's idea of "now" (local time). Everything that stamps or dates
// log output asks here, so tests can move the day forward.
QDateTime now();

// Replaces the time source; an empty function restores the system clock.
void setSource(std::function<QDateTime()> source);

} // namespace ConnectLib::Clock
