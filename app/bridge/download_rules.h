#pragma once

#include <QLatin1String>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace ConnectGlobals {

// The content type of a map download: streamed into the offline store.
inline const QLatin1String mapContentType("application/x-zarvo-map");

// Whether a page may name a file so when it is joined to a folder: not
// empty, not "." or "..", no "/", "\\" or NUL.
bool isPlainFileName(const QString& name);

// Downloads travel only encrypted: "https://" (in lower case) and a host.
bool isHttpsAddress(const QString& url);

// The page variable "tcdeviceid" read strictly: 1 to 16 hexadecimal digits
// and nothing else (no sign, blank or prefix).
std::optional<quint64> deviceIdFromHex(const QString& text);

// The whole percent of a download for the progress page: truncated, 0 for
// a total of 0, -1 (the running bar) while the total is unknown (negative).
int downloadPercent(qint64 received, qint64 total);

// "nwreqtimer" in milliseconds; anything but a positive whole number of
// seconds means the default of 60 s, so that nothing fails before it started.
int requestTimeoutMs();

} // namespace ConnectGlobals
