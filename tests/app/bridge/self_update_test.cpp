// The program's own update through the fake content delivery: libraries in
// list order, then the installer, all saved byte-exact in the private
// self-update folder; refusals, failures and foreign replies.
#include "tests/app/bridge/web_fixture.h"

#include "connectlib/common/common.h"
#include "tests/app/support/small_file_system.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/support/param_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

using ConnectLib::Common;
using RavoSync::Test::FakeRequest;
using RavoSync::Test::FakeWeb;
using RavoSync::Test::WebBridgeTest;

using ConnectLib::Test::filesBelow;
using ConnectLib::Test::readBytes;

const QString cdnBase = QStringLiteral("https://cdn.ravo.test/rs/1.2");

class SelfUpdate : public WebBridgeTest {
protected:
    void SetUp() override
    {
        WebBridgeTest::SetUp();
        m_folder = Common::getSelfUpdateDataPath();
        ASSERT_FALSE(m_folder.isEmpty());
        ASSERT_TRUE(Common::deleteLocalDirectory(m_folder));
        m_folder = Common::getSelfUpdateDataPath();
        ASSERT_FALSE(m_folder.isEmpty());
        // The hand-over to the controller.
        m_installed = std::make_unique<QSignalSpy>(
            m_bridge->requests(), &BridgeRequests::SIGNAL_ravoSyncInstallerDownloadDone);
        // The progress page's message, as the page shows it.
        js(QStringLiteral("Stub.texts = []; App.Common.setText = function (id, key, args) {"
                          " Stub.texts.push(id + ' ' + key + (args ? ' ' + args.join('/') : ''));"
                          " }; updateProgressbarStatus = function () {};"));
        m_web->setRoutes({
            file(QStringLiteral("/rs/1.2/libzarvo.so"), m_lib1),
            file(QStringLiteral("/rs/1.2/libktlib.so"), m_lib2),
            file(QStringLiteral("/rs/1.2/RavoSyncSetup.zip"), m_installer),
        });
    }
    void TearDown() override
    {
        m_installed.reset();
        WebBridgeTest::TearDown();
        Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString());
    }

    static QJsonObject file(const QString& path, const QByteArray& body)
    {
        return rule(path, {{QStringLiteral("host"), QStringLiteral("cdn.ravo.test")},
                           {QStringLiteral("bodyBase64"), QString::fromLatin1(body.toBase64())}});
    }
    // Waits for the update's end: the installer or a failure.
    bool waitForEnd()
    {
        return ConnectLib::Test::processUntil(
            [&] { return m_installed->count() + m_fail->count() > 0; }, 30000);
    }
    QStringList texts() { return js(QStringLiteral("Stub.texts.join('|')")).toString().split('|'); }
    QStringList requestedPaths()
    {
        QStringList paths;
        for (const FakeRequest& request : m_web->requests()) {
            if (request.host == QLatin1String("cdn.ravo.test"))
                paths << request.path;
        }
        return paths;
    }

    QString m_folder;
    const QByteArray m_lib1 = FakeWeb::deterministicBody(300000);
    const QByteArray m_lib2 = QByteArray("\x00\x7f\xff lib", 7);
    const QByteArray m_installer = FakeWeb::deterministicBody(70001);
    std::unique_ptr<QSignalSpy> m_installed;
};

