// Firmware archive downloads through the fake web service: accepted
// addresses, the archive handed to the synchroniser byte for byte, failures
// with their flags, cancels, cut and stalled bodies, and the progress bar.
#include "tests/app/bridge/download_fixture.h"

#include "app/bridge/download_rules.h"
#include "connectlib/common/common.h"
#include "tests/app/support/small_file_system.h"
#include "tests/support/param_name.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

using ConnectLib::Common;
using RavoSync::Test::DownloadTest;
using RavoSync::Test::FakeWeb;

const QString fwBase = QStringLiteral("https://www.ravo.test/firmware/");

struct AddressCase {
    const char* url;
    bool accepted;
};

void PrintTo(const AddressCase& c, std::ostream* os)
{
    *os << c.url;
}

class FirmwareAddress : public DownloadTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(FirmwareAddress, OnlyHttpsZipAddressesAreRequested)
{
    const QString url = QString::fromLatin1(GetParam().url);
    m_web->setRoutes({rule(QStringLiteral("*"), {{QStringLiteral("hang"), true}})});
    EXPECT_EQ(m_bridge->SLOT_downloadFirmware(url), GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_TRUE(m_web->waitForRequest([](const RavoSync::Test::FakeRequest& r) {
            return r.path.startsWith(QStringLiteral("/firmware/"));
        }));
    } else {
        EXPECT_TRUE(m_log.contains(QStringLiteral("Update url not in accepted format: ") + url));
        ConnectLib::Test::processFor(50);
        EXPECT_TRUE(m_web->requests().isEmpty());
        EXPECT_EQ(answers(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FirmwareAddress,
    ::testing::Values(AddressCase{"https://www.ravo.test/firmware/X.ZIP", true},
                      AddressCase{"https://www.ravo.test/firmware/x.zip", true},
                      AddressCase{"https://www.ravo.test/firmware/x.zip?x=1", false},
                      AddressCase{"http://www.ravo.test/firmware/x.zip", false},
                      AddressCase{"HTTPS://www.ravo.test/firmware/x.zip", false},
                      AddressCase{"https://www.ravo.test/firmware/x.bin", false},
                      AddressCase{"file:///tmp/x.zip", false},
                      AddressCase{"file://localhost/tmp/x.zip", false},
                      AddressCase{"https:///x.zip", false}),
    zarvo::test::printed_name());

QByteArray archiveBytes()
{
    // A zip's local header, then bytes of every value.
    QByteArray bytes("PK\x03\x04", 4);
    bytes += FakeWeb::deterministicBody(300000);
    return bytes;
}

struct OutcomeCase {
    const char* name;
    // Extra keys of the archive's rule.
    std::function<QJsonObject()> rule;
    // Expected flags text of SIGNAL_fail; empty: the archive is handed on.
    const char* flags;
    // Seconds of silence that end the download (0: the default).
    int timeoutSeconds = 0;
    // Cancel with TC_CONNECTION_LOST once the first bytes arrived.
    bool cancel = false;
};

void PrintTo(const OutcomeCase& c, std::ostream* os)
{
    *os << c.name;
}

class FirmwareOutcome : public DownloadTest, public ::testing::WithParamInterface<OutcomeCase> {
protected:
    void TearDown() override
    {
        Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString());
        DownloadTest::TearDown();
    }
};

TEST_P(FirmwareOutcome, EndsInTheArchiveOrOneFailure)
{
    const OutcomeCase& c = GetParam();
    if (c.timeoutSeconds)
        Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString::number(c.timeoutSeconds));
    QJsonObject route = c.rule();
    route.insert(QStringLiteral("path"), QStringLiteral("/firmware/X.ZIP"));
    m_web->setRoutes({route});

    ASSERT_TRUE(m_bridge->SLOT_downloadFirmware(fwBase + QStringLiteral("X.ZIP")));
    if (c.cancel) {
        // Qt reports progress at most every 300 ms: the request having
        // arrived, the reply is mid-transfer, its first bytes sent and the
        // rest held back.
        ASSERT_TRUE(m_web->waitForRequest([](const RavoSync::Test::FakeRequest&) { return true; }));
        ConnectLib::Test::processFor(200);
        m_bridge->SLOT_cancelFWDownload(ConnectLib::TC_CONNECTION_LOST);
    }
    ASSERT_TRUE(waitForAnswers(1));
    ConnectLib::Test::processFor(50);
    EXPECT_EQ(answers(), 1);
    if (QString::fromLatin1(c.flags).isEmpty()) {
        const QList<QVariantList> written =
            emitted(QStringLiteral("SIGNAL_writeFWFileToAbsolutePath"));
        ASSERT_EQ(written.size(), 1) << failFlags().toStdString();
        EXPECT_EQ(written[0][0].toString(),
                  Common::getFWUpdateDataPath() + QStringLiteral("/X.ZIP"));
        EXPECT_EQ(written[0][1].toByteArray(), archiveBytes());
        EXPECT_EQ(emitted(QStringLiteral("SIGNAL_resizeView")).size(), 1);
    } else {
        EXPECT_EQ(failFlags(), QString::fromLatin1(c.flags));
    }
    // The download is over: a late cancel changes nothing.
    m_signals->clear();
    m_bridge->SLOT_cancelFWDownload(ConnectLib::DISK_FULL);
    ConnectLib::Test::processFor(50);
    EXPECT_TRUE(m_signals->emissions().isEmpty());
    EXPECT_FALSE(m_log.contains(QStringLiteral("SLOT_cancelFWDownload: abort _fwUpdateReply")) &&
                 !c.cancel);
}

QJsonObject archive(std::initializer_list<QPair<QString, QJsonValue>> keys = {})
{
    QJsonObject object{
        {QStringLiteral("bodyBase64"), QString::fromLatin1(archiveBytes().toBase64())}};
    for (const auto& key : keys)
        object.insert(key.first, key.second);
    return object;
}

// A redirect answer with its small HTML page (304 carries none).
QJsonObject redirectPage(int status)
{
    return QJsonObject{
        {QStringLiteral("status"), status},
        {QStringLiteral("headers"),
         QJsonObject{{QStringLiteral("Location"), QStringLiteral("https://www.ravo.test/moved")}}},
        {QStringLiteral("body"), status == 304 ? QString() : QStringLiteral("<html>moved</html>")}};
}

INSTANTIATE_TEST_SUITE_P(
    Table, FirmwareOutcome,
    ::testing::Values(OutcomeCase{"whole", [] { return archive(); }, ""},
                      OutcomeCase{"chunked",
                                  [] {
                                      return archive({{QStringLiteral("chunked"), true}});
                                  },
                                  ""},
                      OutcomeCase{"not_found",
                                  [] {
                                      return archive({{QStringLiteral("status"), 404}});
                                  },
                                  "INVALID_CONTENT, FW_UPDATE_FAILED"},
                      OutcomeCase{"cut_short",
                                  [] {
                                      return archive({{QStringLiteral("cutAfter"), 1000}});
                                  },
                                  "INVALID_CONTENT, FW_UPDATE_FAILED"},
                      // A redirect's page is never the archive.
                      OutcomeCase{"moved_301", [] { return redirectPage(301); },
                                  "INVALID_CONTENT, FW_UPDATE_FAILED"},
                      OutcomeCase{"found_302", [] { return redirectPage(302); },
                                  "INVALID_CONTENT, FW_UPDATE_FAILED"},
                      OutcomeCase{"not_modified_304", [] { return redirectPage(304); },
                                  "INVALID_CONTENT, FW_UPDATE_FAILED"},
                      OutcomeCase{"stalled",
                                  [] {
                                      return archive({{QStringLiteral("stallAfter"), 1000}});
                                  },
                                  "INVALID_CONTENT, FW_UPDATE_FAILED", 1},
                      OutcomeCase{"silent",
                                  [] {
                                      return archive({{QStringLiteral("hang"), true}});
                                  },
                                  "INVALID_CONTENT, FW_UPDATE_FAILED", 1},
                      OutcomeCase{"cancelled",
                                  [] {
                                      return archive({{QStringLiteral("stallAfter"), 1000}});
                                  },
                                  "TC_CONNECTION_LOST, FW_UPDATE_FAILED", 0, true}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

// The window closes while an archive from the content server is on its way:
// whatever the answer, no dialog opens over the closing window and nothing
// goes to the disk (no page is left to judge the answer).
class FirmwareAfterClose : public DownloadTest,
                           public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(FirmwareAfterClose, OpensNoDialogAndWritesNothing)
{
    const OutcomeCase& c = GetParam();
    QJsonObject route = c.rule();
    route.insert(QStringLiteral("path"), QStringLiteral("/contentserver/fw/X.ZIP"));
    // Time for the window to close between the request and its answer.
    route.insert(QStringLiteral("delayMs"), 1500);
    m_web->setRoutes({route});
    const QString folder = Common::getFWUpdateDataPath();
    ASSERT_TRUE(m_bridge->SLOT_downloadFirmware(
        QStringLiteral("https://content.ravo.test/contentserver/fw/X.ZIP")));
    ASSERT_TRUE(m_web->waitForRequest([](const RavoSync::Test::FakeRequest& request) {
        return request.path == QStringLiteral("/contentserver/fw/X.ZIP");
    }));
    m_bridge->SLOT_close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The bridge outlives its window and answers once.
    ASSERT_TRUE(waitForAnswers(1));
    ConnectLib::Test::processFor(100);
    EXPECT_EQ(answers(), 1);
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_showOfflineDialog")).isEmpty());
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_writeFWFileToAbsolutePath")).isEmpty());
    EXPECT_FALSE(m_stub->callNames().contains(QStringLiteral("writeFWFileToAbsolutePath")));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/X.ZIP")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FirmwareAfterClose,
    ::testing::Values(OutcomeCase{"server_error",
                                  [] {
                                      return archive({{QStringLiteral("status"), 500}});
                                  },
                                  ""},
                      OutcomeCase{"cut_short",
                                  [] {
                                      return archive({{QStringLiteral("cutAfter"), 1000}});
                                  },
                                  ""},
                      OutcomeCase{"whole", [] { return archive(); }, ""}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

// The page's verdict on one archive may start the next download: each ends
// in its own answer, whole.
TEST_F(DownloadTest, AVerdictStartingTheNextDownloadLeavesBothWhole)
{
    QJsonObject route = archive();
    route.insert(QStringLiteral("path"), QStringLiteral("/firmware/*"));
    m_web->setRoutes({route});
    js(QStringLiteral("var judged = App.Common.parseRemoteReply; var started = false;"
                      "App.Common.parseRemoteReply = function (s) {"
                      " if (!started) { started = true; JSObject.SLOT_downloadFirmware('%1'); }"
                      " return judged(s); };")
           .arg(fwBase + QStringLiteral("B.ZIP")));
    ASSERT_TRUE(m_bridge->SLOT_downloadFirmware(fwBase + QStringLiteral("A.ZIP")));
    ASSERT_TRUE(waitForAnswers(2)) << answers();
    const QList<QVariantList> written = emitted(QStringLiteral("SIGNAL_writeFWFileToAbsolutePath"));
    ASSERT_EQ(written.size(), 2) << failFlags().toStdString();
    EXPECT_EQ(written[0][0].toString(), Common::getFWUpdateDataPath() + QStringLiteral("/A.ZIP"));
    EXPECT_EQ(written[1][0].toString(), Common::getFWUpdateDataPath() + QStringLiteral("/B.ZIP"));
    for (const QVariantList& arguments : written)
        EXPECT_EQ(arguments[1].toByteArray(), archiveBytes());
}

// A body read whole is ended once it is larger than the cap, whether its
// size was announced or not.
class WholeBodyCap : public DownloadTest, public ::testing::WithParamInterface<bool> {
protected:
    void TearDown() override
    {
        ConnectGlobals::setWholeBodyLimit(0);
        DownloadTest::TearDown();
    }
};

TEST_P(WholeBodyCap, EndsTheFirmwareAndTheWholeFileDownloads)
{
    const bool chunked = GetParam();
    ConnectGlobals::setWholeBodyLimit(100000);
    QJsonObject route = archive({{QStringLiteral("chunked"), chunked}});
    route.insert(QStringLiteral("path"), QStringLiteral("/firmware/*"));
    m_web->setRoutes({route});

    ASSERT_TRUE(m_bridge->SLOT_downloadFirmware(fwBase + QStringLiteral("BIG.ZIP")));
    ASSERT_TRUE(waitForAnswers(1));
    EXPECT_EQ(failFlags(), QStringLiteral("INVALID_CONTENT, FW_UPDATE_FAILED"));
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_writeFWFileToAbsolutePath")).isEmpty());

    ASSERT_TRUE(m_bridge->SLOT_downloadFile(
        fwBase + QStringLiteral("big.bin"), QStringLiteral("GET"),
        QStringLiteral("application/x-other"), QStringLiteral("*/*"), QStringLiteral("false")));
    ASSERT_TRUE(waitForAnswers(2));
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_fileRead")).isEmpty());
    EXPECT_EQ(m_log.lines().filter(QStringLiteral("Download too large (")).size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Table, WholeBodyCap, ::testing::Bool(), zarvo::test::printed_name());

// A body larger than the free space of the folder it goes to is ended as
// soon as its size is known, and nothing is handed on. Run in a child of
// this program whose working folder lies on a file system of 1 MiB.
class SmallDisk : public DownloadTest {
protected:
    void SetUp() override
    {
        if (RavoSync::Test::smallFileSystem().isEmpty())
            GTEST_SKIP() << "runs in SmallFileSystem.FirmwareArchives";
        DownloadTest::SetUp();
        // The fake web service keeps its own folders where they were.
        m_tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(RavoSync::Test::smallFileSystem()));
    }
    void TearDown() override
    {
        if (!m_tmpdir.isNull())
            qputenv("TMPDIR", m_tmpdir);
        DownloadTest::TearDown();
    }
    QByteArray m_tmpdir;
};

TEST_F(SmallDisk, AnArchiveLargerThanTheFreeSpaceIsEnded)
{
    const QString folder = Common::getFWUpdateDataPath();
    ASSERT_TRUE(folder.startsWith(RavoSync::Test::smallFileSystem())) << folder.toStdString();
    const int size = 2 * 1048576;
    ASSERT_LT(QStorageInfo(folder).bytesAvailable(), size);
    QJsonObject route{{QStringLiteral("path"), QStringLiteral("/firmware/*")},
                      {QStringLiteral("bodySize"), size}};
    m_web->setRoutes({route});

    ASSERT_TRUE(m_bridge->SLOT_downloadFirmware(fwBase + QStringLiteral("HUGE.ZIP")));
    ASSERT_TRUE(waitForAnswers(1));
    EXPECT_EQ(failFlags(), QStringLiteral("INVALID_CONTENT, FW_UPDATE_FAILED"));
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_writeFWFileToAbsolutePath")).isEmpty());
    EXPECT_TRUE(m_log.contains(QStringLiteral(" free in ") + folder));
}

TEST(SmallFileSystem, FirmwareArchives)
{
    RavoSync::Test::runOnSmallFileSystem(QStringLiteral("SmallDisk.*"), 1048576);
}

TEST_F(DownloadTest, CancelBeforeAnyDownloadDoesNothing)
{
    m_bridge->SLOT_cancelFWDownload(ConnectLib::TC_CONNECTION_LOST);
    m_bridge->SLOT_cancelFileDownload(ConnectLib::TC_CONNECTION_LOST);
    ConnectLib::Test::processFor(50);
    EXPECT_TRUE(m_signals->emissions().isEmpty());
}

TEST_F(DownloadTest, FirmwareRequestCarriesItsHeaders)
{
    Common::setSettingsValue(QStringLiteral("language"), QStringLiteral("fi"));
    m_bridge->SLOT_saveVariable(QStringLiteral("login_api_encoded_key"), QStringLiteral("a2V5"));
    m_web->setRoutes({rule(QStringLiteral("/firmware/*"), {{QStringLiteral("hang"), true}})});
    ASSERT_TRUE(m_bridge->SLOT_downloadFirmware(fwBase + QStringLiteral("h.zip")));
    RavoSync::Test::FakeRequest request;
    ASSERT_TRUE(m_web->waitForRequest([](const RavoSync::Test::FakeRequest&) { return true; },
                                      20000, &request));
    EXPECT_EQ(request.method, QStringLiteral("GET"));
    EXPECT_EQ(request.scheme, QStringLiteral("https"));
    EXPECT_EQ(request.header(QStringLiteral("Accept")), QStringLiteral("application/octet-stream"));
    EXPECT_EQ(request.header(QStringLiteral("Content-Type")),
              QStringLiteral("application/octet-stream"));
    EXPECT_EQ(request.header(QStringLiteral("Accept-Language")), QStringLiteral("fi"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Firmware update loading started.")));
    Common::setSettingsValue(QStringLiteral("language"), QString());
}

// The firmware download's progress: percent 0 for an empty total, the
// running bar (-1) for an unknown one, and one script per whole percent.
struct ProgressCase {
    const char* name;
    QList<QPair<qint64, qint64>> reports;
    QList<int> bars;
};

void PrintTo(const ProgressCase& c, std::ostream* os)
{
    *os << c.name;
}

class FirmwareProgress : public DownloadTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(FirmwareProgress, OneScriptPerWholePercent)
{
    m_web->setRoutes({rule(QStringLiteral("/firmware/*"), {{QStringLiteral("hang"), true}})});
    ASSERT_TRUE(m_bridge->SLOT_downloadFirmware(fwBase + QStringLiteral("p.zip")));
    for (const auto& report : GetParam().reports)
        m_bridge->SLOT_downloadProgress(report.first, report.second);
    QList<int> bars;
    for (const QVariant& bar : js(QStringLiteral("Stub.bars")).toList())
        bars.append(bar.toInt());
    EXPECT_EQ(bars, GetParam().bars);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Bytes received: ")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FirmwareProgress,
    ::testing::Values(
        ProgressCase{"empty_total", {{0, 0}, {0, 0}}, {0}},
        ProgressCase{"unknown_total", {{0, -1}, {4096, -1}, {9000, -1}}, {-1}},
        ProgressCase{
            "within_a_percent",
            {{0, 1000}, {1, 1000}, {9, 1000}, {10, 1000}, {15, 1000}, {999, 1000}, {1000, 1000}},
            {0, 1, 99, 100}}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) { return info.param.name; });

TEST_F(DownloadTest, ProgressWithoutADownloadIsIgnored)
{
    m_bridge->SLOT_downloadProgress(10, 100);
    m_bridge->SLOT_fileDownloadProgress(10, 100);
    EXPECT_EQ(js(QStringLiteral("Stub.bars.length + Stub.statuses.length")).toInt(), 0);
}

} // namespace
