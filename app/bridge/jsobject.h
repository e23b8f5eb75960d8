#pragma once

#include "app/animation/kantrel_movie.h"
#include "app/bridge/bridge_requests.h"
#include "app/bridge/reply_errors.h"
#include "app/bridge/reply_facts.h"
#include "app/sync_state/sync_state.h"
#include "app/windows/web_view.h"
#include "connectlib/types/cp_state_flags.h"
#include "connectlib/types/tc_data.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QMetaEnum>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <initializer_list>
#include <memory>

class QNetworkAccessManager;
class QNetworkSession;
class QSslError;
class QTimer;

// The script object "JSObject" of a sync window's pages: it owns the
// window's web view and is the pages' whole native interface. Page scripts
// call its slots synchronously; its signals go only to the handlers the
// pages connect (and the window's quick dialog): the requests to the window,
// the synchroniser and the controller leave through requests().
//
// Every enumeration and class type in a signature is spelled fully
// qualified: the synchroniser connects by signature text.
class JsObject : public QObject {
    Q_OBJECT
public:
    // parent is the creating synchroniser (may be null).
    explicit JsObject(QObject* parent);
    ~JsObject() override;

    ConnectLayout::WebView* webView() const { return m_webView; }
    // The bridge's requests to its window, synchroniser and controller,
    // which the synchroniser wires; never offered to a page.
    BridgeRequests* requests() const { return m_requests.get(); }

    // Judges a device result through the page's parseLocalReply with the
    // stored show-error-dialog value, which is then set back to "true".
    bool isLocalReplyOk(ConnectLib::CPStateFlags flags);
    // What a device request stores as the show-error-dialog value: "false"
    // for exactly "false", "true" for anything else (it goes into a script
    // as a bare boolean).
    void storeShowErrorDialog(const QString& value);
    QString showErrorDialogValue() const { return m_showErrorDialog; }

    // "'Key':'value'" for each key of metaEnum in declaration order, joined
    // with ",": the body of a script object literal.
    static QString toJsKeyValue(const QMetaEnum& metaEnum);

    // Whether the page timer (restarted by every page load) is running.
    bool pageTimerRunning() const { return m_webTimerId != -1; }

    // Whether the pages run something a page load would cut short: a sync
    // or firmware update they reported, or a device they wait for (after
    // an update, a reset, during a restore).
    bool runUnderWay() const;
    // Whether the pages wait for this device (hexadecimal id) to return.
    bool awaitsDevice(const QString& hexId) const;
    // The window takes a device or loads a page: a run still reported ends
    // as a failure, and the next state the pages report reaches the
    // controller whatever the last one was.
    void startStatesAfresh();
    // Whether the page that calls is on its way out: the bridge loads its
    // replacement, or the window closes. Such a page starts no device
    // request (logged with what).
    bool pageOnItsWayOut(const QString& what) const;

public slots:
    // Page variables.
    void SLOT_saveVariable(QString key, QString value);
    QString SLOT_getVariable(QString key);

    void SLOT_addJSObject();
    QVariant SLOT_evaluateJS(QString jsCommand);
    void SLOT_resetProxy();

    void SLOT_loadStart();
    void SLOT_setProgress(int progress);
    void SLOT_loadFinnished(bool status);
    void SLOT_closed();

    void SLOT_disconnectReadSignals();
    void SLOT_disconnectWriteSignals();
    void SLOT_disconnectMergeSignals();
    void SLOT_disconnectFWUpdateSignals();
    void SLOT_disconnectTimesetSignals();
    void SLOT_disconnectDirSignals();
    void SLOT_disconnectEntriesSignal();
    void SLOT_disconnectBatterySignals();
    void SLOT_disconnectGetSubdirsSignals();
    void SLOT_disconnectGetDailyEntriesSignals();
    void SLOT_disconnectRemoveSignals();