TEST_F(SelfUpdate, LibrariesInOrderThenTheInstallerWithoutCredentials)
{
    ASSERT_TRUE(m_bridge->SLOT_updateRavoSync(
        cdnBase + QLatin1Char('/'), QStringLiteral("RavoSyncSetup.zip"),
        {QStringLiteral("libzarvo.so"), QStringLiteral("libktlib.so")}));
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(m_fail->count(), 0) << m_fail->first().at(1).toString().toStdString();
    ASSERT_EQ(m_installed->count(), 1);
    EXPECT_EQ(m_installed->first().at(0).toString(),
              m_folder + QStringLiteral("/RavoSyncSetup.zip"));
    EXPECT_EQ(m_installed->first().at(1).toString(), cdnBase);

    EXPECT_EQ(texts(), (QStringList{
                           QStringLiteral("progress_syncmessage ktupdate_downloading 1/3"),
                           QStringLiteral("progress_syncmessage ktupdate_downloading 2/3"),
                           QStringLiteral("progress_syncmessage ktupdate_downloading 3/3"),
                           QStringLiteral("progress_syncmessage ktupdate_installing"),
                       }));
    EXPECT_EQ(filesBelow(m_folder),
              (QStringList{QStringLiteral("RavoSyncSetup.zip"), QStringLiteral("libktlib.so"),
                           QStringLiteral("libzarvo.so")}));
    EXPECT_EQ(readBytes(m_folder + QStringLiteral("/libzarvo.so")), m_lib1);
    EXPECT_EQ(readBytes(m_folder + QStringLiteral("/libktlib.so")), m_lib2);
    EXPECT_EQ(readBytes(m_folder + QStringLiteral("/RavoSyncSetup.zip")), m_installer);

    EXPECT_EQ(requestedPaths(), (QStringList{QStringLiteral("/rs/1.2/libzarvo.so"),
                                             QStringLiteral("/rs/1.2/libktlib.so"),
                                             QStringLiteral("/rs/1.2/RavoSyncSetup.zip")}));
    for (const FakeRequest& request : m_web->requests()) {
        if (request.host != QLatin1String("cdn.ravo.test"))
            continue;
        EXPECT_FALSE(request.hasHeader(QStringLiteral("Authorization")))
            << request.path.toStdString();
        EXPECT_EQ(request.scheme, QStringLiteral("https"));
        EXPECT_EQ(request.header(QStringLiteral("Accept")),
                  QStringLiteral("application/octet-stream"));
    }
}

TEST_F(SelfUpdate, ASecondUpdateWithoutLibrariesReusesTheFirstList)
{
    ASSERT_TRUE(m_bridge->SLOT_updateRavoSync(cdnBase, QStringLiteral("RavoSyncSetup.zip"),
                                              {QStringLiteral("libktlib.so")}));
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(m_installed->count(), 1);
    m_installed->clear();
    ASSERT_TRUE(QFile::remove(m_folder + QStringLiteral("/libktlib.so")));

    for (const QStringList& libs : {QStringList(), QStringList{QString()}}) {
        m_installed->clear();
        ASSERT_TRUE(
            m_bridge->SLOT_updateRavoSync(cdnBase, QStringLiteral("RavoSyncSetup.zip"), libs));
        ASSERT_TRUE(waitForEnd());
        ASSERT_EQ(m_installed->count(), 1);
        EXPECT_EQ(readBytes(m_folder + QStringLiteral("/libktlib.so")), m_lib2);
    }
    EXPECT_EQ(requestedPaths().count(QStringLiteral("/rs/1.2/libktlib.so")), 3);
    EXPECT_EQ(texts().count(QStringLiteral("progress_syncmessage ktupdate_downloading 1/2")), 3);
}

