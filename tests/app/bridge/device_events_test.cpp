// Device events, a device's disappearance, the network device's
// announcement, the release of the pages' event handlers, and the progress
// and cancels the synchroniser relays.
#include "tests/app/bridge/device_fixture.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QWebView>

namespace RavoSync::Test {
namespace {

using DeviceEvents = DeviceBridgeTest;

ConnectLib::TCData record(quint64 id, const QString& model)
{
    return ConnectLib::TCData(id, QStringLiteral("Runner"), model, true, QStringLiteral("wrist"),
                              QStringLiteral("1.2.0"), QStringLiteral("P7"),
                              QStringLiteral("3.4.5"), QStringLiteral("black"),
                              QStringLiteral("D2"), ConnectLib::OK);
}

TEST_F(DeviceEvents, EventsGiveIdsAndThePictureName)
{
    const std::pair<QString, QString> names[] = {
        {QStringLiteral("Zarvo Tovri 2"), QStringLiteral("ZarvoTovri2")},
        {QStringLiteral("  Zarvo\tN410 "), QStringLiteral("ZarvoN410")},
        {QStringLiteral("V650"), QStringLiteral("V650")},
        {QString(), QStringLiteral("generic")},
        {QStringLiteral("   "), QStringLiteral("generic")},
    };
    for (const auto& [model, pageName] : names) {
        SCOPED_TRACE(model.toStdString());
        m_signals->clear();
        m_bridge->SLOT_tcAppeared(record(0x12ab, model));
        const auto emissions = m_signals->emissions();
        ASSERT_EQ(emissions.size(), 1);
        EXPECT_EQ(emissions[0].name, QStringLiteral("SIGNAL_tcAppeared"));
        EXPECT_EQ(emissions[0].arguments,
                  (QVariantList{QStringLiteral("4779"), QStringLiteral("000012AB"), pageName}));
    }
}

TEST_F(DeviceEvents, EventLogLinesDescribeTheDevice)
{
    const ConnectLib::TCData device = record(4294967295u, QStringLiteral("Zarvo Tovri 2"));
    const QString description =
        QStringLiteral("DeviceId: 4294967295, hex: FFFFFFFF, model: Zarvo Tovri 2, name: Runner, "
                       "firmware: 3.4.5, bootloader: 1.2.0, color: black, design: D2, type: wrist");
    js(QStringLiteral("Stub.listen('SIGNAL_tcIdling'); Stub.listen('SIGNAL_tcBatteryStatus');"));

    m_bridge->SLOT_tcAppeared(device);
    m_bridge->SLOT_tcIdling(device);
    m_bridge->SLOT_tcBatteryStatus(device, 87);
    m_signals->clear();
    m_bridge->SLOT_tcRerouted(device);

    EXPECT_TRUE(m_log.contains(QStringLiteral("Device appeared: ") + description));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Device idling: ") + description));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Device battery status: ") + description +
                               QStringLiteral(", battery status: 87")));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Device rerouted: ") + description));
    // A rerouted device tells the page nothing.
    EXPECT_TRUE(m_signals->emissions().isEmpty());
    EXPECT_EQ(js(QStringLiteral("JSON.stringify([Stub.calls.SIGNAL_tcIdling, "
                                "Stub.calls.SIGNAL_tcBatteryStatus])"))
                  .toString(),
              QStringLiteral("[[[\"4294967295\",\"FFFFFFFF\",\"ZarvoTovri2\"]],"
                             "[[\"4294967295\",\"FFFFFFFF\",\"ZarvoTovri2\",87]]]"));
}

const char* const deviceVariables[] = {
    "currentuserdir", "currentuserid", "currentmasterid", "tcmodel",    "tcfullmodel",
    "tcdeviceid",     "tcdbdeviceid",  "tcbootloader",    "tcfirmware", "tctype",
    "tccolor",        "tcdesign",      "tcstatus",
};

struct DisappearanceRow {
    const char* name;
    quint64 gone;
    const char* awaited; // the device excluded from automatic sync
    bool cleared;
    const char* waitingLine; // null: none
};