    // Page loading.
    void SLOT_startByLoading(QString htmlFileName);
    void SLOT_startByLoading(QString htmlFileName, QString contentHtmlName);
    void SLOT_startByLoading(QString htmlFileName, QString contentHtmlName,
                             QStringList contentTextIds);
    void SLOT_startByLoading(QString htmlFileName, QString contentHtmlName,
                             QStringList contentTextIds, QString dialogButtons);
    void SLOT_startByLoading(QString htmlFileName, QString contentHtmlName,
                             QStringList contentTextIds, QString dialogButtons,
                             QString executeScript);
    QString SLOT_offlineFileName();
    QStringList SLOT_contentTextIds();
    QString SLOT_dialogButtons();
    QString SLOT_executeScript();
    bool SLOT_isOfflineDialog();
    bool SLOT_isDeviceListDialog();
    void SLOT_setDialogStateOffline();

    // Waiting animation.
    void SLOT_runWaitAnimation();
    void SLOT_stopWaitingAnim();
    void SLOT_changeFrame(int frame);

    // Window control.
    void SLOT_showDialog(bool visible);
    void SLOT_putOnTop(bool onTop);
    void SLOT_resizeme();
    void SLOT_showQuickDialog(int dlgType, QString helpContent, QString script);
    void SLOT_disableClose();
    void SLOT_enableClose();
    void SLOT_close();
    void SLOT_quit();
    void SLOT_webViewDestroyed();

    // Sync control.
    void SLOT_changeSyncState(int state);
    void SLOT_syncIsReady();
    void SLOT_resync();
    void SLOT_dontAutosyncDevice(QString deviceId);
    QString SLOT_dontAutosyncDevice();
    void SLOT_initSyncStatesJson();

    // Application services.
    void SLOT_saveAppSetting(QString key, QString value);
    QString SLOT_loadAppSetting(QString key);
    void SLOT_initConfigs();
    void SLOT_reinitConfigurations();
    void SLOT_setApplicationToStartAtLogin(bool enable);
    QString SLOT_getOSVersion();
    QString SLOT_getOSname();
    bool SLOT_openExternalLink(QString url);
    void SLOT_copyToClipboard(QString text);
    QString SLOT_getLogFilePath();
    QString SLOT_getSecret(int len);
    bool SLOT_hasOfflineFile(QString fileName);
    bool SLOT_deleteFwUpdFiles();

    // Page timer (no transfer's time-out depends on it).
    void SLOT_stopReqTimer();
    void SLOT_stopWebReqTimer(int timerId);
    void SLOT_webTimerEvent();

    // Web transfers: raw-data reads and writes (bodies as Base64 text).
    void SLOT_readBinaryFromRemote(QString url, QString httpMethod, QString acceptType,
                                   bool useLocalBuffer = false,
                                   QString showErrorDialog = QStringLiteral("true"));
    void SLOT_readBinary(QString url, QString httpMethod, QString acceptType);
    void SLOT_writeBinaryToRemote(QString url, QString httpMethod, QString data,
                                  QString contentType, QString acceptType,
                                  QString contentEncoding = QString());
    void SLOT_writeBinary(QString url, QString httpMethod, QString data, QString contentType,
                          QString acceptType, QString contentEncoding = QString());
    void SLOT_readBinaryFromRemoteReplyReceived(QNetworkReply* reply);
    void SLOT_writeBinaryToRemoteReplyReceived(QNetworkReply* reply);
    // Every reply of the page's own manager.
    void SLOT_replyReceived(QNetworkReply* reply);
    void SLOT_handleSslErrors(QNetworkReply* reply, const QList<QSslError>& errors);
    void SLOT_networkAccessibleChanged(int accessible);
    void SLOT_stateChanged(int state);
    void SLOT_error(int error);

