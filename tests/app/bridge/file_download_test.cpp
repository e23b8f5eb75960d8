// File downloads through the fake web service: maps streamed into the
// offline store against the device's free space, the names a page may give,
// the map's later offline write, and other content types read whole.
#include "tests/app/bridge/download_fixture.h"

#include "app/common/offline_paths.h"
#include "connectlib/common/common.h"
#include "tests/support/param_name.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QTemporaryDir>

#include <limits>
#include <sstream>

namespace {

using ConnectLib::Common;
using RavoSync::Test::DownloadTest;
using RavoSync::Test::FakeWeb;

const QString mapType = QStringLiteral("application/x-zarvo-map");
const QString mapBase = QStringLiteral("https://content.ravo.test/maps/");
constexpr qint64 MB = 1048576;
constexpr quint64 noFigure = std::numeric_limits<quint64>::max();

QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray fileSha(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// The store's folder for device 0xabcd.
QString storeFile(const QString& name)
{
    return ConnectGlobals::offlineStorePath(0xabcd, name);
}

class MapDownload : public DownloadTest {
protected:
    void SetUp() override
    {
        DownloadTest::SetUp();
        m_bridge->SLOT_saveVariable(QStringLiteral("tcdeviceid"), QStringLiteral("0000ABCD"));
        QDir(QFileInfo(storeFile(QStringLiteral("x"))).absolutePath()).removeRecursively();
    }
    void TearDown() override
    {
        Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString());
        DownloadTest::TearDown();
    }
    // The device's free space as its result gives it; none: never asked.
    void freeSpace(quint64 bytes) { m_bridge->SLOT_freeSpaceReceived(bytes, ConnectLib::OK); }
    // The page's progress message from here on: the received figure of each
    // bytes-received text (other texts show as their key).
    void recordTexts()
    {
        js(QStringLiteral("Stub.texts = []; App.Common.setText = function (id, key, args) {"
                          " Stub.texts.push(id === 'progress_syncmessage' &&"
                          " key === 'maps_downloading_received' ? String(args) : key); };"));
    }
    QString texts() { return js(QStringLiteral("JSON.stringify(Stub.texts)")).toString(); }
    bool download(const QString& name, const QString& showErrorDialog = QStringLiteral("true"))
    {
        return m_bridge->SLOT_downloadFile(mapBase + name, QStringLiteral("GET"), mapType, mapType,
                                           showErrorDialog);
    }
};

struct MapCase {
    const char* name;
    qint64 size;
    bool chunked;
    // The device's free space; 0 stands for never asked.
    quint64 free;
    // SIGNAL_fail's flags text; empty: the map arrives whole.
    const char* flags;
    // Further keys of the map's rule.
    std::function<QJsonObject()> extra = [] { return QJsonObject(); };
    const char* showErrorDialog = "true";
    int timeoutSeconds = 0;
};

void PrintTo(const MapCase& c, std::ostream* os)
{
    *os << c.name;
}

class MapOutcome : public MapDownload, public ::testing::WithParamInterface<MapCase> {};

TEST_P(MapOutcome, StreamsIntoTheStoreOrLeavesNothing)
{
    const MapCase& c = GetParam();
    if (c.timeoutSeconds)
        Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString::number(c.timeoutSeconds));
    QJsonObject route = c.extra();
    route.insert(QStringLiteral("path"), QStringLiteral("/maps/m.map"));
    route.insert(QStringLiteral("bodySize"), double(c.size));
    route.insert(QStringLiteral("chunked"), c.chunked);
    m_web->setRoutes({route});
    if (c.free)
        freeSpace(c.free);
    // Left by an earlier transfer: it never goes out with the map.
    m_downloads->localBuffer = QByteArray("left over");

