#pragma once

#include <QString>
#include <QtGlobal>

namespace ConnectLib {

// The text after the log prefix of the line that closes a local file's
// transfer to a device: "write size: <bytes> duration: hh:mm:ss, rate
// (MB/sec): <rate>". The duration is a time of day and so wraps after 24
// hours; a transfer within one second divides by zero and shows Qt's
// infinity (not-a-number for an empty file).
QString writeRateText(qint64 size, qint64 seconds);

} // namespace ConnectLib