struct RefusalCase {
    const char* name;
    const char* url;
    const char* filename;
    QStringList libs;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class UpdateRefusals : public SelfUpdate, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(UpdateRefusals, FailWith500AndRequestNothing)
{
    const RefusalCase& c = GetParam();
    // "\0" written as text stands for a NUL character.
    const QString filename =
        QString::fromUtf8(c.filename).replace(QStringLiteral("\\0"), QString(QChar(0)));
    EXPECT_FALSE(m_bridge->SLOT_updateRavoSync(QString::fromUtf8(c.url), filename, c.libs));
    ASSERT_EQ(m_fail->count(), 1);
    EXPECT_EQ(m_fail->first().at(1).toString(), QStringLiteral("500"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Update url not in accepted format: ")));
    // Anything started would have reached the fake by now: the page's own
    // requests are done and a refused update asks for nothing.
    QCoreApplication::processEvents();
    EXPECT_TRUE(requestedPaths().isEmpty());
    EXPECT_EQ(m_installed->count(), 0);
    EXPECT_TRUE(filesBelow(m_folder).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateRefusals,
    ::testing::Values(
        RefusalCase{"wrongExtension", "https://cdn.ravo.test/rs", "RavoSyncSetup.run", {}},
        RefusalCase{"noExtension", "https://cdn.ravo.test/rs", "zip", {}},
        RefusalCase{"httpBase", "http://cdn.ravo.test/rs", "RavoSyncSetup.zip", {}},
        RefusalCase{"upperCaseScheme", "HTTPS://cdn.ravo.test/rs", "RavoSyncSetup.zip", {}},
        RefusalCase{"fileBase", "file:///tmp", "RavoSyncSetup.zip", {}},
        RefusalCase{"climbingInstaller", "https://cdn.ravo.test/rs", "../../x.zip", {}},
        RefusalCase{"installerInAFolder", "https://cdn.ravo.test/rs", "a/b.zip", {}},
        RefusalCase{"installerWithBackslash", "https://cdn.ravo.test/rs", "a\\b.zip", {}},
        RefusalCase{"installerWithNul", "https://cdn.ravo.test/rs", "a\\0b.zip", {}},
        RefusalCase{"libraryWithNul",
                    "https://cdn.ravo.test/rs",
                    "RavoSyncSetup.zip",
                    {QStringLiteral("libzarvo.so"),
                     QStringLiteral("a") + QChar(0) + QStringLiteral("b.so")}},
        RefusalCase{"libraryInAFolder",
                    "https://cdn.ravo.test/rs",
                    "RavoSyncSetup.zip",
                    {QStringLiteral("libzarvo.so"), QStringLiteral("a/b.so")}},
        RefusalCase{"climbingLibrary",
                    "https://cdn.ravo.test/rs",
                    "RavoSyncSetup.zip",
                    {QStringLiteral("../../libx.so")}},
        RefusalCase{"emptyLaterLibrary",
                    "https://cdn.ravo.test/rs",
                    "RavoSyncSetup.zip",
                    {QStringLiteral("libzarvo.so"), QString()}},
        RefusalCase{"dotDotLibrary",
                    "https://cdn.ravo.test/rs",
                    "RavoSyncSetup.zip",
                    {QStringLiteral("..")}}),
    zarvo::test::printed_name());

struct FailureCase {
    const char* name;
    QJsonObject libraryRule; // the answer for "libktlib.so" (host and path added)
    const char* nwreqtimer;
    const char* flags;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class UpdateFailures : public SelfUpdate, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UpdateFailures, EndTheUpdateWithoutAnInstallerOrAPartialFile)
{
    const FailureCase& c = GetParam();
    Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString::fromUtf8(c.nwreqtimer));
    QJsonObject failing = c.libraryRule;
    failing.insert(QStringLiteral("host"), QStringLiteral("cdn.ravo.test"));
    failing.insert(QStringLiteral("path"), QStringLiteral("/rs/1.2/libktlib.so"));
    m_web->setRoutes({file(QStringLiteral("/rs/1.2/libzarvo.so"), m_lib1), failing,
                      file(QStringLiteral("/rs/1.2/RavoSyncSetup.zip"), m_installer)});

    ASSERT_TRUE(m_bridge->SLOT_updateRavoSync(
        cdnBase, QStringLiteral("RavoSyncSetup.zip"),
        {QStringLiteral("libzarvo.so"), QStringLiteral("libktlib.so")}));
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(m_fail->count(), 1);
    EXPECT_EQ(m_fail->first().at(1).toString(), QString::fromUtf8(c.flags));
    EXPECT_EQ(m_installed->count(), 0);
    EXPECT_EQ(filesBelow(m_folder), QStringList{QStringLiteral("libzarvo.so")});
    EXPECT_FALSE(requestedPaths().contains(QStringLiteral("/rs/1.2/RavoSyncSetup.zip")));
}

// A redirect answer's keys, with a page but for 304.
QJsonObject redirectRule(int status)
{
    QJsonObject rule{
        {QStringLiteral("status"), status},
        {QStringLiteral("headers"),
         QJsonObject{{QStringLiteral("Location"), QStringLiteral("https://cdn.ravo.test/moved")}}}};
    if (status != 304)
        rule.insert(QStringLiteral("body"), QStringLiteral("<html>moved</html>"));
    return rule;
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateFailures,
    ::testing::Values(FailureCase{"notFound", QJsonObject{{QStringLiteral("status"), 404}}, "",
                                  "404"},
                      // A redirect's page is never the file.
                      FailureCase{"moved301", redirectRule(301), "", "301"},
                      FailureCase{"found302", redirectRule(302), "", "302"},
                      FailureCase{"notModified304", redirectRule(304), "", "304"},
                      FailureCase{"cutShort",
                                  QJsonObject{{QStringLiteral("bodySize"), 100000},
                                              {QStringLiteral("cutAfter"), 5000}},
                                  "", "0"},
                      FailureCase{"stalled",
                                  QJsonObject{{QStringLiteral("bodySize"), 100000},
                                              {QStringLiteral("trickle"),
                                               QJsonObject{{QStringLiteral("bytes"), 1000},
                                                           {QStringLiteral("intervalMs"), 60000}}}},
                                  "1", "0"}),
    zarvo::test::printed_name());

TEST_F(SelfUpdate, AnInstallerThatCannotBeWrittenFailsAsAFileOperation)
{
    // A folder holds the installer's name.
    ASSERT_TRUE(QDir(m_folder).mkpath(QStringLiteral("RavoSyncSetup.zip/inside")));
    ASSERT_TRUE(m_bridge->SLOT_updateRavoSync(cdnBase, QStringLiteral("RavoSyncSetup.zip"), {}));
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(m_fail->count(), 1);
    EXPECT_EQ(m_fail->first().at(1).toString(), QStringLiteral("FILE_OPERATION_FAILED"));
    EXPECT_EQ(m_installed->count(), 0);
    EXPECT_TRUE(m_log.contains(QStringLiteral("could not open file: RavoSyncSetup.zip")));
}

// The download manager is shared: a firmware archive must never be saved as
// a library or as the installer, whether it runs beside the update or after.
TEST_F(SelfUpdate, FirmwareDownloadsBesideAndAfterAnUpdateReachOnlyTheFirmwareHandler)
{
    const QByteArray archive = FakeWeb::deterministicBody(50000);
    m_web->setRoutes({
        file(QStringLiteral("/fw/ZARVO_2_0_0.ZIP"), archive),
        rule(QStringLiteral("/rs/1.2/libzarvo.so"),
             {{QStringLiteral("host"), QStringLiteral("cdn.ravo.test")},
              {QStringLiteral("delayMs"), 1500},
              {QStringLiteral("bodyBase64"), QString::fromLatin1(m_lib1.toBase64())}}),
        file(QStringLiteral("/rs/1.2/RavoSyncSetup.zip"), m_installer),
    });
    const auto firmwareStored = [this] {
        return m_stub->callNames().count(QStringLiteral("writeFWFileToAbsolutePath"));
    };

    ASSERT_TRUE(m_bridge->SLOT_updateRavoSync(cdnBase, QStringLiteral("RavoSyncSetup.zip"),
                                              {QStringLiteral("libzarvo.so")}));
    ASSERT_TRUE(m_bridge->SLOT_downloadFirmware(
        QStringLiteral("https://cdn.ravo.test/fw/ZARVO_2_0_0.ZIP")));
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(m_installed->count(), 1);
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return firmwareStored() == 1; }, 20000));