    ASSERT_TRUE(download(QStringLiteral("m.map"), QString::fromLatin1(c.showErrorDialog)));
    EXPECT_TRUE(m_downloads->localBuffer.isEmpty());
    ASSERT_TRUE(waitForAnswers(1));
    ConnectLib::Test::processFor(50);
    EXPECT_EQ(answers(), 1);
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("storagefilename")),
              QStringLiteral("m.map"));
    const QString path = storeFile(QStringLiteral("m.map"));
    EXPECT_TRUE(path.contains(QStringLiteral("/zarvo/resources/abcd/m.map"))) << path.toStdString();
    if (QString::fromLatin1(c.flags).isEmpty()) {
        const QList<QVariantList> read = emitted(QStringLiteral("SIGNAL_fileRead"));
        ASSERT_EQ(read.size(), 1) << failFlags().toStdString();
        EXPECT_EQ(read[0][0].toString(), QString::number(c.size));
        EXPECT_EQ(read[0][1].toString(), QStringLiteral("200"));
        EXPECT_EQ(fileSha(path), sha(FakeWeb::deterministicBody(int(c.size))));
        EXPECT_EQ(m_downloads->localBuffer.size(), 0);
        EXPECT_EQ(emitted(QStringLiteral("SIGNAL_resizeView")).size(), 1);
    } else {
        EXPECT_EQ(failFlags(), QString::fromLatin1(c.flags));
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_fileRead")).isEmpty());
    }
}

// A redirect answer's keys.
QJsonObject redirectRule(int status)
{
    return QJsonObject{
        {QStringLiteral("status"), status},
        {QStringLiteral("headers"),
         QJsonObject{{QStringLiteral("Location"), QStringLiteral("https://www.ravo.test/moved")}}}};
}

INSTANTIATE_TEST_SUITE_P(
    Table, MapOutcome,
    ::testing::Values(
        MapCase{"with_length", 8 * MB, false, 16 * MB, ""},
        MapCase{"without_length", 8 * MB, true, 16 * MB, ""},
        MapCase{"free_space_never_asked", 8 * MB, false, 0, "DISK_FULL, FW_UPDATE_FAILED"},
        MapCase{"no_free_space_figure", 8 * MB, false, noFigure, ""},
        MapCase{"exactly_the_free_space", 8 * MB, false, 8 * MB, ""},
        MapCase{"exactly_the_free_space_without_length", 8 * MB, true, 8 * MB, ""},
        MapCase{"too_large", 8 * MB, false, 4 * MB, "DISK_FULL, FW_UPDATE_FAILED"},
        MapCase{"too_large_without_length", 8 * MB, true, 4 * MB, "DISK_FULL, FW_UPDATE_FAILED"},
        MapCase{"cancelled_without_dialog", 8 * MB, false, 4 * MB, "DISK_FULL, FW_UPDATE_FAILED",
                [] { return QJsonObject(); }, "false"},
        MapCase{"not_found", 2000, false, 16 * MB, "INVALID_CONTENT, FW_UPDATE_FAILED",
                [] {
                    return QJsonObject{{QStringLiteral("status"), 404}};
                }},
        MapCase{"not_found_without_dialog", 2000, false, 16 * MB, "404",
                [] {
                    return QJsonObject{{QStringLiteral("status"), 404}};
                },
                "false"},
        // A redirect's page is never the map.
        MapCase{"moved_301", 18, false, 16 * MB, "INVALID_CONTENT, FW_UPDATE_FAILED",
                [] { return redirectRule(301); }},
        MapCase{"found_302_without_dialog", 18, false, 16 * MB, "302",
                [] { return redirectRule(302); }, "false"},
        MapCase{"not_modified_304_without_dialog", 0, false, 16 * MB, "304",
                [] { return redirectRule(304); }, "false"},
        MapCase{"cut_short", 2 * MB, false, 16 * MB, "INVALID_CONTENT, FW_UPDATE_FAILED",
                [] {
                    return QJsonObject{{QStringLiteral("cutAfter"), 100000}};
                }},
        MapCase{"cut_short_without_dialog", 2 * MB, false, 16 * MB,
                "INVALID_CONTENT, FW_UPDATE_FAILED",
                [] {
                    return QJsonObject{{QStringLiteral("cutAfter"), 100000}};
                },
                "false"},
        MapCase{"stalled", 2 * MB, false, 16 * MB, "INVALID_CONTENT, FW_UPDATE_FAILED",
                [] {
                    return QJsonObject{{QStringLiteral("stallAfter"), 100000}};
                },
                "true", 1},
        MapCase{"empty", 0, false, 16 * MB, ""}),
    [](const ::testing::TestParamInfo<MapCase>& info) { return info.param.name; });