    // Device requests: each emits one request signal to the synchroniser.
    // Those with a showErrorDialog argument store it first for the next
    // judged result. The defaults give the shorter overloads the pages call.
    void SLOT_readFromLocal(QString url, QString showErrorDialog = QStringLiteral("true"));
    void SLOT_read(QString url, QString showErrorDialog = QStringLiteral("true"));
    void SLOT_readOfflineFile(QString filename, QString showErrorDialog = QStringLiteral("true"));
    void SLOT_writeToLocal(QString url, QString data,
                           QString showErrorDialog = QStringLiteral("true"),
                           bool fromLocalBuffer = false);
    void SLOT_write(QString url, QString data, QString showErrorDialog = QStringLiteral("true"));
    void SLOT_writeOfflineFile(QString filename, QString content,
                               QString showErrorDialog = QStringLiteral("true"));
    void SLOT_writeOfflineFileToTC(QString filename, QString content,
                                   QString showErrorDialog = QStringLiteral("true"),
                                   QString contentType = QString());
    void SLOT_merge(QString url, QString data, QString showErrorDialog = QStringLiteral("true"));
    void SLOT_createDir(QString dirpath);
    void SLOT_removeEntries(QString entryList);
    void SLOT_getSubdirs(QString parentPath);
    void SLOT_getSubdirsWithoutFile(QString parentPath, QString filename);
    void SLOT_getDailySubdirsWithoutFile(QString parentPath, QString filename);
    void SLOT_getDailyEntries(QString parentPath);
    void SLOT_getEntries(QString path);
    void SLOT_getFreeSpace();
    void SLOT_cleanupDisk(qulonglong requiredBytes);
    void SLOT_readBatteryStatus();
    void SLOT_setTCTimes(QString system, bool trusted, QString local, int timezone);
    void SLOT_getTCTimes();
    void SLOT_doReset(bool sleep, bool do_factory_defaults = true);
    void SLOT_doFactoryReset(bool sleep);
    void SLOT_generateChallengeToken(QString userId, QString nonse);
    void SLOT_startSync();
    void SLOT_stopSync(bool syncSuccess);
    void SLOT_updateFirmware(QString zipPath, bool makeRoom);
    void SLOT_ZFTP_installUpdate(QString zipPath, bool makeRoom = true);
    void SLOT_copyFirmwareData(QString path);
    void SLOT_doBackup(QString listOfDirs, QString from, QString to);
    void SLOT_revertBackup(QString backupDir);
    void SLOT_startSyncWithDevice(QString deviceId);

    // Time services for the pages.
    QString SLOT_getComputerTime();
    int SLOT_getTimezoneMinutes();

    // Device results from the synchroniser.
    void SLOT_readFromLocalDone(ConnectLib::CPStateFlags status, QString data);
    void SLOT_writeToLocalDone(ConnectLib::CPStateFlags status);
    void SLOT_mergeDone(ConnectLib::CPStateFlags status);
    void SLOT_dirCreated(ConnectLib::CPStateFlags status);
    void SLOT_entriesRemoved(ConnectLib::CPStateFlags status);
    void SLOT_tcTimesSet(ConnectLib::CPStateFlags status);
    void SLOT_continueWithDevice(QString deviceId, ConnectLib::CPStateFlags status);
    void SLOT_tcTimesGet(QString system, QString local, ConnectLib::CPStateFlags status);
    void SLOT_freeSpaceReceived(qulonglong freeSpace, ConnectLib::CPStateFlags flags);
    void SLOT_cleanupDone(qulonglong freeSpace, ConnectLib::CPStateFlags flags);
    void SLOT_batteryStatusReceived(int charge, ConnectLib::CPStateFlags flags);
    void SLOT_backupDone(QString backupDir, ConnectLib::CPStateFlags flags);
    void SLOT_backupRevertDone(ConnectLib::CPStateFlags flags);
    void SLOT_entriesReceived(QStringList entries, ConnectLib::CPStateFlags flags);
    void SLOT_returnSubdirs(ConnectLib::CPStateFlags status, QStringList dirList);
    void SLOT_returnDailyEntries(ConnectLib::CPStateFlags status, QStringList entries);
    void SLOT_firmwareDataCopied(ConnectLib::CPStateFlags status);
    void SLOT_challengeTokenReceived(QString challengeToken);

    // Device events from the synchroniser.
    void SLOT_tcAppeared(ConnectLib::TCData tcData);
    void SLOT_tcIdling(ConnectLib::TCData tcData);
    void SLOT_tcBatteryStatus(ConnectLib::TCData tcData, int charge);
    void SLOT_tcRerouted(ConnectLib::TCData tcData);
    void SLOT_tcDisappeared(ConnectLib::TCData tcData);
    void SLOT_Announce_Dorvane(QString htmlFile);
    void SLOT_Removed_Dorvane();
    bool SLOT_isDorvaneConnected();
    bool SLOT_releaseTCevents();
    void SLOT_reannounceTCs();