    ASSERT_TRUE(m_bridge->SLOT_downloadFirmware(
        QStringLiteral("https://cdn.ravo.test/fw/ZARVO_2_0_0.ZIP")));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return firmwareStored() == 2; }, 20000));
    QCoreApplication::processEvents();

    EXPECT_EQ(m_installed->count(), 1);
    EXPECT_EQ(m_fail->count(), 0);
    EXPECT_EQ(filesBelow(m_folder),
              (QStringList{QStringLiteral("RavoSyncSetup.zip"), QStringLiteral("libzarvo.so")}));
    EXPECT_EQ(readBytes(m_folder + QStringLiteral("/libzarvo.so")), m_lib1);
    EXPECT_EQ(readBytes(m_folder + QStringLiteral("/RavoSyncSetup.zip")), m_installer);
    for (const auto& call : m_stub->calls()) {
        if (call.name == QLatin1String("writeFWFileToAbsolutePath")) {
            EXPECT_EQ(call.arguments.value(1).toByteArray(), archive);
        }
    }
}

TEST_F(SelfUpdate, WithoutAPrivateFolderNothingIsRequested)
{
    // Qt names no temporary folder for a TMPDIR that does not exist.
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(QDir::tempPath() + QStringLiteral("/missing")));
    const bool started = m_bridge->SLOT_updateRavoSync(cdnBase, QStringLiteral("RavoSyncSetup.zip"),
                                                       {QStringLiteral("libzarvo.so")});
    qputenv("TMPDIR", saved);
    EXPECT_FALSE(started);
    ASSERT_EQ(m_fail->count(), 1);
    EXPECT_EQ(m_fail->first().at(1).toString(), QStringLiteral("FILE_OPERATION_FAILED"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(requestedPaths().isEmpty());
}

TEST_F(SelfUpdate, APageCallingTheHandlersChangesNothing)
{
    m_bridge->SLOT_ravoSyncUpdateFirmwareReceived(nullptr);
    m_bridge->SLOT_ktInstallerSaved();
    EXPECT_EQ(m_installed->count(), 0);
    EXPECT_EQ(completions(), 0);

    // Nor after an update: its installer was handed on once.
    ASSERT_TRUE(m_bridge->SLOT_updateRavoSync(cdnBase, QStringLiteral("RavoSyncSetup.zip"), {}));
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(m_installed->count(), 1);
    m_bridge->SLOT_ktInstallerSaved();
    EXPECT_EQ(m_installed->count(), 1);
}

// An update file larger than the free space of the self-update folder is
// ended as soon as its size is known: no file, no hand-over. Run in a child
// of this program whose working folder lies on a file system of 1 MiB.
class SmallDiskUpdate : public SelfUpdate {
protected:
    void SetUp() override
    {
        if (RavoSync::Test::smallFileSystem().isEmpty())
            GTEST_SKIP() << "runs in SmallFileSystem.UpdateFiles";
        SelfUpdate::SetUp();
        // The fake web service keeps its own folders where they were.
        m_tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(RavoSync::Test::smallFileSystem()));
    }
    void TearDown() override
    {
        if (!m_tmpdir.isNull())
            qputenv("TMPDIR", m_tmpdir);
        SelfUpdate::TearDown();
    }
    QByteArray m_tmpdir;
};