TEST_F(MapDownload, ContentServerFailureOpensTheOfflineDialog)
{
    m_web->setRoutes({rule(QStringLiteral("/maps/*"), {{QStringLiteral("status"), 500}})});
    freeSpace(16 * MB);
    const QString contentServer = Common::getSettingsValue(QStringLiteral("contenturl"));
    ASSERT_FALSE(contentServer.isEmpty());
    ASSERT_TRUE(m_bridge->SLOT_downloadFile(contentServer + QStringLiteral("/maps/c.map"),
                                            QStringLiteral("GET"), mapType, mapType,
                                            QStringLiteral("true")));
    ASSERT_TRUE(waitForAnswers(1));
    const QList<QVariantList> dialogs = emitted(QStringLiteral("SIGNAL_showOfflineDialog"));
    ASSERT_EQ(dialogs.size(), 1) << failFlags().toStdString();
    EXPECT_EQ(dialogs[0][0].toString(), QStringLiteral("ui/progress.html"));
    EXPECT_FALSE(QFileInfo::exists(storeFile(QStringLiteral("c.map"))));
}

TEST_F(MapDownload, BlockedStoreFolderFailsBeforeAnyRequest)
{
    const QString folder = QFileInfo(storeFile(QStringLiteral("x"))).absolutePath();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_web->setRoutes({rule(QStringLiteral("/maps/*"), {{QStringLiteral("bodySize"), 100}})});
    freeSpace(16 * MB);
    EXPECT_FALSE(download(QStringLiteral("b.map")));
    EXPECT_EQ(failFlags(), QStringLiteral("FILE_OPERATION_FAILED"));
    ConnectLib::Test::processFor(100);
    EXPECT_EQ(requestsFor(QStringLiteral("/maps/b.map")), 0);
    QFile::remove(folder);
}

// Names a page gives that would be joined to a folder: each refused with
// INVALID_PARAMETER before any request, nothing written.
struct NameCase {
    const char* name;
    const char* address; // after the maps folder's address
    const char* deviceId;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.name;
}

class MapNames : public MapDownload, public ::testing::WithParamInterface<NameCase> {};

