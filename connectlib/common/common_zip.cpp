#include "connectlib/common/common.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

namespace ConnectLib {

namespace {

struct Entry {
    QString name;
    QString path; // where it is written, as the archive names it
    bool isDirectory;
    QFile::Permissions permissions;
};

// The archive's entries when every one of them stays below root and none
// is a symbolic link (a link entry would let a later entry write through
// it). Any other archive is refused whole before anything is written.
bool planEntries(QuaZip& zip, const QString& root, QList<Entry>& entries)
{
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    const QDir target(root);
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info) || info.name.isEmpty())
            return false;
        // The system would cut a name at a NUL, so it would be written
        // somewhere other than where it was checked (and never removed).
        if (QDir::isAbsolutePath(info.name) || info.isSymbolicLink() ||
            info.name.contains(QChar(0)))
            return false;
        const QString cleaned = QDir::cleanPath(prefix + info.name);
        if (cleaned != root && !cleaned.startsWith(prefix))
            return false;
        entries.append({info.name, target.absoluteFilePath(info.name),
                        info.name.endsWith(QLatin1Char('/')), info.getPermissions()});
    }
    return zip.getZipError() == UNZ_OK && !entries.isEmpty();
}

// Creates the missing folders of path, recording each for a roll-back.
bool makePath(const QString& path, QStringList& created)
{
    QStringList missing;
    for (QString dir = QDir::cleanPath(path); !QFileInfo(dir).isDir();
         dir = QFileInfo(dir).path()) {
        if (QFileInfo(dir).exists() || QFileInfo(dir).isSymLink() || dir == QLatin1String("/"))
            return false;
        missing.prepend(dir);
    }
    for (const QString& dir : qAsConst(missing)) {
        if (!QDir().mkdir(dir))
            return false;
        created.append(dir);
    }
    return true;
}

// Stored permissions, but the owner keeps access so the files can be
// replaced and removed later.
void applyPermissions(const QString& path, QFile::Permissions stored, QFile::Permissions owner)
{
    if (stored != QFile::Permissions())
        QFile::setPermissions(path, stored | owner);
}

bool extractEntry(QuaZip& zip, const Entry& entry, QStringList& created)
{
    constexpr QFile::Permissions ownerFile = QFile::ReadOwner | QFile::WriteOwner;
    if (entry.isDirectory) {
        if (!makePath(entry.path, created))
            return false;
        applyPermissions(entry.path, entry.permissions, ownerFile | QFile::ExeOwner);
        return true;
    }
    if (!makePath(QFileInfo(entry.path).path(), created))
        return false;

    QuaZipFile input(&zip);
    if (!input.open(QIODevice::ReadOnly))
        return false;
    // A file that was there before (the firmware folder is reused from one
    // update to the next) is not the extraction's to remove on a roll-back.
    // Written beside it and renamed over it once complete, so a failure in
    // this entry leaves it as it was.
    const bool existed = QFileInfo::exists(entry.path) || QFileInfo(entry.path).isSymLink();
    QSaveFile output(entry.path);
    if (!output.open(QIODevice::WriteOnly))
        return false;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = input.read(buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (output.write(buffer.constData(), got) != got)
            return false;
    }
    // Closing the entry checks its CRC.
    input.close();
    if (input.getZipError() != UNZ_OK || !output.commit())
        return false;
    if (!existed && !created.contains(entry.path))
        created.append(entry.path);
    applyPermissions(entry.path, entry.permissions, ownerFile);
    return true;
}

void rollBack(const QStringList& created)
{
    for (auto it = created.crbegin(); it != created.crend(); ++it) {
        if (QFileInfo(*it).isDir() && !QFileInfo(*it).isSymLink())
            QDir().rmdir(*it);
        else
            QFile::remove(*it);
    }
}

} // namespace

QStringList Common::extractDir(QString zipFile, QString targetDir)
{
    QuaZip zip(zipFile);
    if (!zip.open(QuaZip::mdUnzip))
        return {};
    const QString root = QDir::cleanPath(QDir(targetDir).absolutePath());
    QList<Entry> entries;
    if (!planEntries(zip, root, entries))
        return {};

    QStringList extracted;
    QStringList created;
    int index = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile(), ++index) {
        if (index >= entries.size() || zip.getCurrentFileName() != entries.at(index).name ||
            !extractEntry(zip, entries.at(index), created)) {
            rollBack(created);
            return {};
        }
        extracted.append(entries.at(index).path);
    }
    return extracted;
}

} // namespace ConnectLib
