// Files kept on this computer for the pages: the offline store, files beside
// the program, the firmware archive; and the device clock request.
#include "tests/app/synchronizer/synchronizer_fixture.h"

#include "app/common/offline_paths.h"
#include "connectlib/common/common.h"
#include "tests/support/file_size_limit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <unistd.h>

namespace RavoSync::Test {
namespace {

using ConnectLib::Common;
using ConnectLib::CPStateFlags;
using ConnectLib::TCData;

constexpr quint64 storeId = 0x1A2B;

QString privateBase()
{
    return QDir::tempPath() + QStringLiteral("/ravosync-") + QString::number(::geteuid());
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

class OfflineFiles : public SynchronizerTest {
protected:
    void SetUp() override
    {
        SynchronizerTest::SetUp();
        takeDevice(storeId);
    }
    QString storePath(const QString& name) const
    {
        return privateBase() + QStringLiteral("/zarvo/resources/1a2b/") + name;
    }
};

TEST_F(OfflineFiles, WritesGoToTheDevicesFolderOfTheStore)
{
    emit bridge()->requests()->SIGNAL_writeOfflineFile(QStringLiteral("maps/x.map"),
                                                       QStringLiteral("bWFw"));
    m_sync->SLOT_writeOfflineBinaryFile(QStringLiteral("N"), QByteArray("\x00\x01", 2));
    ASSERT_EQ(m_provider.calls().size(), 2);
    EXPECT_EQ(m_provider.calls()[0].name, QStringLiteral("writeOfflineFile"));
    EXPECT_EQ(m_provider.calls()[0].arguments,
              (QVariantList{storePath(QStringLiteral("maps/x.map")), QByteArray("map")}));
    EXPECT_EQ(m_provider.calls()[1].arguments,
              (QVariantList{storePath(QStringLiteral("N")), QByteArray("\x00\x01", 2)}));
    EXPECT_EQ(ConnectGlobals::offlineStorePath(storeId, QStringLiteral("N")),
              storePath(QStringLiteral("N")));
}

TEST_F(OfflineFiles, ADeviceWriteTakesItsSourceFromTheStore)
{
    bridge()->SLOT_saveVariable(QStringLiteral("storagefilename"), QStringLiteral("maps/x.map"));
    emit bridge()->requests()->SIGNAL_writeOfflineToTCFile(QStringLiteral("/MAPS/X.MAP"),
                                                           QByteArray("m"));
    ASSERT_EQ(m_provider.callNames(), QStringList{QStringLiteral("writeOfflineFileToTC")});
    const QVariantList arguments = m_provider.calls().front().arguments;
    EXPECT_EQ(arguments.front().value<TCData>().deviceId(), storeId);
    EXPECT_EQ(arguments.mid(1), (QVariantList{storePath(QStringLiteral("maps/x.map")),
                                              QStringLiteral("/MAPS/X.MAP"), QByteArray("m")}));
}

TEST_F(OfflineFiles, ReadsComeFromBesideTheProgram)
{
    emit bridge()->requests()->SIGNAL_readOfflineFile(QStringLiteral("ui/help.txt"));
    ASSERT_EQ(m_provider.callNames(), QStringList{QStringLiteral("readOfflineFile")});
    EXPECT_EQ(
        m_provider.calls().front().arguments,
        QVariantList{QCoreApplication::applicationDirPath() + QStringLiteral("/ui/help.txt")});
}

TEST_F(OfflineFiles, NamesThatCouldLeaveTheirFolderAreRefused)
{
    loadStubPage({QStringLiteral("SIGNAL_fail")});
    evalJs(frame(), QStringLiteral("Stub.verdict = false"));
    const QString nul = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    const QStringList refused = {QStringLiteral("../x"),      QStringLiteral("/etc/x"), QString(),
                                 QStringLiteral("a/../../x"), QStringLiteral("./x"),    nul};
    for (const QString& name : refused) {
        emit bridge()->requests()->SIGNAL_writeOfflineFile(name, QStringLiteral("bWFw"));
        m_sync->SLOT_writeOfflineBinaryFile(name, QByteArray("map"));
        emit bridge()->requests()->SIGNAL_readOfflineFile(name);
        bridge()->SLOT_saveVariable(QStringLiteral("storagefilename"), name);
        emit bridge()->requests()->SIGNAL_writeOfflineToTCFile(QStringLiteral("/MAPS/X.MAP"),
                                                               QByteArray("m"));
        EXPECT_TRUE(ConnectGlobals::offlineStorePath(storeId, name).isEmpty());
        EXPECT_TRUE(ConnectGlobals::offlineReadPath(name).isEmpty());
    }
    EXPECT_TRUE(m_provider.calls().isEmpty()) << m_provider.callNames().join(',').toStdString();
    const QString failed = Common::stringFromStateFlags(ConnectLib::FILE_OPERATION_FAILED);
    EXPECT_EQ(evalJs(frame(), QStringLiteral("Stub.calls['SIGNAL_fail'].length")).toInt(),
              4 * refused.size());
    EXPECT_EQ(evalJs(frame(), QStringLiteral("Stub.calls['SIGNAL_fail'].every("
                                             "function (c) { return c[1] === '%1'; })")
                                  .arg(failed))
                  .toBool(),
              true);
    EXPECT_TRUE(ConnectGlobals::isValidOfflineName(QStringLiteral("maps/x.map")));
}

// A store folder setting that points out of the working folder (a settings
// file written before the key was guarded), or a link inside the store: the
// provider is asked only for paths below the store, or not at all.
struct EscapeCase {
    const char* name;
    const char* folderSetting; // %1: a folder outside; empty: the built-in one
    const char* link;          // a link to the outside folder, below the device's folder
    const char* file;          // the name the page gives
    bool asked;
};

void PrintTo(const EscapeCase& c, std::ostream* os)
{
    *os << c.name;
}

class OfflineStoreEscapes : public OfflineFiles, public ::testing::WithParamInterface<EscapeCase> {
protected:
    void TearDown() override
    {
        QSettings settings;
        settings.remove(QStringLiteral("offlinefiledir"));
        settings.sync();
        QDir(storePath(QString())).removeRecursively();
        OfflineFiles::TearDown();
    }
};

TEST_P(OfflineStoreEscapes, AskTheProviderOnlyForPathsBelowTheStore)
{
    const EscapeCase& c = GetParam();
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    QDir(storePath(QString())).removeRecursively();
    if (*c.folderSetting) {
        QSettings settings;
        settings.setValue(QStringLiteral("offlinefiledir"),
                          QString::fromLatin1(c.folderSetting).arg(outside.path()));
        settings.sync();
    }
    if (*c.link) {
        const QString link = storePath(QString::fromLatin1(c.link));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(link).absolutePath()));
        // A linked file points at a name outside that does not exist yet.
        const QString target = qstrcmp(c.link, c.file) == 0
                                   ? outside.filePath(QString::fromLatin1(c.link))
                                   : outside.path();
        ASSERT_TRUE(QFile::link(target, link));
    }
    const QString name = QString::fromLatin1(c.file);
    m_sync->SLOT_writeOfflineBinaryFile(name, QByteArray("evil"));
    bridge()->SLOT_saveVariable(QStringLiteral("storagefilename"), name);
    emit bridge()->requests()->SIGNAL_writeOfflineToTCFile(QStringLiteral("/MAPS/X.MAP"),
                                                           QByteArray("m"));
    if (!c.asked) {
        EXPECT_TRUE(m_provider.calls().isEmpty()) << m_provider.callNames().join(',').toStdString();
        EXPECT_TRUE(m_log.contains(QStringLiteral("Offline path leaves the store: ")));
        return;
    }
    ASSERT_EQ(m_provider.callNames(), (QStringList{QStringLiteral("writeOfflineFile"),
                                                   QStringLiteral("writeOfflineFileToTC")}));
    EXPECT_EQ(m_provider.calls()[0].arguments.front().toString(), storePath(name));
    EXPECT_EQ(m_provider.calls()[1].arguments.at(1).toString(), storePath(name));
}

INSTANTIATE_TEST_SUITE_P(
    Table, OfflineStoreEscapes,
    ::testing::Values(EscapeCase{"ParentFolders", "../../..", "", "start/p/plugin/evil.vim", true},
                      EscapeCase{"AbsoluteFolder", "%1", "", "start/p/plugin/evil.vim", true},
                      EscapeCase{"LinkedSubfolder", "", "start", "start/p/plugin/evil.vim", false},
                      EscapeCase{"LinkedFile", "", "evil.vim", "evil.vim", false}),
    [](const ::testing::TestParamInfo<EscapeCase>& info) { return info.param.name; });

class LocalWrites : public SynchronizerTest {
protected:
    void SetUp() override
    {
        SynchronizerTest::SetUp();
        loadStubPage({QStringLiteral("SIGNAL_fileWritten"), QStringLiteral("SIGNAL_fail")});
        evalJs(frame(), QStringLiteral("App.Common.parseLocalReply = function (f) { "
                                       "return f.indexOf('OK') >= 0; }"));
    }
    QString variable() { return bridge()->SLOT_getVariable(QStringLiteral("fwupdfilezippath")); }
    QString failures() { return pageCalls(QStringLiteral("SIGNAL_fail")); }
    QString written() { return pageCalls(QStringLiteral("SIGNAL_fileWritten")); }
    QString oneFailure() const
    {
        return QStringLiteral("[[\"\",\"%1\",\"\"]]")
            .arg(Common::stringFromStateFlags(ConnectLib::FILE_OPERATION_FAILED));
    }
};

TEST_F(LocalWrites, AFirmwareArchiveGoesIntoANewFolderOfTheFirmwareDirectory)
{
    const QString path = Common::getFWUpdateDataPath() + QStringLiteral("/new/fw.zip");
    ASSERT_FALSE(QFileInfo::exists(QFileInfo(path).absolutePath()));
    emit bridge()->requests()->SIGNAL_writeFWFileToAbsolutePath(path, QByteArray("archive"));
    EXPECT_EQ(readAll(path), QByteArray("archive"));
    EXPECT_EQ(variable(), path);
    EXPECT_EQ(
        written(),
        QStringLiteral("[[\"\",\"%1\",\"\"]]").arg(Common::stringFromStateFlags(ConnectLib::OK)));
    EXPECT_TRUE(m_provider.calls().isEmpty());
}

TEST_F(LocalWrites, ATargetOutsideTheWorkingFolderIsRefused)
{
    const QString autostart =
        QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/autostart/x.desktop");
    const QStringList targets = {autostart, QStringLiteral("fw.zip"),
                                 Common::getTempFilesDataPath() + QStringLiteral("/../escape.zip"),
                                 Common::getTempFilesDataPath()};
    for (const QString& target : targets)
        m_sync->SLOT_writeFileToAbsolutePath(QStringLiteral("fwupdfilezippath"), target,
                                             QByteArray("x"));
    EXPECT_FALSE(QFileInfo::exists(autostart));
    EXPECT_FALSE(QFileInfo::exists(privateBase() + QStringLiteral("/escape.zip")));
    EXPECT_EQ(variable(), QString());
    EXPECT_EQ(evalJs(frame(), QStringLiteral("Stub.calls['SIGNAL_fail'].length")).toInt(),
              targets.size());
    EXPECT_EQ(m_log.lines()
                  .filter(QStringLiteral("Refused to write outside the working folder: "))
                  .size(),
              targets.size());
}

TEST_F(LocalWrites, AWriteThatFailsMidwayKeepsTheEarlierFileAndTheVariable)
{
    const QString path = Common::getFWUpdateDataPath() + QStringLiteral("/fw.zip");
    ASSERT_TRUE(writeAll(path, QByteArray("earlier")));
    bridge()->SLOT_saveVariable(QStringLiteral("fwupdfilezippath"), QStringLiteral("earlier"));
    {
        zarvo::test::file_size_limit limit(64 * 1024);
        ASSERT_TRUE(limit.set());
        emit bridge()->requests()->SIGNAL_writeFWFileToAbsolutePath(path,
                                                                    QByteArray(1024 * 1024, 'z'));
    }
    EXPECT_EQ(failures(), oneFailure());
    EXPECT_EQ(written(), QStringLiteral("[]"));
    EXPECT_EQ(readAll(path), QByteArray("earlier"));
    EXPECT_EQ(variable(), QStringLiteral("earlier"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Write failed for file: ") + path));
    // No half-written copy is left beside it.
    EXPECT_EQ(QDir(Common::getFWUpdateDataPath()).entryList(QDir::Files),
              QStringList{QStringLiteral("fw.zip")});
}

class Clocks : public SynchronizerTest {
protected:
    void SetUp() override
    {
        SynchronizerTest::SetUp();
        takeDevice(0x4242);
    }
};

TEST_F(Clocks, WithoutASystemTimeTheComputersTimeGoesUntrusted)
{
    emit bridge()->requests()->SIGNAL_setTCTimes(QString(), true, QStringLiteral("garbage"), 999);
    EXPECT_TRUE(
        m_log.contains(QStringLiteral("System time not set. Getting times from computer.")));
    ASSERT_EQ(m_provider.callNames(), QStringList{QStringLiteral("setTCTimes")});
    const QVariantList arguments = m_provider.calls().front().arguments;
    const QDateTime system = arguments.at(1).toDateTime();
    EXPECT_TRUE(system.isValid());
    EXPECT_EQ(system.timeSpec(), Qt::UTC);
    EXPECT_EQ(arguments.at(2).toBool(), false);
    EXPECT_TRUE(arguments.at(3).toDateTime().isValid());
    EXPECT_EQ(arguments.at(3).toDateTime().timeSpec(), Qt::LocalTime);
    EXPECT_EQ(arguments.at(4).toInt(), Common::getTimezoneMinutes());
}

TEST_F(Clocks, AnInvalidTextFailsWithoutARequest)
{
    loadStubPage({QStringLiteral("SIGNAL_fail"), QStringLiteral("SIGNAL_tcTimesSet")});
    evalJs(frame(), QStringLiteral("Stub.verdict = false"));
    emit bridge()->requests()->SIGNAL_setTCTimes(QStringLiteral("2024-13-45T99:00:00Z"), true,
                                                 QStringLiteral("2024-01-01T00:00:00"), 60);
    EXPECT_TRUE(m_provider.calls().isEmpty());
    EXPECT_TRUE(
        m_log.errors().contains(QStringLiteral("Could not set times to training computer.")));
    EXPECT_EQ(pageCalls(QStringLiteral("SIGNAL_fail")),
              QStringLiteral("[[\"\",\"%1\",\"\"]]")
                  .arg(Common::stringFromStateFlags(ConnectLib::GENERAL_ERROR)));
}

TEST_F(Clocks, AValidPairReachesTheProviderUnchanged)
{
    emit bridge()->requests()->SIGNAL_setTCTimes(QStringLiteral("2024-05-06T07:08:09Z"), true,
                                                 QStringLiteral("2024-05-06T09:08:09+02:00"), 120);
    ASSERT_EQ(m_provider.callNames(), QStringList{QStringLiteral("setTCTimes")});
    const QVariantList arguments = m_provider.calls().front().arguments;
    EXPECT_EQ(arguments.front().value<TCData>().deviceId(), 0x4242u);
    EXPECT_EQ(
        arguments.mid(1),
        (QVariantList{QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC), true,
                      QDateTime(QDate(2024, 5, 6), QTime(9, 8, 9), Qt::OffsetFromUTC, 7200), 120}));
}

} // namespace
} // namespace RavoSync::Test
