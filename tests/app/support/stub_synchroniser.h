#pragma once

#include "app/sync_state/sync_state.h"
#include "connectlib/types/cp_state_flags.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <map>
#include <memory>

class JsObject;

namespace ConnectLayout {
class Viewer;
}

namespace RavoSync::Test {

// Stands in for a window's synchroniser: connects to every request signal of
// a bridge (on its requests object) by signature text, as the synchroniser does, records each call
// (name without "SIGNAL_", arguments) in order and answers from a per-test
// table. The bridge's five window signals go to a real viewer.
class StubSynchroniser : public QObject {
    Q_OBJECT
public:
    struct Call {
        QString name;
        QVariantList arguments;
    };
    // Runs inside the request call (as the provider answers an unknown
    // device) or after control returns to the event loop.
    enum class When { Inside, Later };
    using Answer = std::function<void(JsObject* bridge, const QVariantList& arguments)>;

    explicit StubSynchroniser(JsObject* bridge);
    ~StubSynchroniser() override;

    // False when a connection by signature could not be made.
    bool wiredAll() const { return m_wiredAll; }
    ConnectLayout::Viewer* viewer() const { return m_viewer.get(); }

    void answer(const QString& name, When when, Answer answer);

    // What a played device answers each request with, through the bridge's
    // result slot that the synchroniser would reach.
    struct DeviceAnswers {
        ConnectLib::CPStateFlags flags = ConnectLib::OK;
        // Flags for single requests (by recorded name), over flags.
        std::map<QString, ConnectLib::CPStateFlags> flagsFor;
        QString fileData;    // a device file's contents as Base64 text
        QString offlineData; // an offline file's text
        qulonglong freeSpace = 0;
        int charge = 0;
        QStringList entries; // entries, subfolders and daily entries
        QString systemTime;
        QString localTime;
        QString challengeToken;
        QString backupDir;
        QString hexId = QStringLiteral("00000000"); // the window device's, for the update results
    };
    // Answers every request that has a result; requests without one (sync
    // start and stop, reset, a device's data) only record.
    void playDevice(When when, const DeviceAnswers& answers);
    // Answers as the provider answers a device it does not know: inside
    // the request, TC_NOT_FOUND with the operation's failure flag.
    void playUnknownDevice();
    const QList<Call>& calls() const { return m_calls; }
    QStringList callNames() const;
    void clearCalls() { m_calls.clear(); }
    // Forgets every answer: requests only record.
    void clearAnswers() { m_answers.clear(); }

public slots:
    void SLOT_readFromFile(QString url);
    void SLOT_readOfflineFile(QString filename);
    void SLOT_writeToFile(QString url, QString data);
    void SLOT_writeToFile(QString url, QByteArray data);
    void SLOT_writeOfflineFile(QString filename, QString content);
    void SLOT_writeOfflineBinaryFile(QString filename, QByteArray content);
    void SLOT_writeOfflineToTCFile(QString filename, QByteArray content);
    void SLOT_writeFWFileToAbsolutePath(QString absFile, QByteArray data);
    void SLOT_writeFileToAbsolutePath(QString storagePath, QString path, QByteArray data);
    void SLOT_mergeToFile(QString url, QString data);
    void SLOT_createDir(QString dirpath);
    void SLOT_removeEntries(QStringList entryList);
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
    void SLOT_doReset(bool sleep, bool doFactoryDefaults);
    void SLOT_generateChallengeToken(uint userId, QByteArray nonse);
    void SLOT_startSync();
    void SLOT_stopSync(bool syncSuccess);
    void SLOT_updateFirmware(QString zipPath, bool makeRoom);
    void SLOT_ZFTP_installUpdate(QString zipPath, bool makeRoom);
    void SLOT_copyFirmwareData(QString path);
    void SLOT_doBackup(QString listOfDirs, QString from, QString to);
    void SLOT_revertBackup(QString backupDir);
    void SLOT_startSyncWithDevice(qulonglong deviceId);
    void SLOT_syncProcessStateChanged(qulonglong deviceId,
                                      ConnectGlobals::SyncState::SyncProcessState state);
    void SLOT_quit();
    void SLOT_resync();
    void SLOT_initConfigs();
    void SLOT_requestAvailableTCs();
    void SLOT_showOfflineDialog(QString dialogUrl, QStringList contentTextIds,
                                QString dialogButtons, QString executeScript);
    void SLOT_ravoSyncInstallerDownloadDone(QString filePath, QString updFilelistUrl);

private:
    void record(const QString& name, const QVariantList& arguments);
    bool wire(QObject* sender, const char* signal, QObject* receiver, const char* method);

    QPointer<JsObject> m_bridge;
    std::unique_ptr<ConnectLayout::Viewer> m_viewer;
    std::map<QString, std::pair<When, Answer>> m_answers;
    QList<Call> m_calls;
    bool m_wiredAll = true;
};

} // namespace RavoSync::Test
