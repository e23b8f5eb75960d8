// Language packages for the device: the package the page downloaded into
// the local buffer is unpacked into the firmware-update folder, the
// languages the user did not choose are removed, and its "SYS" folder is
// copied to the device by the worker.
#include "app/bridge/jsobject.h"

#include "app/bridge/download_rules.h"
#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using ConnectGlobals::logLine;
using ConnectLib::Common;

namespace {

const QString packageFolder = QStringLiteral("SYS");

QString flagsText(ConnectLib::CPStateFlags flags)
{
    return Common::stringFromStateFlags(flags);
}

// The folder below root that a page's relative path names, or empty when
// the path is absolute, climbs with "..", stays at root or passes through
// a symbolic link or anything but a folder on its way.
QString folderBelow(const QString& root, const QString& path)
{
    if (root.isEmpty() || path.isEmpty() || path.startsWith(QLatin1Char('/')) ||
        path.contains(QChar(0)))
        return QString();
    QString folder = root;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return QString();
        if (part == QLatin1String("."))
            continue;
        folder += QLatin1Char('/') + part;
        const QFileInfo info(folder);
        if (info.isSymLink() || !info.isDir())
            return QString();
    }
    return Common::isInsideDirectory(root, folder) ? folder : QString();
}

// Removes every file below folder whose lower-case name up to its first "."
// is not in langs. Links are removed as links and never entered. False
// when something could not be removed.
bool removeOtherLanguages(const QString& folder, const QStringList& langs)
{
    bool removedAll = true;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink()) {
            removedAll = removeOtherLanguages(entry.filePath(), langs) && removedAll;
            continue;
        }
        const QString name = entry.fileName();
        const QString language = name.left(name.indexOf(QLatin1Char('.'))).toLower();
        if (langs.contains(language))
            continue;
        if (!QFile::remove(entry.filePath())) {
            logLine(QStringLiteral("Could not remove language file: ") + entry.filePath());
            removedAll = false;
        }
    }
    return removedAll;
}

} // namespace

bool JsObject::SLOT_deleteUnwantedLangfiles(QString path, QStringList langs)
{
    const QString folder = folderBelow(Common::getFWUpdateDataPath(), path);
    if (folder.isEmpty()) {
        logLine(QStringLiteral("Language folder refused: ") + path);
        return false;
    }
    return removeOtherLanguages(folder, langs);
}

void JsObject::SLOT_copyLangsToLocal(QString langResourceFileName, QStringList langs)
{
    if (!ConnectGlobals::isPlainFileName(langResourceFileName)) {
        logLine(QStringLiteral("Language package name refused: ") + langResourceFileName);
        emit SIGNAL_firmwareDataCopied(flagsText(ConnectLib::INVALID_PARAMETER));
        return;
    }
    const auto fail = [this](ConnectLib::CPStateFlags flags) {
        langsCopyOngoing = false;
        emit SIGNAL_firmwareDataCopied(flagsText(flags));
    };
    const QString folder = Common::getFWUpdateDataPath();
    if (folder.isEmpty()) {
        logLine(QStringLiteral("No private folder for the language package."));
        fail(ConnectLib::FILE_OPERATION_FAILED);
        return;
    }
    // What an earlier firmware or language package left there would go to
    // the device with this one.
    if (!Common::deleteLocalDirectory(folder + QLatin1Char('/') + packageFolder)) {
        logLine(QStringLiteral("Could not remove the earlier language files."));
        fail(ConnectLib::FILE_OPERATION_FAILED);
        return;
    }

    const QString archive = folder + QLatin1Char('/') + langResourceFileName;
    QSaveFile file(archive);
    if (!file.open(QIODevice::WriteOnly) || file.write(localBuffer) != localBuffer.size() ||
        !file.commit()) {
        logLine(QStringLiteral("could not open file: ") + archive);
        fail(ConnectLib::FILE_OPERATION_FAILED);
        return;
    }

    // A package without its folder has nothing for the device either.
    if (Common::extractDir(archive, folder).isEmpty() ||
        folderBelow(folder, packageFolder).isEmpty()) {
        fail(ConnectLib::INVALID_CONTENT);
        return;
    }
    if (!langs.isEmpty() && !SLOT_deleteUnwantedLangfiles(packageFolder, langs)) {
        fail(ConnectLib::FILE_OPERATION_FAILED);
        return;
    }
    langsCopyOngoing = true;
    emit m_requests->SIGNAL_copyFirmwareData(QLatin1Char('/') + packageFolder);
}