TEST_P(MapNames, RefusedBeforeAnyRequest)
{
    m_web->setRoutes({rule(QStringLiteral("*"), {{QStringLiteral("bodySize"), 100}})});
    freeSpace(16 * MB);
    m_bridge->SLOT_saveVariable(QStringLiteral("tcdeviceid"),
                                QString::fromLatin1(GetParam().deviceId));
    // "\0" written as text stands for a NUL character.
    const QString address =
        QString::fromLatin1(GetParam().address).replace(QStringLiteral("\\0"), QString(QChar(0)));
    EXPECT_FALSE(m_bridge->SLOT_downloadFile(mapBase + address, QStringLiteral("GET"), mapType,
                                             mapType, QStringLiteral("true")));
    const QList<QVariantList> fails = emitted(QStringLiteral("SIGNAL_fail"));
    ASSERT_EQ(fails.size(), 1);
    EXPECT_EQ(fails[0], (QVariantList{QString(), QStringLiteral("INVALID_PARAMETER"), QString()}));
    ConnectLib::Test::processFor(100);
    EXPECT_TRUE(m_web->requests().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(storeFile(QStringLiteral("x"))).absolutePath()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MapNames,
    ::testing::Values(NameCase{"dot_dot", "..", "ABCD"}, NameCase{"empty_tail", "", "ABCD"},
                      NameCase{"backslash", "a\\b", "ABCD"}, NameCase{"nul", "a\\0b.map", "ABCD"},
                      NameCase{"device_id_path", "m.map", "../../x"},
                      NameCase{"device_id_empty", "m.map", ""},
                      NameCase{"device_id_prefixed", "m.map", "0xABCD"},
                      NameCase{"device_id_too_long", "m.map", "00000000000000ABCD"},
                      NameCase{"device_id_blank", "m.map", " ABCD"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return info.param.name; });

TEST_F(MapDownload, PlainHttpIsRefused)
{
    EXPECT_FALSE(m_bridge->SLOT_downloadFile(QStringLiteral("http://content.ravo.test/maps/h.map"),
                                             QStringLiteral("GET"), mapType, mapType,
                                             QStringLiteral("true")));
    EXPECT_EQ(failFlags(), QStringLiteral("INVALID_PARAMETER"));
    ConnectLib::Test::processFor(100);
    EXPECT_TRUE(m_web->requests().isEmpty());
}

// The map's later offline write takes the streamed file, never the buffer,
// and answers through the write result.
TEST_F(MapDownload, OfflineWriteOfAStreamedMapUsesTheStoredFile)
{
    const qint64 size = 3 * MB + 17;
    m_web->setRoutes(
        {rule(QStringLiteral("/maps/*"), {{QStringLiteral("bodySize"), double(size)}})});
    freeSpace(16 * MB);
    ASSERT_TRUE(download(QStringLiteral("w.map")));
    ASSERT_TRUE(waitForAnswers(1));
    ASSERT_EQ(emitted(QStringLiteral("SIGNAL_fileRead")).size(), 1) << failFlags().toStdString();
    const QByteArray expected = sha(FakeWeb::deterministicBody(int(size)));

    // Under its own name: nothing to write.
    m_signals->clear();
    m_bridge->SLOT_writeOfflineFile(QStringLiteral("w.map"), QString(), QStringLiteral("true"));
    EXPECT_EQ(emitted(QStringLiteral("SIGNAL_fileWritten")).size(), 1);
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_writeOfflineBinaryFile")).isEmpty());
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_writeOfflineFile")).isEmpty());
    EXPECT_EQ(fileSha(storeFile(QStringLiteral("w.map"))), expected);

    // Under another name: a whole copy.
    m_signals->clear();
    m_bridge->SLOT_writeOfflineFile(QStringLiteral("sub/copy.map"), QString(),
                                    QStringLiteral("true"));
    EXPECT_EQ(emitted(QStringLiteral("SIGNAL_fileWritten")).size(), 1);
    EXPECT_EQ(fileSha(storeFile(QStringLiteral("sub/copy.map"))), expected);

    // A name that would leave the store fails through the write result.
    m_signals->clear();
    m_bridge->SLOT_writeOfflineFile(QStringLiteral("../x.map"), QString(), QStringLiteral("true"));
    EXPECT_EQ(failFlags(), QStringLiteral("FILE_OPERATION_FAILED"));
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_fileWritten")).isEmpty());
}

// A whole map with status 200 that the page's verdict refuses fails, and its
// file goes: the device never gets a map the page did not accept.
class RefusedMap : public MapDownload, public ::testing::WithParamInterface<bool> {};

TEST_P(RefusedMap, LeavesNoFile)
{
    const bool showErrorDialog = GetParam();
    m_web->setRoutes({rule(QStringLiteral("/maps/*"), {{QStringLiteral("bodySize"), 4096}})});
    freeSpace(16 * MB);
    js(QStringLiteral("App.Common.parseRemoteReply = function (s) {"
                      " Stub.remoteReplies.push(s); return false; };"));
    ASSERT_TRUE(download(QStringLiteral("r.map"),
                         showErrorDialog ? QStringLiteral("true") : QStringLiteral("false")));
    ASSERT_TRUE(waitForAnswers(1));
    ConnectLib::Test::processFor(50);
    EXPECT_EQ(answers(), 1);
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_fileRead")).isEmpty());
    EXPECT_EQ(js(QStringLiteral("Stub.remoteReplies.join()")).toString(), QStringLiteral("200"));
    if (!showErrorDialog)
        EXPECT_EQ(failFlags(), QStringLiteral("200"));
    EXPECT_FALSE(QFileInfo::exists(storeFile(QStringLiteral("r.map"))));
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedMap, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WithDialog" : "Quiet");
                         });

// A store folder a page, or a settings file written before the key was
// guarded, points out of the working folder: the built-in folder is used,
// with a log line, and nothing lands outside. The test folder setting a page
// may write leads nowhere either.
struct FolderCase {
    const char* name;
    const char* value; // %1: a folder outside the working folder
};

void PrintTo(const FolderCase& c, std::ostream* os)
{
    *os << c.name;
}

class MapStoreFolder : public MapDownload, public ::testing::WithParamInterface<FolderCase> {
protected:
    void TearDown() override
    {
        QSettings settings;
        settings.remove(QStringLiteral("offlinefiledir"));
        settings.remove(QStringLiteral("localdatadir"));
        settings.sync();
        MapDownload::TearDown();
    }
};

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

TEST_P(MapStoreFolder, NeverLeavesTheStore)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const QString value = QString::fromLatin1(GetParam().value).arg(outside.path());
    // Where "../.." puts the device's folder: beside the working folder.
    const QString climbed =
        QFileInfo(Common::getTempFilesDataPath() + QStringLiteral("/../../abcd"))
            .absoluteFilePath();
    QDir(climbed).removeRecursively();
    js(QStringLiteral("JSObject.SLOT_saveAppSetting('offlinefiledir', %1);"
                      "JSObject.SLOT_saveAppSetting('localdatadir', %1);")
           .arg(QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
                    .mid(1)
                    .chopped(1)));
    {
        QSettings settings;
        settings.setValue(QStringLiteral("offlinefiledir"), value);
        settings.sync();
    }
    ASSERT_EQ(Common::getSettingsValue(QStringLiteral("offlinefiledir")), value);
    m_web->setRoutes({rule(QStringLiteral("/maps/*"), {{QStringLiteral("bodySize"), 4096}})});
    freeSpace(16 * MB);

    ASSERT_TRUE(download(QStringLiteral("m.map")));
    ASSERT_TRUE(waitForAnswers(1));
    ASSERT_EQ(emitted(QStringLiteral("SIGNAL_fileRead")).size(), 1) << failFlags().toStdString();
    m_bridge->SLOT_writeOfflineFile(QStringLiteral("sub/copy.map"), QString(),
                                    QStringLiteral("true"));
    ASSERT_EQ(emitted(QStringLiteral("SIGNAL_fileWritten")).size(), 1) << failFlags().toStdString();

    const QString store = Common::getTempFilesDataPath() + QStringLiteral("/resources/abcd/");
    const QByteArray expected = sha(FakeWeb::deterministicBody(4096));
    EXPECT_EQ(fileSha(store + QStringLiteral("m.map")), expected);
    EXPECT_EQ(fileSha(store + QStringLiteral("sub/copy.map")), expected);
    EXPECT_TRUE(filesBelow(outside.path()).isEmpty())
        << filesBelow(outside.path()).join(' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(climbed));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Folder setting refused: offlinefiledir = '") +
                               value + QStringLiteral("', using 'resources'")))
        << m_log.lines().join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, MapStoreFolder,
                         ::testing::Values(FolderCase{"ParentOfParent", "../.."},
                                           FolderCase{"Absolute", "%1"},
                                           FolderCase{"ClimbingFromInside", "resources/../../.."}),
                         [](const ::testing::TestParamInfo<FolderCase>& info) {
                             return info.param.name;
                         });

