#pragma once

#include <QString>
#include <QtGlobal>

namespace ConnectGlobals {

// Whether a page may name an offline file so: relative, not empty, no NUL
// and no "." or ".." component (sub-folders are fine). Anything else could
// leave the folder it is glued to.
bool isValidOfflineName(const QString& name);

// A folder setting the program puts below a base folder ("offlinefiledir"):
// its value when that is a valid offline name (relative, no "." or ".."),
// else the built-in default, with a log line. A page or an old settings file
// never moves the folder out of its base.
QString folderSetting(const QString& key);

// Where the offline store keeps name for a device: the working folder, the
// setting "offlinefiledir" (read anew each time, through folderSetting), the
// device id in lower-case hexadecimal without padding and name. Every offline
// store path of the program comes from here, so writers and readers agree on
// the folder's case. Empty for a refused name, when no private working folder
// could be made, or when the path, its links resolved, leaves the store.
QString offlineStorePath(quint64 deviceId, const QString& name);

// Where an offline file the program ships is read from: beside the program.
// Empty for a refused name or when the program's folder is unknown.
QString offlineReadPath(const QString& name);

} // namespace ConnectGlobals
