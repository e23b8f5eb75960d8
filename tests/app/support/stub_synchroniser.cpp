#include "tests/app/support/stub_synchroniser.h"

#include "app/bridge/jsobject.h"
#include "app/windows/viewer.h"

#include <QTimer>

#include <utility>

namespace RavoSync::Test {

StubSynchroniser::StubSynchroniser(JsObject* bridge)
    : m_bridge(bridge)
    , m_viewer(std::make_unique<ConnectLayout::Viewer>())
{
    struct Link {
        const char* signal;
        const char* slot;
    };
    // Signature texts exactly as the synchroniser spells them.
    static const Link requests[] = {
        {SIGNAL(SIGNAL_readFromFile(QString)), SLOT(SLOT_readFromFile(QString))},
        {SIGNAL(SIGNAL_readOfflineFile(QString)), SLOT(SLOT_readOfflineFile(QString))},
        {SIGNAL(SIGNAL_writeToFile(QString, QString)), SLOT(SLOT_writeToFile(QString, QString))},
        {SIGNAL(SIGNAL_writeToFile(QString, QByteArray)),
         SLOT(SLOT_writeToFile(QString, QByteArray))},
        {SIGNAL(SIGNAL_writeOfflineFile(QString, QString)),
         SLOT(SLOT_writeOfflineFile(QString, QString))},
        {SIGNAL(SIGNAL_writeOfflineToTCFile(QString, QByteArray)),
         SLOT(SLOT_writeOfflineToTCFile(QString, QByteArray))},
        {SIGNAL(SIGNAL_writeFWFileToAbsolutePath(QString, QByteArray)),
         SLOT(SLOT_writeFWFileToAbsolutePath(QString, QByteArray))},
        {SIGNAL(SIGNAL_mergeToFile(QString, QString)), SLOT(SLOT_mergeToFile(QString, QString))},
        {SIGNAL(SIGNAL_createDir(QString)), SLOT(SLOT_createDir(QString))},
        {SIGNAL(SIGNAL_removeEntries(QStringList)), SLOT(SLOT_removeEntries(QStringList))},
        {SIGNAL(SIGNAL_getSubdirs(QString)), SLOT(SLOT_getSubdirs(QString))},
        {SIGNAL(SIGNAL_getSubdirsWithoutFile(QString, QString)),
         SLOT(SLOT_getSubdirsWithoutFile(QString, QString))},
        {SIGNAL(SIGNAL_getDailySubdirsWithoutFile(QString, QString)),
         SLOT(SLOT_getDailySubdirsWithoutFile(QString, QString))},
        {SIGNAL(SIGNAL_getDailyEntries(QString)), SLOT(SLOT_getDailyEntries(QString))},
        {SIGNAL(SIGNAL_getEntries(QString)), SLOT(SLOT_getEntries(QString))},
        {SIGNAL(SIGNAL_getFreeSpace()), SLOT(SLOT_getFreeSpace())},
        {SIGNAL(SIGNAL_cleanupDisk(qulonglong)), SLOT(SLOT_cleanupDisk(qulonglong))},
        {SIGNAL(SIGNAL_readBatteryStatus()), SLOT(SLOT_readBatteryStatus())},
        {SIGNAL(SIGNAL_setTCTimes(QString, bool, QString, int)),
         SLOT(SLOT_setTCTimes(QString, bool, QString, int))},
        {SIGNAL(SIGNAL_getTCTimes()), SLOT(SLOT_getTCTimes())},
        {SIGNAL(SIGNAL_doReset(bool, bool)), SLOT(SLOT_doReset(bool, bool))},
        {SIGNAL(SIGNAL_generateChallengeToken(uint, QByteArray)),
         SLOT(SLOT_generateChallengeToken(uint, QByteArray))},
        {SIGNAL(SIGNAL_startSync()), SLOT(SLOT_startSync())},
        {SIGNAL(SIGNAL_stopSync(bool)), SLOT(SLOT_stopSync(bool))},
        {SIGNAL(SIGNAL_updateFirmware(QString, bool)), SLOT(SLOT_updateFirmware(QString, bool))},
        {SIGNAL(SIGNAL_ZFTP_installUpdate(QString, bool)),
         SLOT(SLOT_ZFTP_installUpdate(QString, bool))},
        {SIGNAL(SIGNAL_copyFirmwareData(QString)), SLOT(SLOT_copyFirmwareData(QString))},
        {SIGNAL(SIGNAL_doBackup(QString, QString, QString)),
         SLOT(SLOT_doBackup(QString, QString, QString))},
        {SIGNAL(SIGNAL_revertBackup(QString)), SLOT(SLOT_revertBackup(QString))},
        {SIGNAL(SIGNAL_startSyncWithDevice(qulonglong)),
         SLOT(SLOT_startSyncWithDevice(qulonglong))},
        {SIGNAL(SIGNAL_syncProcessStateChanged(qulonglong,
                                               ConnectGlobals::SyncState::SyncProcessState)),
         SLOT(SLOT_syncProcessStateChanged(qulonglong,
                                           ConnectGlobals::SyncState::SyncProcessState))},
        {SIGNAL(SIGNAL_quit()), SLOT(SLOT_quit())},
        {SIGNAL(SIGNAL_resync()), SLOT(SLOT_resync())},
        {SIGNAL(SIGNAL_initConfigs()), SLOT(SLOT_initConfigs())},
        {SIGNAL(SIGNAL_requestAvailableTCs()), SLOT(SLOT_requestAvailableTCs())},
        {SIGNAL(SIGNAL_showOfflineDialog(QString, QStringList, QString, QString)),
         SLOT(SLOT_showOfflineDialog(QString, QStringList, QString, QString))},
        {SIGNAL(SIGNAL_ravoSyncInstallerDownloadDone(QString, QString)),
         SLOT(SLOT_ravoSyncInstallerDownloadDone(QString, QString))},
    };
    QObject* const sender = bridge ? bridge->requests() : nullptr;
    for (const Link& link : requests)
        wire(sender, link.signal, this, link.slot);

    ConnectLayout::Viewer* viewer = m_viewer.get();
    wire(sender, SIGNAL(SIGNAL_showDialog(ConnectLayout::WebView*)), viewer,
         SLOT(SLOT_showDialog(ConnectLayout::WebView*)));
    wire(sender, SIGNAL(SIGNAL_putOnTop(ConnectLayout::WebView*)), viewer,
         SLOT(SLOT_putOnTop(ConnectLayout::WebView*)));
    wire(sender, SIGNAL(SIGNAL_resizeView(ConnectLayout::WebView*)), viewer,
         SLOT(SLOT_resizeView(ConnectLayout::WebView*)));
    wire(sender,
         SIGNAL(SIGNAL_showQuickDialog(ConnectGlobals::SyncState::DialogState,
                                       ConnectGlobals::SyncState::DialogType, QString, QString)),
         viewer,
         SLOT(SLOT_showQuickDialog(ConnectGlobals::SyncState::DialogState,
                                   ConnectGlobals::SyncState::DialogType, QString, QString)));
    wire(bridge, SIGNAL(SIGNAL_hideQuickDialog()), viewer, SLOT(SLOT_hideQuickDialog()));
}

StubSynchroniser::~StubSynchroniser() = default;

bool StubSynchroniser::wire(QObject* sender, const char* signal, QObject* receiver,
                            const char* method)
{
    const bool made = sender && connect(sender, signal, receiver, method);
    m_wiredAll = m_wiredAll && made;
    return made;
}

void StubSynchroniser::answer(const QString& name, When when, Answer answer)
{
    m_answers[name] = {when, std::move(answer)};
}

namespace {

using ConnectLib::CPStateFlags;
using Answers = StubSynchroniser::DeviceAnswers;
using Reply = void (*)(JsObject*, const Answers&, CPStateFlags);

// Each request with a result: the failure flag the provider gives an unknown
// device besides TC_NOT_FOUND (OK: offline storage, which needs no device),
// and the result the bridge then receives.
struct ResultRow {
    const char* request;
    ConnectLib::CPStateFlag failure;
    Reply reply;
};

const ResultRow resultRows[] = {
    {"readFromFile", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) {
         b->SLOT_readFromLocalDone(f, a.fileData);
     }},
    {"readOfflineFile", ConnectLib::OK,
     [](JsObject* b, const Answers& a, CPStateFlags f) {
         b->SLOT_readFromLocalDone(f, a.offlineData);
     }},
    {"writeToFile", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_writeToLocalDone(f); }},
    {"writeOfflineFile", ConnectLib::OK,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_writeToLocalDone(f); }},
    {"writeOfflineBinaryFile", ConnectLib::OK,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_writeToLocalDone(f); }},
    {"writeOfflineToTCFile", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_writeToLocalDone(f); }},
    {"mergeToFile", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_mergeDone(f); }},
    {"createDir", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_dirCreated(f); }},
    {"removeEntries", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_entriesRemoved(f); }},
    {"getSubdirs", ConnectLib::GET_SUBDIRECTORIES_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) { b->SLOT_returnSubdirs(f, a.entries); }},
    {"getSubdirsWithoutFile", ConnectLib::GET_SUBDIRECTORIES_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) { b->SLOT_returnSubdirs(f, a.entries); }},
    {"getDailySubdirsWithoutFile", ConnectLib::GET_SUBDIRECTORIES_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) { b->SLOT_returnSubdirs(f, a.entries); }},
    {"getDailyEntries", ConnectLib::GET_SUBDIRECTORIES_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) {
         b->SLOT_returnDailyEntries(f, a.entries);
     }},
    {"getEntries", ConnectLib::GET_ENTRIES_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) { b->SLOT_entriesReceived(a.entries, f); }},
    {"getFreeSpace", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) {
         b->SLOT_freeSpaceReceived(a.freeSpace, f);
     }},
    {"cleanupDisk", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) { b->SLOT_cleanupDone(a.freeSpace, f); }},
    {"readBatteryStatus", ConnectLib::GENERAL_ERROR,
     [](JsObject* b, const Answers& a, CPStateFlags f) {
         b->SLOT_batteryStatusReceived(a.charge, f);
     }},
    {"setTCTimes", ConnectLib::GENERAL_ERROR,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_tcTimesSet(f); }},
    {"getTCTimes", ConnectLib::GENERAL_ERROR,
     [](JsObject* b, const Answers& a, CPStateFlags f) {
         b->SLOT_tcTimesGet(a.systemTime, a.localTime, f);
     }},
    // The synchroniser passes the token on without its flags.
    {"generateChallengeToken", ConnectLib::GET_CHALLENGE_TOKEN_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) {
         b->SLOT_challengeTokenReceived(f.testFlag(ConnectLib::OK) ? a.challengeToken : QString());
     }},
    // A firmware update reaches the page only when it failed; a good one
    // restarts the device instead.
    {"updateFirmware", ConnectLib::FW_UPDATE_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) {
         if (f.testFlag(ConnectLib::FW_UPDATE_FAILED))
             b->SLOT_continueWithDevice(a.hexId, f);
     }},
    {"ZFTP_installUpdate", ConnectLib::FW_UPDATE_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) { b->SLOT_continueWithDevice(a.hexId, f); }},
    {"copyFirmwareData", ConnectLib::FW_UPDATE_FAILED,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_firmwareDataCopied(f); }},
    {"doBackup", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers& a, CPStateFlags f) { b->SLOT_backupDone(a.backupDir, f); }},
    {"revertBackup", ConnectLib::FILE_OPERATION_FAILED,
     [](JsObject* b, const Answers&, CPStateFlags f) { b->SLOT_backupRevertDone(f); }},
};

} // namespace