TEST_F(DeviceEvents, DisappearanceClearsOnlyTheWindowsOwnDevice)
{
    // The window's device is 0000BEEF.
    const DisappearanceRow rows[] = {
        {"window device", 0xbeef, "", true, nullptr},
        {"window device awaited after a reset", 0xbeef, "0000BEEF", false, nullptr},
        {"another device while awaiting", 0xcafe, "0000BEEF", false,
         "Waiting for 0000BEEF to come back.."},
        {"the awaited device, another window", 0xcafe, "0000CAFE", false, nullptr},
    };
    for (const DisappearanceRow& row : rows) {
        SCOPED_TRACE(row.name);
        for (const char* key : deviceVariables)
            m_bridge->SLOT_saveVariable(QLatin1String(key), QStringLiteral("set"));
        m_bridge->SLOT_saveVariable(QStringLiteral("tcdeviceid"), QStringLiteral("0000BEEF"));
        m_bridge->SLOT_saveVariable(QStringLiteral("keepme"), QStringLiteral("page's own"));
        m_bridge->SLOT_dontAutosyncDevice(QLatin1String(row.awaited));
        m_bridge->SLOT_Announce_Dorvane(stubPage);
        ASSERT_TRUE(m_bridge->SLOT_isDorvaneConnected());
        const int linesBefore = m_log.lines().size();
        m_signals->clear();

        m_bridge->SLOT_tcDisappeared(record(row.gone, QStringLiteral("Zarvo N410")));

        for (const char* key : deviceVariables) {
            const QString value = m_bridge->SLOT_getVariable(QLatin1String(key));
            EXPECT_EQ(value.isEmpty(), row.cleared) << key;
        }
        EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("keepme")),
                  QStringLiteral("page's own"));
        const QStringList newLines = m_log.lines().mid(linesBefore);
        const bool waited = !newLines.filter(QStringLiteral("Waiting for ")).isEmpty();
        EXPECT_EQ(waited, row.waitingLine != nullptr);
        if (row.waitingLine) {
            EXPECT_TRUE(newLines.contains(QLatin1String(row.waitingLine)))
                << newLines.join('\n').toStdString();
        }
        // Any device's disappearance ends the network device's connection.
        EXPECT_FALSE(m_bridge->SLOT_isDorvaneConnected());
        const auto emissions = m_signals->emissions();
        ASSERT_EQ(emissions.size(), 1);
        EXPECT_EQ(emissions[0].name, QStringLiteral("SIGNAL_tcDisappeared"));
        EXPECT_EQ(emissions[0].arguments[1], record(row.gone, QString()).deviceIdAsHexString());
    }
}

TEST_F(DeviceEvents, TheNetworkDeviceIsAnnouncedWithItsPage)
{
    EXPECT_FALSE(m_bridge->SLOT_isDorvaneConnected());
    m_bridge->SLOT_saveVariable(QStringLiteral("tcdeviceid"), QString());
    QSignalSpy loaded(m_bridge->webView(), &QWebView::loadFinished);
    m_bridge->SLOT_Announce_Dorvane(stubPage);
    EXPECT_TRUE(m_bridge->SLOT_isDorvaneConnected());
    QStringList names;
    for (const auto& emission : m_signals->emissions())
        names.append(emission.name);
    EXPECT_TRUE(names.contains(QStringLiteral("SIGNAL_announceDorvane")));
    EXPECT_TRUE(names.contains(QStringLiteral("SIGNAL_showDialog")));
    // The built-in page's own rule decides the dialog state last.
    EXPECT_TRUE(m_bridge->SLOT_isOfflineDialog());

    // The announced page asks once it is up: while the bridge loads it, the
    // page it replaces asks for nothing.
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return loaded.count() > 0; }));
    m_signals->clear();
    m_bridge->SLOT_Removed_Dorvane();
    m_bridge->SLOT_reannounceTCs();
    EXPECT_EQ(m_stub->callNames(), QStringList{QStringLiteral("requestAvailableTCs")});
    ASSERT_EQ(m_signals->emissions().size(), 2);
}

