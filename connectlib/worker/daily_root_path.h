#pragma once

#include <QString>

namespace ConnectLib {

// A root path of the per-day listings, such as /U/0/[YYYYMMDD]/E/[SUBDIR]:
// the day folders live in base (/U/0); inside each, the listing looks at the
// directories whose names end with subFolder (E); extraLevel asks for the
// entries one level further down.
struct DailyRootPath {
    bool valid = false; // the path holds "/[YYYYMMDD]/"
    QString base;
    QString subFolder;
    bool extraLevel = false;
};

DailyRootPath parseDailyRootPath(const QString& rootPath);

// path without base + "/" at its start, compared literally; path unchanged
// when it does not start so.
QString stripBasePrefix(const QString& path, const QString& base);

} // namespace ConnectLib