// A link inside the store that points out of it: the map is refused before
// any request, and what the link points at stays as it was.
enum class StoreLink { DeviceFolder, MapFile, DanglingMapFile };

void PrintTo(StoreLink link, std::ostream* os)
{
    *os << (link == StoreLink::DeviceFolder ? "DeviceFolder"
            : link == StoreLink::MapFile    ? "MapFile"
                                            : "DanglingMapFile");
}

class MapStoreLinks : public MapDownload, public ::testing::WithParamInterface<StoreLink> {};

TEST_P(MapStoreLinks, AreNotFollowed)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const QString device = Common::getTempFilesDataPath() + QStringLiteral("/resources/abcd");
    QDir(device).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(device).absolutePath()));
    const QString target = outside.filePath(QStringLiteral("m.map"));
    switch (GetParam()) {
    case StoreLink::DeviceFolder:
        ASSERT_TRUE(QFile::link(outside.path(), device));
        break;
    case StoreLink::MapFile: {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("theirs");
        file.close();
        ASSERT_TRUE(QDir().mkpath(device));
        ASSERT_TRUE(QFile::link(target, device + QStringLiteral("/m.map")));
        break;
    }
    case StoreLink::DanglingMapFile:
        ASSERT_TRUE(QDir().mkpath(device));
        ASSERT_TRUE(QFile::link(target, device + QStringLiteral("/m.map")));
        break;
    }
    const QStringList before = filesBelow(outside.path());
    m_web->setRoutes({rule(QStringLiteral("/maps/*"), {{QStringLiteral("bodySize"), 100}})});
    freeSpace(16 * MB);

    EXPECT_FALSE(download(QStringLiteral("m.map")));
    EXPECT_EQ(failFlags(), QStringLiteral("FILE_OPERATION_FAILED"));
    m_bridge->SLOT_writeOfflineFile(QStringLiteral("m.map"), QStringLiteral("aGVsbG8="),
                                    QStringLiteral("true"));
    ConnectLib::Test::processFor(100);
    EXPECT_EQ(requestsFor(QStringLiteral("/maps/m.map")), 0);
    EXPECT_EQ(filesBelow(outside.path()), before);
    if (GetParam() == StoreLink::MapFile) {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("theirs"));
    }
    EXPECT_TRUE(m_log.contains(QStringLiteral("Offline path leaves the store: ")));
    QFile::remove(device + QStringLiteral("/m.map"));
    QFile::remove(device);
    QDir(device).removeRecursively();
}