void StubSynchroniser::playDevice(When when, const DeviceAnswers& answers)
{
    for (const ResultRow& row : resultRows) {
        const QString name = QLatin1String(row.request);
        const auto own = answers.flagsFor.find(name);
        const CPStateFlags flags = own != answers.flagsFor.end() ? own->second : answers.flags;
        const Reply reply = row.reply;
        answer(name, when, [reply, answers, flags](JsObject* bridge, const QVariantList&) {
            reply(bridge, answers, flags);
        });
    }
}

void StubSynchroniser::playUnknownDevice()
{
    DeviceAnswers answers;
    answers.freeSpace = 0;
    answers.charge = -1;
    for (const ResultRow& row : resultRows) {
        if (row.failure != ConnectLib::OK)
            answers.flagsFor[QLatin1String(row.request)] = ConnectLib::TC_NOT_FOUND | row.failure;
    }
    playDevice(When::Inside, answers);
}

QStringList StubSynchroniser::callNames() const
{
    QStringList names;
    for (const Call& call : m_calls)
        names.append(call.name);
    return names;
}

void StubSynchroniser::record(const QString& name, const QVariantList& arguments)
{
    m_calls.append({name, arguments});
    const auto found = m_answers.find(name);
    if (found == m_answers.end())
        return;
    const Answer answer = found->second.second;
    if (found->second.first == When::Inside) {
        if (m_bridge)
            answer(m_bridge, arguments);
        return;
    }
    QPointer<JsObject> bridge = m_bridge;
    QTimer::singleShot(0, this, [bridge, answer, arguments] {
        if (bridge)
            answer(bridge, arguments);
    });
}