    // Progress of device writes, relayed by the synchroniser.
    void SLOT_fwUpdateProgress(int progress, int total);
    void SLOT_fileWriteProgress(int progress, int total);
    // Cancel a running firmware or file download; flags go into its failure.
    void SLOT_cancelFWDownload(ConnectLib::CPStateFlags flags);
    void SLOT_cancelFileDownload(ConnectLib::CPStateFlags flags);

    // Downloads, https only, each on a reply of its own: a firmware archive
    // for the synchroniser, a file streamed into the offline store (maps) or
    // read whole for the page (any other content type), the program's own
    // update. A refused address or name answers false.
    bool SLOT_downloadFirmware(QString url);
    bool SLOT_downloadFile(QString url, QString httpMethod, QString contentType, QString acceptType,
                           QString showErrorDialog);
    bool SLOT_updateRavoSync(QString url, QString filename, QStringList libs);
    // A language package (downloaded into the local buffer) to the device.
    void SLOT_copyLangsToLocal(QString langResourceFileName, QStringList langs = QStringList());
    bool SLOT_deleteUnwantedLangfiles(QString path, QStringList langs);
    // The downloads' reply signals. Scripts may call them too: a reply the
    // bridge does not track (or none) is ignored.
    void SLOT_downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void SLOT_fileDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void SLOT_downloadReadyRead();
    void SLOT_updateFirmwareReceived(QNetworkReply* reply);
    void SLOT_downloadFileReceived(QNetworkReply* reply);
    void SLOT_ravoSyncUpdateFirmwareReceived(QNetworkReply* reply);
    void SLOT_ktInstallerSaved();

signals:
    // The only signal the pages emit: it hides the window's quick dialog.
    void SIGNAL_hideQuickDialog();
    // A notice for the pages that the program update's installer was saved
    // and handed on; connected to nothing of the program.
    void SIGNAL_ravoSyncInstallerDownloadDone(QString filePath, QString updFilelistUrl);

    // To the pages: results.
    void SIGNAL_fileRead(QString data, QString successFlags, QString xmlObj);
    void SIGNAL_fileWritten(QString data, QString successFlags, QString xmlObj);
    void SIGNAL_fileMerged(QString data, QString successFlags, QString xmlObj);
    void SIGNAL_dirCreated(QString data, QString successFlags);
    void SIGNAL_entriesRemoved(QString data, QString successFlags, QString xmlObj);
    void SIGNAL_tcTimesSet(QString data, QString successFlags, QString xmlObj);
    void SIGNAL_tcTimesGet(QString system, QString local, QString successFlags);
    void SIGNAL_continueWithDevice(QString deviceId, QString successFlags);
    void SIGNAL_returnFreeSpace(qulonglong freeSpace, QString successFlags);
    void SIGNAL_cleanupDone(qulonglong freeSpace, QString successFlags);
    void SIGNAL_batteryStatusReceived(int charge, QString successFlags);
    void SIGNAL_backupDone(QString backupDir, QString successFlags);
    void SIGNAL_backupRevertDone(QString successFlags);
    void SIGNAL_entriesReceived(QStringList entries, QString successFlags);
    void SIGNAL_returnSubdirs(QStringList dirList, QString successFlags);
    void SIGNAL_returnDailyEntries(QStringList entries, QString successFlags);
    void SIGNAL_firmwareDataCopied(QString successFlags);
    void SIGNAL_challengeTokenReceived(QString challengeToken);
    void SIGNAL_fail(QString xmlObj, QString successFlags, QString errorMessage);
    // Declared for the pages; the program never emits them.
    void SIGNAL_fwUpdateDone(QString data, QString successFlags, QString xmlObj);
    void SIGNAL_fileUpdateDone(QString data, QString successFlags, QString xmlObj);
    void SIGNAL_copyFileData(QString path);
    void SIGNAL_fileDataCopied(QString successFlags);

    // To the pages: device events.
    void SIGNAL_tcAppeared(QString deviceId, QString hexId, QString pageName);
    void SIGNAL_tcIdling(QString deviceId, QString hexId, QString pageName);
    void SIGNAL_tcBatteryStatus(QString deviceId, QString hexId, QString pageName, int charge);
    void SIGNAL_tcDisappeared(QString deviceId, QString hexId, QString pageName);
    void SIGNAL_announceDorvane();
    void SIGNAL_removedDorvane();

private:
    void initVariables();
    void initWebView();
    // Removes every connection of each of this object's signals named.
    void disconnectSignals(std::initializer_list<const char*> signalNames);
    // A running sync ends as SyncError with a failed stop (closing,
    // quitting, a page load).
    void endRunningSync();
    void startPageTimer();
    void stopTimers();