INSTANTIATE_TEST_SUITE_P(Table, MapStoreLinks,
                         ::testing::Values(StoreLink::DeviceFolder, StoreLink::MapFile,
                                           StoreLink::DanglingMapFile),
                         [](const ::testing::TestParamInfo<StoreLink>& info) {
                             std::ostringstream name;
                             PrintTo(info.param, &name);
                             return name.str();
                         });

// Offline writes that bring their content write it, whether the map before
// them arrived or failed.
class OfflineTextAfterMap : public MapDownload, public ::testing::WithParamInterface<bool> {};

TEST_P(OfflineTextAfterMap, LeavesTheTextsBytes)
{
    const bool mapArrives = GetParam();
    m_web->setRoutes({rule(QStringLiteral("/maps/*"), {{QStringLiteral("bodySize"), 4096}})});
    // Without a free-space figure the map is cancelled at its first data.
    if (mapArrives)
        freeSpace(16 * MB);
    ASSERT_TRUE(download(QStringLiteral("t.map")));
    ASSERT_TRUE(waitForAnswers(1));
    ASSERT_EQ(emitted(QStringLiteral("SIGNAL_fileRead")).size(), mapArrives ? 1 : 0);
    m_signals->clear();
    m_stub->clearCalls();

    m_bridge->SLOT_writeOfflineFile(QStringLiteral("notes.txt"), QStringLiteral("aGVsbG8="),
                                    QStringLiteral("true"));
    const QList<QVariantList> written = emitted(QStringLiteral("SIGNAL_writeOfflineFile"));
    ASSERT_EQ(written.size(), 1) << failFlags().toStdString();
    EXPECT_EQ(written[0], (QVariantList{QStringLiteral("notes.txt"), QStringLiteral("aGVsbG8=")}));
    EXPECT_FALSE(QFileInfo::exists(storeFile(QStringLiteral("notes.txt"))));
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_fail")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, OfflineTextAfterMap, ::testing::Bool(),
                         zarvo::test::printed_name());

