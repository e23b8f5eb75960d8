// Installing a downloaded program update: only a file the program's own
// download left in the private self-update folder is handed to the desktop,
// and the program quits only when the desktop took it.
#include "app/controller/connect_client_main.h"

#include "app/bridge/download_rules.h"
#include "app/logging/app_log.h"
#include "app/platform/systemhooks.h"
#include "app/synchronizer/data_synchronizer.h"
#include "connectlib/common/common.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

using ConnectGlobals::logLine;
using ConnectLib::Common;

namespace {

// Time the installer gets before the program leaves, so it can replace it.
constexpr int quitDelayMs = 2000;

// Why path may not be installed, or empty when it may: a regular, non-empty
// file (not a symbolic link) whose real location lies inside the
// self-update folder. Only the bridge's own request carries it here, but a
// file there is checked again before the desktop runs it.
QString refusal(const QString& path)
{
    const QString folder = Common::getSelfUpdateDataPath();
    if (folder.isEmpty())
        return QStringLiteral("no self-update folder");
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink()))
        return QStringLiteral("no such file");
    if (info.isSymLink())
        return QStringLiteral("a symbolic link");
    if (!info.isFile())
        return QStringLiteral("not a regular file");
    if (info.size() == 0)
        return QStringLiteral("an empty file");
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    if (realFolder.isEmpty() || !Common::isInsideDirectory(realFolder, info.canonicalFilePath()))
        return QStringLiteral("outside the self-update folder");
    // The update saves its files in the folder itself, never below it.
    if (QFileInfo(info.canonicalFilePath()).absolutePath() != realFolder)
        return QStringLiteral("not directly in the self-update folder");
    return QString();
}

void logRefusal(const QString& path, const QString& reason)
{
    logLine(QStringLiteral("Program update refused (") + reason + QStringLiteral("): ") + path);
}

} // namespace

void ConnectClientMain::SLOT_runRavoSyncInstaller(QString filePath, QString)
{
    m_installerPath = filePath;
    runInstaller();
}

void ConnectClientMain::runInstaller()
{
    logLine(QStringLiteral("About to run program: ") + m_installerPath);

    const QString archiveSuffix = QStringLiteral(".zip");
    const bool unpacked = m_installerPath.endsWith(archiveSuffix);
    if (unpacked) {
        const QString archive = m_installerPath;
        const QString reason = refusal(archive);
        if (!reason.isEmpty()) {
            logRefusal(archive, reason);
            SLOT_processFinished(1, QProcess::CrashExit);
            return;
        }
        const QStringList extracted = Common::extractDir(archive, Common::getSelfUpdateDataPath());
        if (extracted.isEmpty()) {
            logLine(QStringLiteral("Could not uncompress zip. Run update manually."));
            SLOT_processFinished(1, QProcess::CrashExit);
            return;
        }
        // The archive's own suffix only; a folder of the path keeps its name.
        m_installerPath.chop(archiveSuffix.size());
        // The installer must be a file this archive just delivered.
        const QString installer = QFileInfo(m_installerPath).canonicalFilePath();
        bool delivered = false;
        for (const QString& path : extracted)
            delivered = delivered ||
                        (!installer.isEmpty() && QFileInfo(path).canonicalFilePath() == installer);
        if (!delivered) {
            logRefusal(m_installerPath, QStringLiteral("not in the archive"));
            SLOT_processFinished(1, QProcess::CrashExit);
            return;
        }
    }

    QString reason = refusal(m_installerPath);
    // Only a name the update could have asked for. An archive's installer,
    // named by the archive, is held to the same names (no archive again):
    // "x.desktop.zip" must not hand the desktop "x.desktop".
    const bool installerName = ConnectGlobals::hasInstallerExtension(m_installerPath) &&
                               !(unpacked && m_installerPath.toLower().endsWith(archiveSuffix));
    if (reason.isEmpty() && !installerName)
        reason = QStringLiteral("not an installer name");
    if (!reason.isEmpty()) {
        logRefusal(m_installerPath, reason);
        SLOT_processFinished(1, QProcess::CrashExit);
        return;
    }
    if (!SystemHooks::launchInstaller(m_installerPath)) {
        SLOT_processFinished(1, QProcess::CrashExit);
        return;
    }
    if (!m_quitTimer) {
        m_quitTimer = new QTimer(this);
        m_quitTimer->setSingleShot(true);
        connect(m_quitTimer, &QTimer::timeout, this, &ConnectClientMain::SLOT_quitRavoSync);
    }
    m_quitTimer->start(quitDelayMs);
}

void ConnectClientMain::SLOT_processFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    logLine(QStringLiteral("Exitcode: ") + QString::number(exitCode) +
            QStringLiteral(", exitstatus: ") + QString::number(int(exitStatus)));
    if (exitCode != 1)
        return;
    logLine(QStringLiteral("Could not run installer file from: ") + m_installerPath);
    // The program keeps running; the last device's window says why.
    if (DataSynchronizer* synchronizer = m_windows.value(m_lastDeviceId))
        synchronizer->SLOT_showOfflineDialog(QStringLiteral("ui/progress.html"),
                                             {QStringLiteral("updator_error_install")},
                                             QStringLiteral("errorDlgValues.buttons.close=1;"),
                                             QStringLiteral("smain.errorCase();"));
}

void ConnectClientMain::SLOT_quitRavoSync()
{
    QCoreApplication::quit();
}