    // A manager for the bridge's own transfers: the page manager's network
    // configuration and cookie store, TLS errors and accessibility watched.
    QNetworkAccessManager* createNetworkManager();
    QNetworkAccessManager* transferManager();
    QNetworkAccessManager* pageManager() const;
    // The request of a raw-data transfer with its headers.
    QNetworkRequest transferRequest(const QUrl& url, const QString& acceptType);
    // True (after a log line, with a failure for the page to follow) for
    // anything but an http or https address with a host.
    bool refuseAddress(const QUrl& url);
    // Arms the reply's own time-out ("nwreqtimer" seconds) and connects its
    // completion to handler.
    void trackTransfer(QNetworkReply* reply, void (JsObject::*handler)(QNetworkReply*));
    // The reply's log lines and "replyurl"; the offline dialog's decision.
    ConnectGlobals::ReplyErrorDecision noteReply(const ConnectGlobals::ReplyFacts& facts,
                                                 const QByteArray& body);
    // The page's verdict on a transfer's status: success (with data) only
    // for a reply that arrived whole, else SIGNAL_fail.
    void judgeTransfer(const ConnectGlobals::ReplyFacts& facts, bool whole, const QString& data,
                       void (JsObject::*success)(QString, QString, QString));
    // The offline error dialog for a failing reply.
    void showOfflineDialogFor(const QString& textId, const QString& buttons, const QString& script);

    // The download side, shared by the firmware, file and program-update
    // downloads. The manager is made on the first download; its own
    // completion signal goes nowhere: every download connects its reply's
    // signals to its kind's handlers.
    QNetworkAccessManager* downloadManager();
    // A download's request: "Content-Type", "Accept", "Accept-Language",
    // the credentials when withAuthorization (only over https to the
    // service hosts, as for the transfers) and the inactivity time-out
    // ("nwreqtimer" seconds without a byte ends the reply).
    QNetworkRequest downloadRequest(const QUrl& url, const QString& contentType,
                                    const QString& acceptType, bool withAuthorization);
    // GET on the download manager. The local buffer is emptied first: what
    // an earlier transfer left there never goes out with a later write.
    QNetworkReply* startDownload(const QNetworkRequest& request);
    // Ends reply (as a transfer failure) once its announced or received size
    // is more than a body read whole may have, or than the free space in
    // folder when one is given.
    void capWholeBody(QNetworkReply* reply, const QString& folder);
    // logLine(prefix + proxy host + ", port: " + proxy port) for the
    // download manager's proxy.
    void logDownloadProxy(const QString& prefix);
    // SLOT_writeOfflineFile of a streamed map: the named offline file is
    // made from the map's file in the store, answered through the write
    // result.
    void writeStreamedMap(const QString& filename);
    // The map's file: closed, and when it was still being written removed
    // unless keep.
    void closeDownloadTarget(bool keep);
    // Whether the map fits the device's last free space; cancels it with
    // DISK_FULL when not.
    bool mapFitsDevice();
    // Counts and writes a piece of the map; false after cancelling it.
    bool writeMapPiece(const QByteArray& data);
    // The sync status script, once per whole percent of a known size; of
    // an unknown one the running bar and, once per tenth, the megabytes
    // received.
    void showFileProgress(qint64 received, qint64 total);

    // The program update's current file: a library while the index is
    // below the list's length (and the list names one), else the installer.
    bool selfUpdateOnLibrary() const;
    QString selfUpdateFileName() const;
    // Requests the current file of the program update.
    void startSelfUpdateFile();
    // Set when the update's installer has just been saved: only then does
    // SLOT_ktInstallerSaved hand it on (a page may call the slot too).
    bool m_selfUpdateInstallerSaved = false;

