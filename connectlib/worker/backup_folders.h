#pragma once

// How a backup reaches the disk (library-internal): written into a staging
// folder beside the device's backup, flushed, then swapped in whole; a
// backup whose restore failed is moved aside, never replaced.

#include <QString>

namespace ConnectLib {

// The staging folder of a device's backup folder.
QString backupStagingFolder(const QString& backupDir);
// Beside a backup folder while a restore from it runs; one left behind means
// the restore never ended.
QString restoringMarker(const QString& backupDir);

// Writes every file and folder below dir (and dir) to the disk; the text of
// the first failure, empty when all is on the disk.
QString syncFolderTree(const QString& dir);

// Puts staging in target's place in one step where the file system can (the
// previous backup is deleted afterwards), else in two renames. The text of
// the failure, empty on success; on failure target is as it was.
QString swapInFolder(const QString& staging, const QString& target);

// Renames a backup folder to "<name>-restore-failed-<UTC time>" beside it;
// the new path, or empty when it could not be moved.
QString moveBackupAside(const QString& backupDir);

} // namespace ConnectLib
