// What a page's script reaches of the program: the web engine offers every
// signal of "JSObject" as a method, so a request signal a page could raise
// would pass by the checks of the slot that emits it.
#include "tests/app/synchronizer/synchronizer_fixture.h"

#include "app/windows/viewer.h"
#include "connectlib/common/common.h"
#include "tests/support/param_name.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace RavoSync::Test {
namespace {

using ConnectLib::Common;

// A page's call of a request signal, "@SELF@" standing for the private
// self-update folder and "@FW@" for the firmware folder.
struct RaisedSignal {
    const char* name;
    const char* arguments;
    // A notice the pages listen to: the page may raise it, to no effect.
    bool pageNotice = false;
};

void PrintTo(const RaisedSignal& row, std::ostream* os)
{
    *os << row.name;
}

// Every file below folder, by path.
QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    return files;
}

class PageReach : public SynchronizerTest, public ::testing::WithParamInterface<RaisedSignal> {};

TEST_P(PageReach, ARequestSignalRaisedByAPageReachesNothing)
{
    takeDevice(0x1a2b);
    loadStubPage({});
    m_provider.clearCalls();
    m_controller.calls.clear();
    const QString working = QFileInfo(Common::getTempFilesDataPath()).absolutePath();
    const QStringList filesBefore = filesBelow(working);
    const QString arguments =
        QString::fromLatin1(GetParam().arguments)
            .replace(QStringLiteral("@SELF@"), Common::getSelfUpdateDataPath())
            .replace(QStringLiteral("@FW@"), Common::getFWUpdateDataPath());
    const QString name = QString::fromLatin1(GetParam().name);

    const QString kind = evalJs(frame(), QStringLiteral("typeof JSObject.%1").arg(name)).toString();
    evalJs(frame(), QStringLiteral("try { JSObject.%1(%2); } catch (e) {}").arg(name, arguments));
    ConnectLib::Test::processFor(200);

    EXPECT_EQ(kind,
              GetParam().pageNotice ? QStringLiteral("function") : QStringLiteral("undefined"));
    EXPECT_TRUE(m_provider.calls().isEmpty()) << m_provider.callNames().join(',').toStdString();
    EXPECT_TRUE(m_controller.calls.isEmpty()) << m_controller.calls.join(',').toStdString();
    EXPECT_EQ(filesBelow(working), filesBefore);
    EXPECT_FALSE(m_sync->viewer()->isVisible());
    // Still the page that raised it.
    EXPECT_TRUE(evalJs(frame(), QStringLiteral("typeof Stub !== 'undefined'")).toBool());
}

INSTANTIATE_TEST_SUITE_P(
    Table, PageReach,
    ::testing::Values(
        RaisedSignal{"SIGNAL_writeFileToAbsolutePath",
                     "'fwupdfilezippath', '@SELF@/planted.run', '#!/bin/sh'"},
        RaisedSignal{"SIGNAL_ravoSyncInstallerDownloadDone", "'@SELF@/planted.run', 'x'", true},
        RaisedSignal{"SIGNAL_writeOfflineBinaryFile", "'planted.map', 'bytes'"},
        RaisedSignal{"SIGNAL_generateChallengeToken", "7, 'nonce'"},
        RaisedSignal{"SIGNAL_writeFWFileToAbsolutePath", "'@FW@/planted.zip', 'bytes'"},
        RaisedSignal{"SIGNAL_quit", ""}, RaisedSignal{"SIGNAL_resync", ""},
        RaisedSignal{"SIGNAL_initConfigs", ""}, RaisedSignal{"SIGNAL_requestAvailableTCs", ""},
        RaisedSignal{"SIGNAL_syncProcessStateChanged", "0, 1"},
        RaisedSignal{"SIGNAL_showOfflineDialog", "'ui/progress.html', [], '', ''"},
        RaisedSignal{"SIGNAL_showDialog", "null"}, RaisedSignal{"SIGNAL_putOnTop", "null"},
        RaisedSignal{"SIGNAL_resizeView", "null"},
        RaisedSignal{"SIGNAL_showQuickDialog", "0, 0, 'help', 'script'"},
        RaisedSignal{"SIGNAL_readFromFile", "'/A.BPB'"},
        RaisedSignal{"SIGNAL_readOfflineFile", "'x.map'"},
        RaisedSignal{"SIGNAL_writeToFile", "'/A.BPB', 'AAEC'"},
        RaisedSignal{"SIGNAL_writeOfflineFile", "'x.map', 'bWFw'"},
        RaisedSignal{"SIGNAL_writeOfflineToTCFile", "'/MAPS/X.MAP', 'm'"},
        RaisedSignal{"SIGNAL_mergeToFile", "'/A.BPB', 'AAEC'"},
        RaisedSignal{"SIGNAL_createDir", "'/N'"}, RaisedSignal{"SIGNAL_removeEntries", "['/a']"},
        RaisedSignal{"SIGNAL_getSubdirs", "'/U'"},
        RaisedSignal{"SIGNAL_getSubdirsWithoutFile", "'/U', 'F'"},
        RaisedSignal{"SIGNAL_getDailySubdirsWithoutFile", "'/U', 'F'"},
        RaisedSignal{"SIGNAL_getDailyEntries", "'/U'"}, RaisedSignal{"SIGNAL_getEntries", "'/U'"},
        RaisedSignal{"SIGNAL_getFreeSpace", ""}, RaisedSignal{"SIGNAL_cleanupDisk", "1"},
        RaisedSignal{"SIGNAL_readBatteryStatus", ""},
        RaisedSignal{"SIGNAL_setTCTimes",
                     "'2024-05-06T07:08:09Z', true, '2024-05-06T09:08:09+02:00', 120"},
        RaisedSignal{"SIGNAL_getTCTimes", ""}, RaisedSignal{"SIGNAL_doReset", "true, true"},
        RaisedSignal{"SIGNAL_startSync", ""}, RaisedSignal{"SIGNAL_stopSync", "true"},
        RaisedSignal{"SIGNAL_updateFirmware", "'@FW@/x.zip', true"},
        RaisedSignal{"SIGNAL_ZFTP_installUpdate", "'@FW@/x.zip', true"},
        RaisedSignal{"SIGNAL_copyFirmwareData", "'/SYS'"},
        RaisedSignal{"SIGNAL_doBackup", "'/U', '/', 'x'"},
        RaisedSignal{"SIGNAL_revertBackup", "'x'"},
        RaisedSignal{"SIGNAL_startSyncWithDevice", "5"}),
    zarvo::test::printed_name());

} // namespace
} // namespace RavoSync::Test