TEST_F(SmallDiskUpdate, AFileLargerThanTheFreeSpaceIsEnded)
{
    const QString folder = Common::getSelfUpdateDataPath();
    ASSERT_TRUE(folder.startsWith(RavoSync::Test::smallFileSystem())) << folder.toStdString();
    const QByteArray huge = FakeWeb::deterministicBody(2 * 1048576);
    ASSERT_LT(QStorageInfo(folder).bytesAvailable(), huge.size());
    for (const bool library : {true, false}) {
        SCOPED_TRACE(library ? "library" : "installer");
        m_fail->clear();
        m_web->setRoutes(
            {file(QStringLiteral("/rs/1.2/libzarvo.so"), library ? huge : m_lib1),
             file(QStringLiteral("/rs/1.2/RavoSyncSetup.zip"), library ? m_installer : huge)});
        ASSERT_TRUE(m_bridge->SLOT_updateRavoSync(cdnBase, QStringLiteral("RavoSyncSetup.zip"),
                                                  {QStringLiteral("libzarvo.so")}));
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(m_fail->count(), 1);
        EXPECT_EQ(m_installed->count(), 0);
        EXPECT_EQ(filesBelow(folder),
                  library ? QStringList() : QStringList{QStringLiteral("libzarvo.so")});
        EXPECT_TRUE(m_log.contains(QStringLiteral(" free in ") + folder));
        ASSERT_TRUE(Common::deleteLocalDirectory(folder));
    }
}

TEST(SmallFileSystem, UpdateFiles)
{
    RavoSync::Test::runOnSmallFileSystem(QStringLiteral("SmallDiskUpdate.*"), 1048576);
}

} // namespace