TEST_F(MapDownload, ABridgeDestroyedMidMapLeavesNoPartialFile)
{
    m_web->setRoutes({rule(QStringLiteral("/maps/*"), {{QStringLiteral("bodySize"), 4 * MB},
                                                       {QStringLiteral("stallAfter"), 200000}})});
    freeSpace(16 * MB);
    ASSERT_TRUE(download(QStringLiteral("cut.map")));
    const QString path = storeFile(QStringLiteral("cut.map"));
    ASSERT_TRUE(
        ConnectLib::Test::processUntil([&] { return m_downloads->fileBytesReceived > 0; }, 20000));
    ASSERT_TRUE(QFileInfo::exists(path));
    m_signals.reset();
    m_stub.reset();
    m_bridge.reset();
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(MapDownload, OfflineWriteWithoutACompleteMapFails)
{
    m_web->setRoutes({rule(QStringLiteral("/maps/*"), {{QStringLiteral("bodySize"), 4096}})});
    // Never asked for free space: the map is cancelled at its first data.
    ASSERT_TRUE(download(QStringLiteral("f.map")));
    ASSERT_TRUE(waitForAnswers(1));
    m_signals->clear();
    m_bridge->SLOT_writeOfflineFile(QStringLiteral("f.map"), QString(), QStringLiteral("true"));
    EXPECT_EQ(failFlags(), QStringLiteral("FILE_OPERATION_FAILED"));
    EXPECT_FALSE(QFileInfo::exists(storeFile(QStringLiteral("f.map"))));
}

// Any other content type is read whole and handed to the page, with no file
// in the store.
struct OtherCase {
    const char* name;
    const char* replyType;
    bool base64;
};

void PrintTo(const OtherCase& c, std::ostream* os)
{
    *os << c.name;
}

class OtherTypes : public MapDownload, public ::testing::WithParamInterface<OtherCase> {};

TEST_P(OtherTypes, CompleteThroughFileRead)
{
    const QByteArray body =
        GetParam().base64 ? FakeWeb::deterministicBody(5000) : QByteArray("{\"text\":\"Zoë\"}");
    m_web->setRoutes({rule(
        QStringLiteral("/maps/*"),
        {{QStringLiteral("bodyBase64"), QString::fromLatin1(body.toBase64())},
         {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Content-Type"),
                                                  QString::fromLatin1(GetParam().replyType)}}}})});
    ASSERT_TRUE(m_bridge->SLOT_downloadFile(
        mapBase + QStringLiteral("o.bin"), QStringLiteral("GET"),
        QStringLiteral("application/x-other"), QStringLiteral("*/*"), QStringLiteral("true")));
    ASSERT_TRUE(waitForAnswers(1));
    const QList<QVariantList> read = emitted(QStringLiteral("SIGNAL_fileRead"));
    ASSERT_EQ(read.size(), 1) << failFlags().toStdString();
    if (GetParam().base64)
        EXPECT_EQ(QByteArray::fromBase64(read[0][0].toString().toLatin1()), body);
    else
        EXPECT_EQ(read[0][0].toString(), QString::fromUtf8(body));
    EXPECT_EQ(read[0][1].toString(), QStringLiteral("200"));
    EXPECT_FALSE(QFileInfo::exists(storeFile(QStringLiteral("o.bin"))));
}

INSTANTIATE_TEST_SUITE_P(Table, OtherTypes,
                         ::testing::Values(OtherCase{"binary", "application/x-other", true},
                                           OtherCase{"text", "application/json", false}),
                         [](const ::testing::TestParamInfo<OtherCase>& info) {
                             return info.param.name;
                         });

// A redirect answer never reaches the page as the file it asked for.
class OtherTypeRedirects : public MapDownload, public ::testing::WithParamInterface<int> {};