void StubSynchroniser::SLOT_readFromFile(QString url)
{
    record(QStringLiteral("readFromFile"), {url});
}
void StubSynchroniser::SLOT_readOfflineFile(QString filename)
{
    record(QStringLiteral("readOfflineFile"), {filename});
}
void StubSynchroniser::SLOT_writeToFile(QString url, QString data)
{
    record(QStringLiteral("writeToFile"), {url, data});
}
void StubSynchroniser::SLOT_writeToFile(QString url, QByteArray data)
{
    record(QStringLiteral("writeToFile"), {url, data});
}
void StubSynchroniser::SLOT_writeOfflineFile(QString filename, QString content)
{
    record(QStringLiteral("writeOfflineFile"), {filename, content});
}
void StubSynchroniser::SLOT_writeOfflineBinaryFile(QString filename, QByteArray content)
{
    record(QStringLiteral("writeOfflineBinaryFile"), {filename, content});
}
void StubSynchroniser::SLOT_writeOfflineToTCFile(QString filename, QByteArray content)
{
    record(QStringLiteral("writeOfflineToTCFile"), {filename, content});
}
void StubSynchroniser::SLOT_writeFWFileToAbsolutePath(QString absFile, QByteArray data)
{
    record(QStringLiteral("writeFWFileToAbsolutePath"), {absFile, data});
}
void StubSynchroniser::SLOT_writeFileToAbsolutePath(QString storagePath, QString path,
                                                    QByteArray data)
{
    record(QStringLiteral("writeFileToAbsolutePath"), {storagePath, path, data});
}
void StubSynchroniser::SLOT_mergeToFile(QString url, QString data)
{
    record(QStringLiteral("mergeToFile"), {url, data});
}
void StubSynchroniser::SLOT_createDir(QString dirpath)
{
    record(QStringLiteral("createDir"), {dirpath});
}
void StubSynchroniser::SLOT_removeEntries(QStringList entryList)
{
    record(QStringLiteral("removeEntries"), {entryList});
}
void StubSynchroniser::SLOT_getSubdirs(QString parentPath)
{
    record(QStringLiteral("getSubdirs"), {parentPath});
}
void StubSynchroniser::SLOT_getSubdirsWithoutFile(QString parentPath, QString filename)
{
    record(QStringLiteral("getSubdirsWithoutFile"), {parentPath, filename});
}
void StubSynchroniser::SLOT_getDailySubdirsWithoutFile(QString parentPath, QString filename)
{
    record(QStringLiteral("getDailySubdirsWithoutFile"), {parentPath, filename});
}
void StubSynchroniser::SLOT_getDailyEntries(QString parentPath)
{
    record(QStringLiteral("getDailyEntries"), {parentPath});
}
void StubSynchroniser::SLOT_getEntries(QString path)
{
    record(QStringLiteral("getEntries"), {path});
}
void StubSynchroniser::SLOT_getFreeSpace()
{
    record(QStringLiteral("getFreeSpace"), {});
}
void StubSynchroniser::SLOT_cleanupDisk(qulonglong requiredBytes)
{
    record(QStringLiteral("cleanupDisk"), {requiredBytes});
}
void StubSynchroniser::SLOT_readBatteryStatus()
{
    record(QStringLiteral("readBatteryStatus"), {});
}
void StubSynchroniser::SLOT_setTCTimes(QString system, bool trusted, QString local, int timezone)
{
    record(QStringLiteral("setTCTimes"), {system, trusted, local, timezone});
}
void StubSynchroniser::SLOT_getTCTimes()
{
    record(QStringLiteral("getTCTimes"), {});
}
void StubSynchroniser::SLOT_doReset(bool sleep, bool doFactoryDefaults)
{
    record(QStringLiteral("doReset"), {sleep, doFactoryDefaults});
}
void StubSynchroniser::SLOT_generateChallengeToken(uint userId, QByteArray nonse)
{
    record(QStringLiteral("generateChallengeToken"), {userId, nonse});
}
void StubSynchroniser::SLOT_startSync()
{
    record(QStringLiteral("startSync"), {});
}
void StubSynchroniser::SLOT_stopSync(bool syncSuccess)
{
    record(QStringLiteral("stopSync"), {syncSuccess});
}
void StubSynchroniser::SLOT_updateFirmware(QString zipPath, bool makeRoom)
{
    record(QStringLiteral("updateFirmware"), {zipPath, makeRoom});
}
void StubSynchroniser::SLOT_ZFTP_installUpdate(QString zipPath, bool makeRoom)
{
    record(QStringLiteral("ZFTP_installUpdate"), {zipPath, makeRoom});
}
void StubSynchroniser::SLOT_copyFirmwareData(QString path)
{
    record(QStringLiteral("copyFirmwareData"), {path});
}
void StubSynchroniser::SLOT_doBackup(QString listOfDirs, QString from, QString to)
{
    record(QStringLiteral("doBackup"), {listOfDirs, from, to});
}
void StubSynchroniser::SLOT_revertBackup(QString backupDir)
{
    record(QStringLiteral("revertBackup"), {backupDir});
}
void StubSynchroniser::SLOT_startSyncWithDevice(qulonglong deviceId)
{
    record(QStringLiteral("startSyncWithDevice"), {deviceId});
}
void StubSynchroniser::SLOT_syncProcessStateChanged(
    qulonglong deviceId, ConnectGlobals::SyncState::SyncProcessState state)
{
    record(QStringLiteral("syncProcessStateChanged"), {deviceId, int(state)});
}
void StubSynchroniser::SLOT_quit()
{
    record(QStringLiteral("quit"), {});
}
void StubSynchroniser::SLOT_resync()
{
    record(QStringLiteral("resync"), {});
}
void StubSynchroniser::SLOT_initConfigs()
{
    record(QStringLiteral("initConfigs"), {});
}
void StubSynchroniser::SLOT_requestAvailableTCs()
{
    record(QStringLiteral("requestAvailableTCs"), {});
}
void StubSynchroniser::SLOT_showOfflineDialog(QString dialogUrl, QStringList contentTextIds,
                                              QString dialogButtons, QString executeScript)
{
    record(QStringLiteral("showOfflineDialog"),
           {dialogUrl, contentTextIds, dialogButtons, executeScript});
}
void StubSynchroniser::SLOT_ravoSyncInstallerDownloadDone(QString filePath, QString updFilelistUrl)
{
    record(QStringLiteral("ravoSyncInstallerDownloadDone"), {filePath, updFilelistUrl});
}

} // namespace RavoSync::Test
