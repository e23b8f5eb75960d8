#pragma once

#include "connectlib/export.h"

#include <QString>

namespace ConnectLib {

// Makes path a private folder of the current user: created with mode 0700
// when missing; an existing one must be a real folder (not a symlink) owned
// by the user, and loses its group and other permission bits. False when the
// path cannot be made safe.
KTLIB_EXPORT bool ensurePrivateDirectory(const QString& path);

// The per-user base of every working folder: QDir::tempPath() +
// "/ravosync-<uid>". When that path is unsafe (a symlink, not a folder,
// someone else's) a fresh private folder of this process is used instead.
// Empty when neither can be made.
KTLIB_EXPORT QString privateTempBase();

} // namespace ConnectLib
