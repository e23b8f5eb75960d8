#pragma once

#include "app/sync_state/sync_state.h"
#include "app/windows/web_view.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

// The bridge's requests to its window, its synchroniser and (through it) the
// controller. The web engine offers every signal of the page's script object
// as a method a script can call, and these would bypass the checks of the
// slots that emit them; so they live on this object, which no page ever
// sees: it has no parent and no name, and nothing exposed returns it.
//
// Every enumeration and class type in a signature is spelled fully
// qualified: the synchroniser connects by signature text.
class BridgeRequests : public QObject {
    Q_OBJECT
public:
    BridgeRequests() = default;

signals:
    // To the window object.
    void SIGNAL_showDialog(ConnectLayout::WebView* webView);
    void SIGNAL_putOnTop(ConnectLayout::WebView* webView);
    void SIGNAL_resizeView(ConnectLayout::WebView* webView);
    void SIGNAL_showQuickDialog(ConnectGlobals::SyncState::DialogState state,
                                ConnectGlobals::SyncState::DialogType type, QString helpContent,
                                QString script);

    // To the synchroniser: window, sync and configuration.
    void SIGNAL_syncProcessStateChanged(qulonglong deviceId,
                                        ConnectGlobals::SyncState::SyncProcessState state);
    void SIGNAL_quit();
    void SIGNAL_resync();
    void SIGNAL_initConfigs();
    void SIGNAL_requestAvailableTCs();
    void SIGNAL_showOfflineDialog(QString dialogUrl, QStringList contentTextIds,
                                  QString dialogButtons, QString executeScript);
    void SIGNAL_ravoSyncInstallerDownloadDone(QString filePath, QString updFilelistUrl);

    // To the synchroniser: device and file requests.
    void SIGNAL_readFromFile(QString url);
    void SIGNAL_readOfflineFile(QString filename);
    void SIGNAL_writeToFile(QString url, QString data);
    void SIGNAL_writeToFile(QString url, QByteArray data);
    void SIGNAL_writeOfflineFile(QString filename, QString content);
    void SIGNAL_writeOfflineToTCFile(QString filename, QByteArray content);
    void SIGNAL_writeFWFileToAbsolutePath(QString absFile, QByteArray data);
    void SIGNAL_mergeToFile(QString url, QString data);
    void SIGNAL_createDir(QString dirpath);
    void SIGNAL_removeEntries(QStringList entryList);
    void SIGNAL_getSubdirs(QString parentPath);
    void SIGNAL_getSubdirsWithoutFile(QString parentPath, QString filename);
    void SIGNAL_getDailySubdirsWithoutFile(QString parentPath, QString filename);
    void SIGNAL_getDailyEntries(QString parentPath);
    void SIGNAL_getEntries(QString path);
    void SIGNAL_getFreeSpace();
    void SIGNAL_cleanupDisk(qulonglong requiredBytes);
    void SIGNAL_readBatteryStatus();
    void SIGNAL_setTCTimes(QString system, bool trusted, QString local, int timezone);
    void SIGNAL_getTCTimes();
    void SIGNAL_doReset(bool sleep, bool do_factory_defaults);
    void SIGNAL_generateChallengeToken(uint userId, QByteArray nonse);
    void SIGNAL_startSync();
    void SIGNAL_stopSync(bool syncSuccess);
    void SIGNAL_updateFirmware(QString zipPath, bool makeRoom);
    void SIGNAL_ZFTP_installUpdate(QString zipPath, bool makeRoom);
    void SIGNAL_copyFirmwareData(QString path);
    void SIGNAL_doBackup(QString listOfDirs, QString from, QString to);
    void SIGNAL_revertBackup(QString backupDir);
    void SIGNAL_startSyncWithDevice(qulonglong deviceId);
};
