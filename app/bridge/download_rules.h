#pragma once

#include <QLatin1String>
#include <QString>
#include <QtGlobal>

#include <optional>

class QNetworkReply;

namespace ConnectGlobals {

// The content type of a map download: streamed into the offline store.
inline const QLatin1String mapContentType("application/x-zarvo-map");

// Whether a page may name a file so when it is joined to a folder: not
// empty, not "." or "..", no "/", "\\" or NUL.
bool isPlainFileName(const QString& name);

// Whether a program update's installer may be so named: ".exe", ".dmg",
// ".app", ".zip" or ".pkg" in any case. The controller hands nothing else to
// the desktop.
bool hasInstallerExtension(const QString& filename);

// Downloads travel only encrypted: "https://" (in lower case) and a host.
bool isHttpsAddress(const QString& url);

// The page variable "tcdeviceid" read strictly: 1 to 16 hexadecimal digits
// and nothing else (no sign, blank or prefix).
std::optional<quint64> deviceIdFromHex(const QString& text);

// A download's answer is the file asked for only with a 2xx status: a
// redirect is never followed (its page is not the file), and 304 and the
// like carry none.
bool isSuccessStatus(int status);

// The body's size the reply's headers announce, -1 when they name none or
// the body is transfer-encoded (its bytes are then not the announced ones).
qint64 announcedSize(QNetworkReply* reply);

// Whether received bytes are the whole body: the announced size, when one
// was announced.
bool isAnnouncedSize(qint64 announced, qint64 received);

// The most bytes a body read whole into memory may have (firmware
// archives, program-update files, raw reads, file downloads other than
// maps): 512 MiB unless a test set another (0 puts the default back).
qint64 wholeBodyLimit();
void setWholeBodyLimit(qint64 bytes);

// Why a whole-body download of which received bytes arrived and total were
// announced (-1: none) must end, or empty when it may go on: more than the
// limit, or, when folder is given, more than the free space there.
QString wholeBodyRefusal(qint64 received, qint64 total, const QString& folder);

// The whole percent of a download for the progress page: truncated, 0 for
// a total of 0, -1 (the running bar) while the total is unknown (negative).
int downloadPercent(qint64 received, qint64 total);

// "nwreqtimer" in milliseconds; anything but a positive whole number of
// seconds means the default of 60 s, so that nothing fails before it started,
// and more than 300 s means 300 s (logged).
int requestTimeoutMs();

} // namespace ConnectGlobals