TEST_P(OtherTypeRedirects, FailWithTheirStatus)
{
    QJsonObject route = redirectRule(GetParam());
    route.insert(QStringLiteral("path"), QStringLiteral("/maps/*"));
    if (GetParam() != 304)
        route.insert(QStringLiteral("body"), QStringLiteral("<html>moved</html>"));
    m_web->setRoutes({route});
    ASSERT_TRUE(m_bridge->SLOT_downloadFile(mapBase + QStringLiteral("o.txt"),
                                            QStringLiteral("GET"), QStringLiteral("text/plain"),
                                            QStringLiteral("*/*"), QStringLiteral("false")));
    ASSERT_TRUE(waitForAnswers(1));
    EXPECT_TRUE(emitted(QStringLiteral("SIGNAL_fileRead")).isEmpty());
    EXPECT_EQ(failFlags(), QString::number(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Table, OtherTypeRedirects, ::testing::Values(301, 302, 304),
                         zarvo::test::printed_name{"status"});

// The sync status of a map moves once per whole percent of a known size; of
// an unknown size the bar runs and the message gives the megabytes received,
// each once.
TEST_F(MapDownload, SyncStatusOncePerWholePercentOrMegabyteTenth)
{
    m_web->setRoutes({rule(QStringLiteral("/maps/*"), {{QStringLiteral("hang"), true}})});
    m_bridge->SLOT_saveVariable(QStringLiteral("major_phases"), QStringLiteral("5"));
    m_bridge->SLOT_saveVariable(QStringLiteral("major_phase"), QStringLiteral("2"));
    recordTexts();
    freeSpace(noFigure);
    ASSERT_TRUE(download(QStringLiteral("s.map")));
    for (const auto& report : QList<QPair<qint64, qint64>>{{0, -1},
                                                           {10, -1},
                                                           {260000, -1},
                                                           {270000, -1},
                                                           {2600000, -1},
                                                           {0, 1000},
                                                           {3, 1000},
                                                           {9, 1000},
                                                           {10, 1000},
                                                           {1000, 1000}})
        m_bridge->SLOT_fileDownloadProgress(report.first, report.second);
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.statuses)")).toString().toStdString(),
              "[-1,[5,2,100,0],[5,2,100,1],[5,2,100,100]]");
    EXPECT_EQ(texts().toStdString(), R"(["0.0","0.2","2.6"])");
}

// Streamed from the service: a map of a known size fills its part of the
// bar; one without a length runs the bar and tells the megabytes received.
class MapProgress : public MapDownload, public ::testing::WithParamInterface<bool> {};

TEST_P(MapProgress, ShowsPercentOrMegabytesReceived)
{
    m_web->setRoutes(
        {rule(QStringLiteral("/maps/m.map"),
              {{QStringLiteral("bodySize"), 3 * MB}, {QStringLiteral("chunked"), GetParam()}})});
    m_bridge->SLOT_saveVariable(QStringLiteral("major_phases"), QStringLiteral("1"));
    m_bridge->SLOT_saveVariable(QStringLiteral("major_phase"), QStringLiteral("0"));
    recordTexts();
    freeSpace(16 * MB);
    ASSERT_TRUE(download(QStringLiteral("m.map")));
    ASSERT_TRUE(waitForAnswers(1));
    ASSERT_EQ(emitted(QStringLiteral("SIGNAL_fileRead")).size(), 1) << failFlags().toStdString();
    const QString statuses = js(QStringLiteral("JSON.stringify(Stub.statuses)")).toString();
    if (GetParam()) {
        // The network's last report, at the end, gives the size; the
        // megabytes before it are as many as the body's reads.
        EXPECT_EQ(statuses.toStdString(), "[-1,[1,0,100,100]]");
        EXPECT_TRUE(texts().endsWith(QStringLiteral("\"3.1\"]"))) << texts().toStdString();
    } else {
        // However many reads the body takes (on a busy machine it may be one):
        // whole percents of its part, rising, the last 100.
        EXPECT_TRUE(js(QStringLiteral(
                           "var s = Stub.statuses; s.length > 0 && s[s.length - 1][3] === 100 && "
                           "s.every(function (x, i) { return x.length === 4 && x[0] === 1 && "
                           "x[1] === 0 && x[2] === 100 && (i === 0 || x[3] > s[i - 1][3]); })"))
                        .toBool())
            << statuses.toStdString();
        EXPECT_EQ(texts().toStdString(), "[]");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MapProgress, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "without_length" : "with_length";
                         });

} // namespace
