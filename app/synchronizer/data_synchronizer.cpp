// The synchroniser's object: construction, the bridge wiring, the device
// filter and the window services the controller uses.
#include "app/synchronizer/data_synchronizer.h"

#include "app/bridge/jsobject.h"
#include "app/common/connection_group.h"
#include "app/common/offline_paths.h"
#include "app/logging/app_log.h"
#include "app/windows/viewer.h"
#include "connectlib/common/common.h"

#include <QWebFrame>
#include <QWebPage>

using ConnectLib::CPStateFlags;
using ConnectLib::TCData;

DataSynchronizer::DataSynchronizer(QObject* provider, QObject* parent)
    : QObject(parent)
    , m_viewer(new ConnectLayout::Viewer())
    , m_provider(provider)
    , m_offlineFileDir(ConnectGlobals::folderSetting(QStringLiteral("offlinefiledir")))
{
    connectBridge();
}

DataSynchronizer::~DataSynchronizer()
{
    // The window first: it tracks the bridge's view, never the reverse.
    delete m_viewer;
    m_viewer = nullptr;
    delete m_bridge;
    m_bridge = nullptr;
}

void DataSynchronizer::connectBridge()
{
    m_bridge = new JsObject(this);
    QObject* const bridge = m_bridge;
    // The bridge's requests leave through an object no page can reach.
    QObject* const requests = m_bridge->requests();
    QObject* const self = this;
    QObject* const window = m_viewer;
    QObject* const provider = m_provider;

    // In this order; the first connection that cannot be made ends the
    // wiring (the ones made stay).
    const bool made = ConnectGlobals::connectInOrder({
        // Device events to the bridge.
        {self, SIGNAL(SIGNAL_tcAppeared(ConnectLib::TCData)), bridge,
         SLOT(SLOT_tcAppeared(ConnectLib::TCData))},
        {self, SIGNAL(SIGNAL_tcRerouted(ConnectLib::TCData)), bridge,
         SLOT(SLOT_tcRerouted(ConnectLib::TCData))},
        {self, SIGNAL(SIGNAL_tcIdling(ConnectLib::TCData)), bridge,
         SLOT(SLOT_tcIdling(ConnectLib::TCData))},
        {self, SIGNAL(SIGNAL_tcBatteryStatus(ConnectLib::TCData, int)), bridge,
         SLOT(SLOT_tcBatteryStatus(ConnectLib::TCData, int))},
        {self, SIGNAL(SIGNAL_tcDisappeared(ConnectLib::TCData)), bridge,
         SLOT(SLOT_tcDisappeared(ConnectLib::TCData))},
        // The page's device request goes to the provider directly; around it
        // the window notes that it asked, so that only it takes the answer.
        {requests, SIGNAL(SIGNAL_startSyncWithDevice(qulonglong)), self,
         SLOT(SLOT_startSyncWithDeviceRequested(qulonglong))},
        {requests, SIGNAL(SIGNAL_startSyncWithDevice(qulonglong)), provider,
         SLOT(SLOT_getTCData(qulonglong))},
        {requests, SIGNAL(SIGNAL_startSyncWithDevice(qulonglong)), self,
         SLOT(SLOT_startSyncWithDeviceSent(qulonglong))},
        {requests, SIGNAL(SIGNAL_resync()), self, SLOT(SLOT_startSyncProcess())},
        {requests,
         SIGNAL(SIGNAL_syncProcessStateChanged(qulonglong,
                                               ConnectGlobals::SyncState::SyncProcessState)),
         self,
         SIGNAL(SIGNAL_syncProcessStateChanged(qulonglong,
                                               ConnectGlobals::SyncState::SyncProcessState))},
        {requests, SIGNAL(SIGNAL_writeToFile(QString, QString)), self,
         SLOT(SLOT_writeToFile(QString, QString))},
        {requests, SIGNAL(SIGNAL_writeToFile(QString, QByteArray)), self,
         SLOT(SLOT_writeToFile(QString, QByteArray))},
        {requests, SIGNAL(SIGNAL_writeOfflineToTCFile(QString, QByteArray)), self,
         SLOT(SLOT_writeOfflineToTCFile(QString, QByteArray))},
        {self, SIGNAL(SIGNAL_fileWritten(ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_writeToLocalDone(ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_mergeToFile(QString, QString)), self,
         SLOT(SLOT_mergeToFile(QString, QString))},
        {self, SIGNAL(SIGNAL_fileMerged(ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_mergeDone(ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_readFromFile(QString)), self, SLOT(SLOT_readFromFile(QString))},
        {self, SIGNAL(SIGNAL_fileRead(ConnectLib::CPStateFlags, QString)), bridge,
         SLOT(SLOT_readFromLocalDone(ConnectLib::CPStateFlags, QString))},
        {requests, SIGNAL(SIGNAL_writeOfflineFile(QString, QString)), self,
         SLOT(SLOT_writeOfflineFile(QString, QString))},
        {requests, SIGNAL(SIGNAL_writeFWFileToAbsolutePath(QString, QByteArray)), self,
         SLOT(SLOT_writeFWFileToAbsolutePath(QString, QByteArray))},
        {requests, SIGNAL(SIGNAL_updateFirmware(QString, bool)), self,
         SLOT(SLOT_updateFirmware(QString, bool))},
        {self, SIGNAL(SIGNAL_fwUpdateProgress(int, int)), bridge,
         SLOT(SLOT_fwUpdateProgress(int, int))},
        {self, SIGNAL(SIGNAL_fileWriteProgress(int, int)), bridge,
         SLOT(SLOT_fileWriteProgress(int, int))},
        {requests, SIGNAL(SIGNAL_copyFirmwareData(QString)), self,
         SLOT(SLOT_copyFirmwareData(QString))},
        {self, SIGNAL(SIGNAL_firmwareDataCopied(ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_firmwareDataCopied(ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_ZFTP_installUpdate(QString, bool)), self,
         SLOT(SLOT_ZFTP_installUpdate(QString, bool))},
        {requests, SIGNAL(SIGNAL_readOfflineFile(QString)), self,
         SLOT(SLOT_readOfflineFile(QString))},
        // Window control.
        {requests, SIGNAL(SIGNAL_showDialog(ConnectLayout::WebView*)), window,
         SLOT(SLOT_showDialog(ConnectLayout::WebView*))},
        {requests, SIGNAL(SIGNAL_putOnTop(ConnectLayout::WebView*)), window,
         SLOT(SLOT_putOnTop(ConnectLayout::WebView*))},
        {requests, SIGNAL(SIGNAL_resizeView(ConnectLayout::WebView*)), window,
         SLOT(SLOT_resizeView(ConnectLayout::WebView*))},
        {requests,
         SIGNAL(SIGNAL_showQuickDialog(ConnectGlobals::SyncState::DialogState,
                                       ConnectGlobals::SyncState::DialogType, QString, QString)),
         window,
         SLOT(SLOT_showQuickDialog(ConnectGlobals::SyncState::DialogState,
                                   ConnectGlobals::SyncState::DialogType, QString, QString))},
        {bridge, SIGNAL(SIGNAL_hideQuickDialog()), window, SLOT(SLOT_hideQuickDialog())},
        {requests, SIGNAL(SIGNAL_getSubdirs(QString)), self, SLOT(SLOT_getSubdirs(QString))},
        {requests, SIGNAL(SIGNAL_getSubdirsWithoutFile(QString, QString)), self,
         SLOT(SLOT_getSubdirsWithoutFile(QString, QString))},
        {requests, SIGNAL(SIGNAL_getDailySubdirsWithoutFile(QString, QString)), self,
         SLOT(SLOT_getDailySubdirsWithoutFile(QString, QString))},
        {requests, SIGNAL(SIGNAL_getDailyEntries(QString)), self,
         SLOT(SLOT_getDailyEntries(QString))},
        {requests, SIGNAL(SIGNAL_requestAvailableTCs()), self,
         SIGNAL(SIGNAL_requestAvailableTCs())},
        {requests, SIGNAL(SIGNAL_showOfflineDialog(QString, QStringList, QString, QString)), self,
         SLOT(SLOT_showOfflineDialog(QString, QStringList, QString, QString))},
        {self, SIGNAL(SIGNAL_runScript(QString)), bridge, SLOT(SLOT_evaluateJS(QString))},
        {requests, SIGNAL(SIGNAL_quit()), self, SIGNAL(SIGNAL_quit())},
        {requests, SIGNAL(SIGNAL_ravoSyncInstallerDownloadDone(QString, QString)), self,
         SIGNAL(SIGNAL_ravoSyncInstallerDownloadDone(QString, QString))},
        {requests, SIGNAL(SIGNAL_initConfigs()), self, SIGNAL(SIGNAL_configChanged())},
        {requests, SIGNAL(SIGNAL_generateChallengeToken(uint, QByteArray)), self,
         SLOT(SLOT_generateChallengeToken(uint, QByteArray))},
        {self, SIGNAL(SIGNAL_challengeTokenReceived(QString)), bridge,
         SLOT(SLOT_challengeTokenReceived(QString))},
        {requests, SIGNAL(SIGNAL_doReset(bool, bool)), self, SLOT(SLOT_doReset(bool, bool))},
        {requests, SIGNAL(SIGNAL_startSync()), self, SLOT(SLOT_startSync())},
        {requests, SIGNAL(SIGNAL_stopSync(bool)), self, SLOT(SLOT_stopSync(bool))},
        {requests, SIGNAL(SIGNAL_setTCTimes(QString, bool, QString, int)), self,
         SLOT(SLOT_setTCTimes(QString, bool, QString, int))},
        {self, SIGNAL(SIGNAL_tcTimesSet(ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_tcTimesSet(ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_removeEntries(QStringList)), self,
         SLOT(SLOT_removeEntries(QStringList))},
        {self, SIGNAL(SIGNAL_entriesRemoved(ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_entriesRemoved(ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_createDir(QString)), self, SLOT(SLOT_createDir(QString))},
        {self, SIGNAL(SIGNAL_dirCreated(ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_dirCreated(ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_getTCTimes()), self, SLOT(SLOT_getTCTimes())},
        {self, SIGNAL(SIGNAL_tcTimesGet(QString, QString, ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_tcTimesGet(QString, QString, ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_getFreeSpace()), self, SLOT(SLOT_getFreeSpace())},
        {self, SIGNAL(SIGNAL_freeSpaceReceived(qulonglong, ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_freeSpaceReceived(qulonglong, ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_cleanupDisk(qulonglong)), self,
         SLOT(SLOT_cleanupDisk(qulonglong))},
        {self, SIGNAL(SIGNAL_cleanupDone(qulonglong, ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_cleanupDone(qulonglong, ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_readBatteryStatus()), self, SLOT(SLOT_readBatteryStatus())},
        {self, SIGNAL(SIGNAL_batteryStatusReceived(int, ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_batteryStatusReceived(int, ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_getEntries(QString)), self, SLOT(SLOT_getEntries(QString))},
        {self, SIGNAL(SIGNAL_entriesReceived(QStringList, ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_entriesReceived(QStringList, ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_doBackup(QString, QString, QString)), self,
         SLOT(SLOT_doBackup(QString, QString, QString))},
        {self, SIGNAL(SIGNAL_backupDone(QString, ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_backupDone(QString, ConnectLib::CPStateFlags))},
        {requests, SIGNAL(SIGNAL_revertBackup(QString)), self, SLOT(SLOT_revertBackup(QString))},
        {self, SIGNAL(SIGNAL_backupRevertDone(ConnectLib::CPStateFlags)), bridge,
         SLOT(SLOT_backupRevertDone(ConnectLib::CPStateFlags))},
    });
    if (!made)
        ConnectGlobals::logLine(QStringLiteral("Could not make all datasynchronizer connections."));
}

bool DataSynchronizer::showDialogIfLoaded()
{
    if (!m_bridge)
        return false;
    const ConnectLayout::WebView* view = m_bridge->webView();
    const QWebPage* page = view ? view->page() : nullptr;
    if (!page || !page->mainFrame() || page->mainFrame()->toPlainText().isEmpty())
        return false;
    m_bridge->SLOT_showDialog(true);
    return true;
}

void DataSynchronizer::SLOT_runScript(QString script)
{
    emit SIGNAL_runScript(script);
}

void DataSynchronizer::SLOT_configChanged()
{
    m_bridge->SLOT_reinitConfigurations();
}

bool DataSynchronizer::passesEvent(const TCData& tcData) const
{
    if (m_tcData.deviceId() == 0 || m_tcData.deviceId() == tcData.deviceId())
        return true;
    logDropped(tcData);
    return false;
}

bool DataSynchronizer::passesResult(const TCData& tcData) const
{
    if (m_tcData.deviceId() == tcData.deviceId())
        return true;
    logDropped(tcData);
    return false;
}

void DataSynchronizer::logDropped(const TCData& tcData) const
{
    ConnectGlobals::logLine(
        QStringLiteral("Received signal from different device. Mine %0 received %1")
            .arg(m_tcData.deviceId())
            .arg(tcData.deviceId()));
}
