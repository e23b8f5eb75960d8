#pragma once

// How a backup reaches the disk (library-internal): written into a staging
// folder beside the device's backup, flushed, then swapped in whole; a
// backup whose restore did not succeed is never replaced.

#include <QString>

#include <functional>

namespace ConnectLib {

// The staging folder of a device's backup folder.
QString backupStagingFolder(const QString& backupDir);
// Beside a backup folder from the start of a restore from it until the
// restore succeeded; it names the folder it guards.
QString restoringMarker(const QString& backupDir);

// Writes every file and folder below dir (and dir) to the disk; the text of
// the first failure, empty when all is on the disk.
QString syncFolderTree(const QString& dir);

// Puts staging in target's place in one step where the file system can (the
// previous backup is deleted afterwards), else in two renames. The text of
// the failure, empty on success; on failure target is as it was, or, when
// even its way back failed, a cut swap that recoverCutSwap settles.
QString swapInFolder(const QString& staging, const QString& target);

// Settles a swap cut between its two renames (target missing, its previous
// copy beside it): the complete staging folder becomes target, else the
// previous copy comes back; a previous copy beside a target goes. Logs what
// it did; false when target is still missing with a copy beside it.
bool recoverCutSwap(const QString& target);

// Renames a backup folder to "<name>-restore-failed-<UTC time>" beside it;
// the new path, or empty when it could not be moved.
QString moveBackupAside(const QString& backupDir);

// Writes backupDir's mark, naming the folder, and puts it on the disk; the
// text of the failure, empty on success.
QString writeRestoringMarker(const QString& backupDir);
// Removes backupDir's mark; the text of the failure, empty when it is gone.
QString removeRestoringMarker(const QString& backupDir);
// Whether backupDir's mark guards backupDir: it names that folder, or names
// none that can be read (a mark of an older run). A mark left by a restore
// whose folder has gone names another folder.
bool markerGuards(const QString& backupDir);

// The calls above that tests make fail where the machine would not: a
// rename or an exchange from a path, the creation or removal of a mark.
enum class BackupCall { Rename, Exchange, CreateMark, RemoveMark };
// Asked before each such call with the path it starts from: an errno value
// fails the call with it, 0 lets it run. An empty function lets all run.
void setBackupCallFault(std::function<int(BackupCall, const QString& path)> fault);

} // namespace ConnectLib
