#include "connectlib/common/common.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

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
bool planEntries(QuaZip& zip, const QString& root, QList<Entry>& entries, QString& failure)
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
            info.name.contains(QChar(0))) {
            failure = QStringLiteral("refused entry ") + info.name;
            return false;
        }
        const QString cleaned = QDir::cleanPath(prefix + info.name);
        if (cleaned != root && !cleaned.startsWith(prefix)) {
            failure = QStringLiteral("refused entry ") + info.name;
            return false;
        }
        entries.append({info.name, target.absoluteFilePath(info.name),
                        info.name.endsWith(QLatin1Char('/')), info.getPermissions()});
    }
    if (zip.getZipError() != UNZ_OK) {
        failure =
            QStringLiteral("damaged archive, zip error ") + QString::number(zip.getZipError());
        return false;
    }
    return !entries.isEmpty();
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

// failure names the entry and the cause: a full disk is told apart from a
// damaged archive.
bool extractEntry(QuaZip& zip, const Entry& entry, QStringList& created, QString& failure)
{
    constexpr QFile::Permissions ownerFile = QFile::ReadOwner | QFile::WriteOwner;
    const QString folder = entry.isDirectory ? entry.path : QFileInfo(entry.path).path();
    if (!makePath(folder, created)) {
        failure = folder + QStringLiteral(": cannot create the folder");
        return false;
    }
    if (entry.isDirectory) {
        applyPermissions(entry.path, entry.permissions, ownerFile | QFile::ExeOwner);
        return true;
    }

    QuaZipFile input(&zip);
    const QString damaged = entry.path + QStringLiteral(": damaged entry");
    if (!input.open(QIODevice::ReadOnly)) {
        failure = damaged;
        return false;
    }
    // A file that was there before (the firmware folder is reused from one
    // update to the next) is not the extraction's to remove on a roll-back.
    // Written beside it and renamed over it once complete, so a failure in
    // this entry leaves it as it was.
    const bool existed = QFileInfo::exists(entry.path) || QFileInfo(entry.path).isSymLink();
    QSaveFile output(entry.path);
    // The system's reason where there is one: Qt names a failed buffered
    // write only "Unknown error".
    errno = 0;
    const auto writeFailed = [&] {
        failure =
            entry.path + QStringLiteral(": ") +
            (errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : output.errorString());
        return false;
    };
    if (!output.open(QIODevice::WriteOnly))
        return writeFailed();
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = input.read(buffer.data(), buffer.size());
        if (got < 0) {
            failure = damaged;
            return false;
        }
        if (got == 0)
            break;
        if (output.write(buffer.constData(), got) != got)
            return writeFailed();
    }
    // Closing the entry checks its CRC.
    input.close();
    if (input.getZipError() != UNZ_OK) {
        failure = damaged;
        return false;
    }
    if (!output.commit())
        return writeFailed();
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
    QString failure;
    return extractDir(zipFile, targetDir, failure);
}

QStringList Common::extractDir(QString zipFile, QString targetDir, QString& failure)
{
    failure.clear();
    QuaZip zip(zipFile);
    if (!zip.open(QuaZip::mdUnzip)) {
        failure = zipFile + QStringLiteral(" cannot be opened as a zip archive");
        return {};
    }
    const QString root = QDir::cleanPath(QDir(targetDir).absolutePath());
    QList<Entry> entries;
    if (!planEntries(zip, root, entries, failure))
        return {};

    QStringList extracted;
    QStringList created;
    int index = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile(), ++index) {
        if (index >= entries.size() || zip.getCurrentFileName() != entries.at(index).name) {
            failure = zipFile + QStringLiteral(" changed while it was read");
            rollBack(created);
            return {};
        }
        if (!extractEntry(zip, entries.at(index), created, failure)) {
            rollBack(created);
            return {};
        }
        extracted.append(entries.at(index).path);
    }
    return extracted;
}

} // namespace ConnectLib