TEST_F(DeviceEvents, ReleasingDeviceEventsDropsThePagesHandlers)
{
    const char* const events[] = {"SIGNAL_tcAppeared",      "SIGNAL_tcDisappeared",
                                  "SIGNAL_tcIdling",        "SIGNAL_tcBatteryStatus",
                                  "SIGNAL_announceDorvane", "SIGNAL_removedDorvane"};
    for (const char* event : events)
        js(QStringLiteral("Stub.listen('%0');").arg(QLatin1String(event)));
    js(QStringLiteral("Stub.listen('SIGNAL_fileRead');"));

    EXPECT_TRUE(js(QStringLiteral("JSObject.SLOT_releaseTCevents()")).toBool());

    const ConnectLib::TCData device = record(7, QStringLiteral("V650"));
    m_bridge->SLOT_tcAppeared(device);
    m_bridge->SLOT_tcIdling(device);
    m_bridge->SLOT_tcBatteryStatus(device, 50);
    m_bridge->SLOT_tcDisappeared(device);
    emit m_bridge->SIGNAL_announceDorvane();
    m_bridge->SLOT_Removed_Dorvane();
    m_bridge->SLOT_readFromLocalDone(ConnectLib::OK, QString());
    for (const char* event : events) {
        EXPECT_EQ(js(QStringLiteral("Stub.calls.%0.length").arg(QLatin1String(event))).toInt(), 0)
            << event;
    }
    // Other signals keep their handlers.
    EXPECT_EQ(js(QStringLiteral("Stub.calls.SIGNAL_fileRead.length")).toInt(), 1);
}

// The progress page's functions, recording what the bridge runs.
void installProgressPage(QWebFrame* frame)
{
    evalJs(frame,
           QStringLiteral("Stub.bars = []; Stub.texts = [];"
                          "window.updateProgressbarStatus = function (name, a, b, percent, c) {"
                          "  Stub.bars.push(percent); };"
                          "App.Common.setText = function (id, key) { Stub.texts.push(key); };"));
}

TEST_F(DeviceEvents, WriteProgressShowsEachWholePercentOnce)
{
    installProgressPage(frame());
    // An empty file: total 0.
    m_bridge->SLOT_fileWriteProgress(0, 0);
    EXPECT_EQ(js(QStringLiteral("JSON.stringify([Stub.bars, Stub.texts])")).toString(),
              QStringLiteral("[[0],[\"filewrite_waitingrestart\"]]"));

    js(QStringLiteral("Stub.bars = []; Stub.texts = [];"));
    for (const int progress : {0, 0, 1000, 1500, 1999, 2000, 99999, 100000, 100000})
        m_bridge->SLOT_fwUpdateProgress(progress, 100000);
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.bars)")).toString(),
              QStringLiteral("[0,0,1,2,99,100,100]"));
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.texts)")).toString(),
              QStringLiteral("[\"fwupdate_updating\",\"fwupdate_updating\",\"fwupdate_updating\","
                             "\"fwupdate_updating\",\"fwupdate_updating\","
                             "\"fwupdate_waitingrestart\",\"fwupdate_waitingrestart\"]"));

    // The two kinds keep their own last percent.
    js(QStringLiteral("Stub.bars = []; Stub.texts = [];"));
    m_bridge->SLOT_fileWriteProgress(50, 100);
    m_bridge->SLOT_fwUpdateProgress(50, 100);
    m_bridge->SLOT_fileWriteProgress(50, 100);
    EXPECT_EQ(js(QStringLiteral("JSON.stringify([Stub.bars, Stub.texts])")).toString(),
              QStringLiteral("[[50,50],[\"filewrite_updating\",\"fwupdate_updating\"]]"));
}