    ConnectGlobals::SyncState::DialogState m_dialogState = ConnectGlobals::SyncState::SyncDialog;
    // Set once the window is closing (SLOT_close, SLOT_quit, the end of the
    // bridge), before its view goes: the replies the engine then cancels
    // open no offline dialog in a window being deleted.
    bool m_closing = false;
    // Set while SLOT_quit runs and once it has: a page answering
    // SIGNAL_quit with another quit does not go round again.
    bool m_quitting = false;
    // From a page load the bridge starts until that load finishes: the engine
    // cancels the replaced page's requests meanwhile.
    bool m_replacingPage = false;
    // -1 lies outside every state, so the first state a page reports passes.
    int m_lastSyncState = -1;
    ConnectLayout::WebView* m_webView = nullptr;
    const std::unique_ptr<BridgeRequests> m_requests = std::make_unique<BridgeRequests>();
    QHash<QString, QString> m_variables;
    QString m_contentUrl;
    QString m_offlineContentPage;
    QStringList m_contentTextIds;
    QString m_dialogButtons;
    QString m_executeScript;
    QString m_dontAutosyncDevice;
    QString m_showErrorDialog = QStringLiteral("true");
    bool m_closeAfterSync = false;

    QNetworkSession* m_networkSession = nullptr;

    // Children of the view: they go with it.
    QPointer<QLabel> m_logoLabel;
    QPointer<QLabel> m_waitingLabel;
    QPointer<KantrelMovie> m_waitingMovie;

    QNetworkAccessManager* m_transferManager = nullptr;
    QNetworkAccessManager* m_downloadManager = nullptr;
    QTimer* m_webTimer = nullptr;
    int m_webTimerId = -1;

    // The connection state: whether a network-attached device was announced.
    ConnectGlobals::SyncState::ConnectionState m_connectionState =
        ConnectGlobals::SyncState::DorvaneRemoved;

protected:
    // Shared by the device side, the web transfers and the downloads; the
    // tests reach them through a subclass to set up what a download leaves.

    // Body of the last download kept for a later device write; emptied only
    // by the write result.
    QByteArray localBuffer;
    // Content type of the last file download.
    QString downloadContentType;
    // Set by a device write from the local buffer and by each raw-data read;
    // cleared by the write result.
    bool useLocalBuffer = false;
    // The free space of the last free-space result; 0 until one arrives.
    quint64 deviceFreeSpace = 0;
    // Set while a language package is copied to the device: the progress of
    // that write shows no message texts.
    bool langsCopyOngoing = false;

    // Firmware download: nothing runs until a download arms these.
    QPointer<QNetworkReply> _fwUpdateReply;
    bool fwDownloadAborted = true;
    bool fwUpdateReplyDeleted = true;
    ConnectLib::CPStateFlags fwCancelFlags = ConnectLib::OK;

    // File download, likewise.
    QPointer<QNetworkReply> _fileDownloadReply;
    bool fileDownloadAborted = true;
    bool fileDownloadReplyDeleted = true;
    ConnectLib::CPStateFlags fileCancelFlags = ConnectLib::OK;
    // The map's file in the offline store while it streams in, and its
    // path (kept after the download: SLOT_writeOfflineFile names it).
    QFile downloadTarget;
    QString downloadTargetPath;
    // The map's size from its headers (-1 while unknown) and the bytes
    // written so far.
    qint64 fileBytesExpected = -1;
    qint64 fileBytesReceived = 0;
    QDateTime downloadStartTime;
    QDateTime downloadEndTime;
    // The whole percent a file download last showed (-2 before the first).
    int lastFilePercent = -2;
    // The tenths of a megabyte a map of unknown size last showed (-1 before
    // the first).
    qint64 lastFileTenths = -1;
    // Bytes the previous progress report gave, for the log.
    qint64 prevBytesReceived = 0;
    // The whole percent the firmware or program-update download last showed
    // (-2 before the first).
    int lastDownloadPercent = -2;

    // Program update: its address without a trailing "/", the program-update
    // directory and the installer name, the libraries and the next one's
    // index, the running reply.
    QString selfUpdateBaseUrl;
    QStringList selfUpdateFiles;
    QStringList selfUpdateLibs;
    int selfUpdateIndex = 0;
    QPointer<QNetworkReply> selfUpdateReply;

private:
    // The last whole percent each kind of device-write progress showed; -1
    // before the first.
    int m_lastFwUpdatePercent = -1;
    int m_lastFileWritePercent = -1;
};
