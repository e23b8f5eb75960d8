#pragma once

#include "connectlib/export.h"
#include "connectlib/types/cp_state_flags.h"

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace ConnectLib {

// Static helpers shared by the library and the program. Never instantiated.
class KTLIB_EXPORT Common {
public:
    // Settings. Values are texts. A key the user store does not hold (or holds
    // as the empty text) reads as its default from the built-in config.xml;
    // the server addresses come only from hosts.conf. The built-in
    // configuration and the host table are loaded once per process, on the
    // first of these calls, from whichever thread makes it.
    static QString getSettingsValue(const QString& key);
    // Stores a value unless the key is empty or marked read-only.
    static void setSettingsValue(const QString& key, const QString& value);

    // Parses an XML file into doc; false (with a warning on the debug output
    // for a parse error) when it cannot be read or parsed.
    static bool initRunConfig(QDomDocument& doc, QString file);
    // Fills the host table from hosts.conf beside the program, or from the
    // built-in copy when there is none; true when it holds a key afterwards.
    static bool initHostConfig();
    // The element named tag when the document holds exactly one, else null.
    static QDomElement getNode(const QDomDocument& doc, QString tag);
    // That element's text, or the empty text.
    static QString getNodeValue(const QDomDocument& doc, QString tag);

    // Names of the set flags joined by ", ", in a fixed order; OK included,
    // TC_EXPORT_FAILED and GET_ENTRIES_FAILED never named.
    static QString stringFromStateFlags(CPStateFlags flags);
    // One log line "CPStateFlag: NAME" per set flag other than OK.
    static void logStateFlags(CPStateFlags flags);

    // Working folders, created on demand (mode 0700), without a final "/":
    // the temporary ones below the private per-user temporary base, the
    // logs in "$XDG_STATE_HOME/ravosync/logs" and the backups in
    // "$XDG_DATA_HOME/ravosync/backups" (their defaults below the home
    // folder when unset). Empty when no private folder could be made, so
    // nothing is ever written to a shared location.
    static QString getTempFilesDataPath();
    static QString getFWUpdateDataPath();
    static QString getLogPath();
    static QString getSelfUpdateDataPath();
    static QString getBackupDataPath();

    // Base64 of Latin-1 "user:password", without the "Basic " prefix.
    static QByteArray createBasicAuth(QString user, QString password);
    // Minutes local time is ahead of UTC now (negative west of Greenwich).
    static int getTimezoneMinutes();
    // count random letters and digits from the system's secure generator;
    // empty for count <= 0.
    static QString generateSecret(int count);
    // Adds (enable, shown as valueName; an empty name adds nothing) or
    // removes this program's desktop autostart entry, autostartEntryPath().
    // A file there that this program did not write is never replaced or
    // removed, and no other file is touched.
    static void setApplicationAutostart(QString valueName, bool enable);
    // "ravosync.desktop" in the desktop's autostart folder.
    static QString autostartEntryPath();
    // Waits the given time, processing the calling thread's events when it
    // has an event dispatcher and sleeping otherwise; ends early once the
    // thread is asked to interrupt (QThread::requestInterruption). Always
    // true.
    static bool delay(int milliseconds);
    // Waits "delaynew" milliseconds unless a value is stored under the
    // device id in decimal; ends early as delay does. Always true.
    static bool waitIfNewDevice(quint64 deviceId);

    // Translations. getText resolves one level of "[key]" references.
    static QString getText(const QHash<QString, QString>& table, QString key);
    // Top-level properties of a JSON object file as name to text; empty on
    // any failure.
    static QHash<QString, QString> parseJSONFile(const QString& file);
    // Language codes of the translation files, sorted.
    static QStringList getAvailableLangCodes();

    // Local files.
    // True for exactly one "." with text on both sides ("a.b").
    static bool isFilePath(QString path);
    // Extracts a zip archive into targetDir and returns the extracted paths
    // in archive order; empty when the archive cannot be read, holds an
    // entry that would land outside targetDir or a symbolic link, or an
    // entry fails (what was extracted is then removed).
    static QStringList extractDir(QString zipFile, QString targetDir);
    // The same; failure names the cause of an empty answer (the entry and
    // the system's reason for a write that failed), and stays empty for an
    // archive that holds no entry.
    static QStringList extractDir(QString zipFile, QString targetDir, QString& failure);
    // Deletes the firmware working folder, unless a firmware update, copy
    // or install is running in the process (then false, logged, nothing
    // deleted).
    static bool deleteFWUpdateFiles();
    // Bytes in the regular files below dir; symlinks are not followed.
    static quint64 getDirTotalSize(QString dir);
    // Removes dir and everything below it; symlinks are removed as links.
    // True when dir is gone (or never existed).
    static bool deleteLocalDirectory(const QString& dir);
    // Whether path lies below directory: the cleaned absolute path starts
    // with the directory's cleaned path and "/". Never for the directory
    // itself, nor for an empty directory.
    static bool isInsideDirectory(const QString& directory, const QString& path);
    // Expands every "[USER]" entry once per user id, in order.
    static QStringList replaceUserTags(QStringList dirs, QStringList userIds);

private:
    Common();
};

} // namespace ConnectLib