TEST_F(DeviceEvents, ALanguageCopyShowsNoMessageTexts)
{
    installProgressPage(frame());
    m_device->langsCopyOngoing = true;
    m_bridge->SLOT_fwUpdateProgress(10, 100);
    m_bridge->SLOT_fileWriteProgress(100, 100);
    EXPECT_EQ(js(QStringLiteral("JSON.stringify([Stub.bars, Stub.texts])")).toString(),
              QStringLiteral("[[10,100],[]]"));
}

TEST_F(DeviceEvents, CancelsBeforeAnyDownloadDoNothing)
{
    m_bridge->SLOT_cancelFWDownload(ConnectLib::TC_CONNECTION_LOST);
    m_bridge->SLOT_cancelFileDownload(ConnectLib::DISK_FULL);
    EXPECT_EQ(m_device->fwCancelFlags, ConnectLib::CPStateFlags(ConnectLib::OK));
    EXPECT_EQ(m_device->fileCancelFlags, ConnectLib::CPStateFlags(ConnectLib::OK));
    EXPECT_TRUE(m_device->fwDownloadAborted);
    EXPECT_TRUE(m_device->fileDownloadAborted);
    EXPECT_FALSE(m_log.contains(QStringLiteral("abort")));
    EXPECT_TRUE(m_signals->emissions().isEmpty());
}

struct CancelRow {
    const char* name;
    void (JsObject::*cancel)(ConnectLib::CPStateFlags);
    QPointer<QNetworkReply> DeviceBridge::*reply;
    bool DeviceBridge::*aborted;
    bool DeviceBridge::*deleted;
    ConnectLib::CPStateFlags DeviceBridge::*flags;
    const char* logLine;
};

// A download the server never answers, cancelled: the completion that the
// abort reports at once already sees the cancel and its cause.
TEST_F(DeviceEvents, ACancelIsSeenByTheCompletionItCauses)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QNetworkAccessManager manager;
    const CancelRow rows[] = {
        {"firmware", &JsObject::SLOT_cancelFWDownload, &DeviceBridge::_fwUpdateReply,
         &DeviceBridge::fwDownloadAborted, &DeviceBridge::fwUpdateReplyDeleted,
         &DeviceBridge::fwCancelFlags, "SLOT_cancelFWDownload: abort _fwUpdateReply"},
        {"file", &JsObject::SLOT_cancelFileDownload, &DeviceBridge::_fileDownloadReply,
         &DeviceBridge::fileDownloadAborted, &DeviceBridge::fileDownloadReplyDeleted,
         &DeviceBridge::fileCancelFlags, "SLOT_cancelFileDownload: abort _fileDownloadReply"},
    };
    for (const CancelRow& row : rows) {
        SCOPED_TRACE(row.name);
        QNetworkReply* reply = manager.get(QNetworkRequest(
            QUrl(QStringLiteral("http://127.0.0.1:%0/fw.zip").arg(server.serverPort()))));
        m_device->*row.reply = reply;
        m_device->*row.aborted = false;
        m_device->*row.deleted = false;
        m_device->*row.flags = ConnectLib::GENERAL_ERROR;
        bool sawCancel = false;
        ConnectLib::CPStateFlags seenFlags;
        QObject::connect(reply, &QNetworkReply::finished, [&] {
            sawCancel = m_device->*row.aborted;
            seenFlags = m_device->*row.flags;
        });
        ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return server.hasPendingConnections(); }));
        ASSERT_TRUE(reply->isRunning());

        (m_bridge.get()->*row.cancel)(ConnectLib::DISK_FULL);

        EXPECT_TRUE(reply->isFinished());
        EXPECT_TRUE(sawCancel);
        EXPECT_EQ(seenFlags, ConnectLib::CPStateFlags(ConnectLib::DISK_FULL));
        EXPECT_TRUE(m_log.contains(QLatin1String(row.logLine)));
        // A second cancel changes nothing.
        (m_bridge.get()->*row.cancel)(ConnectLib::TC_CONNECTION_LOST);
        EXPECT_EQ(m_device->*row.flags, ConnectLib::CPStateFlags(ConnectLib::DISK_FULL));
        reply->deleteLater();
    }
}

} // namespace
} // namespace RavoSync::Test
