// Installing a program update: what is handed to the desktop, what is
// refused, and when the program quits.
#include "tests/app/controller/controller_fixture.h"

#include "tests/connectlib/worker/zip_archive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTimer>

namespace {

using ConnectLib::Common;
using ConnectLib::Test::writeArchive;
using RavoSync::Test::ControllerTest;

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Runs the application's event loop until something quits it or limitMs
// pass; true when the program quit by itself.
bool quitsWithin(int limitMs)
{
    bool watchdogFired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&watchdogFired] {
        watchdogFired = true;
        QCoreApplication::quit();
    });
    QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);
    watchdog.start(limitMs);
    QCoreApplication::exec();
    return !watchdogFired && aboutToQuit.count() == 1;
}

// Where the update lies: in the self-update folder, or in a folder beside it.
enum class Place { Update, Outside };

struct UpdateCase {
    const char* name;
    const char* path;      // below the place
    const char* installer; // expected to be handed over, below the update folder; "" for none
    const char* reason;    // the line that says why not
};

void PrintTo(const UpdateCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProgramUpdate : public ControllerTest, public ::testing::WithParamInterface<UpdateCase> {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        m_update = Common::getSelfUpdateDataPath();
        ASSERT_FALSE(m_update.isEmpty());
        m_outside = QDir::currentPath();
        ASSERT_FALSE(m_update.startsWith(m_outside + QLatin1Char('/')));

        // The files the rows name.
        ASSERT_TRUE(writeFile(m_update + "/RavoSyncSetup.exe", "installer"));
        ASSERT_TRUE(writeArchive(m_update + "/Packed.exe.zip", {{"Packed.exe", "installer"}}));
        ASSERT_TRUE(writeArchive(m_update + "/Packed.zip", {{"Packed", "installer"}}));
        ASSERT_TRUE(
            writeArchive(m_update + "/Entry.desktop.zip", {{"Entry.desktop", "[Desktop Entry]"}}));
        ASSERT_TRUE(writeArchive(m_update + "/Nested.zip.zip", {{"Nested.zip", "archive"}}));
        ASSERT_TRUE(writeFile(m_update + "/Broken.zip", "not an archive"));
        ASSERT_TRUE(writeArchive(m_update + "/Climbing.zip", {{"../Climbing", "installer"}}));
        ASSERT_TRUE(writeArchive(m_update + "/Other.zip", {{"Different", "installer"}}));
        ASSERT_TRUE(writeFile(m_outside + "/Outside.exe", "installer"));
        ASSERT_TRUE(writeArchive(m_outside + "/Outside.zip", {{"Outside", "installer"}}));
        ASSERT_TRUE(QFile::link(m_outside + "/Outside.exe", m_update + "/Link.exe"));
        ASSERT_TRUE(QDir(m_update).mkdir("Folder"));
        ASSERT_TRUE(writeFile(m_update + "/Empty.exe", QByteArray()));
        ASSERT_TRUE(writeFile(m_update + "/Planted.run", "#!/bin/sh"));
        ASSERT_TRUE(writeFile(m_update + "/Folder/Deep.exe", "installer"));
    }
    void TearDown() override
    {
        ControllerTest::TearDown();
        QDir(m_update).removeRecursively();
    }
    QString under(const char* path) const
    {
        const QString relative = QLatin1String(path);
        if (relative.startsWith(QLatin1String("outside/")))
            return m_outside + relative.mid(7);
        return m_update + QLatin1Char('/') + relative;
    }

    QString m_update;
    QString m_outside;
};

TEST_P(ProgramUpdate, OnlyAnUpdateFromTheUpdateFolderIsHandedOver)
{
    const UpdateCase& c = GetParam();
    ConnectClientMain& controller = makeController();
    m_log.clear();
    controller.SLOT_runRavoSyncInstaller(under(c.path), QStringLiteral("ignored"));

    EXPECT_TRUE(m_log.contains(QStringLiteral("About to run program: ") + under(c.path)));
    const bool handed = *c.installer != '\0';
    if (handed) {
        ASSERT_EQ(m_opened.size(), 1);
        EXPECT_EQ(m_opened.first(), QUrl::fromLocalFile(under(c.installer)));
        ASSERT_NE(controller.quitTimer(), nullptr);
        EXPECT_TRUE(controller.quitTimer()->isActive());
        EXPECT_EQ(controller.quitTimer()->interval(), 2000);
        EXPECT_FALSE(m_log.contains(QStringLiteral("Exitcode:")));
    } else {
        EXPECT_TRUE(m_opened.isEmpty());
        EXPECT_TRUE(m_log.contains(QLatin1String(c.reason))) << c.reason;
        EXPECT_TRUE(m_log.contains(QStringLiteral("Exitcode: 1, exitstatus: 1")));
        EXPECT_TRUE(m_log.contains(QStringLiteral("Could not run installer file from: ")));
        EXPECT_TRUE(controller.quitTimer() == nullptr || !controller.quitTimer()->isActive());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramUpdate,
    ::testing::Values(
        UpdateCase{"File", "RavoSyncSetup.exe", "RavoSyncSetup.exe", ""},
        UpdateCase{"Archive", "Packed.exe.zip", "Packed.exe", ""},
        // What an archive delivers keeps to the installer names as well.
        UpdateCase{"ArchiveOfAnUnnamedFile", "Packed.zip", "", "(not an installer name)"},
        UpdateCase{"ArchiveOfADesktopEntry", "Entry.desktop.zip", "", "(not an installer name)"},
        UpdateCase{"ArchiveOfAnArchive", "Nested.zip.zip", "", "(not an installer name)"},
        UpdateCase{"BrokenArchive", "Broken.zip", "",
                   "Could not uncompress zip. Run update manually."},
        UpdateCase{"ArchiveLeavingTheFolder", "Climbing.zip", "",
                   "Could not uncompress zip. Run update manually."},
        UpdateCase{"ArchiveWithoutTheInstaller", "Other.zip", "", "(not in the archive)"},
        UpdateCase{"FileOutside", "outside/Outside.exe", "", "(outside the self-update folder)"},
        UpdateCase{"ArchiveOutside", "outside/Outside.zip", "", "(outside the self-update folder)"},
        UpdateCase{"LinkPointingOut", "Link.exe", "", "(a symbolic link)"},
        UpdateCase{"Folder", "Folder", "", "(not a regular file)"},
        UpdateCase{"EmptyFile", "Empty.exe", "", "(an empty file)"},
        UpdateCase{"Missing", "Missing.exe", "", "(no such file)"},
        UpdateCase{"NotAnInstallerName", "Planted.run", "", "(not an installer name)"},
        UpdateCase{"BelowTheFolder", "Folder/Deep.exe", "",
                   "(not directly in the self-update folder)"}),
    [](const ::testing::TestParamInfo<UpdateCase>& info) { return info.param.name; });

TEST_F(ProgramUpdate, TheProgramQuitsAfterTheInstallerWasTaken)
{
    ConnectClientMain& controller = makeController();
    controller.SLOT_runRavoSyncInstaller(under("RavoSyncSetup.exe"), QString());
    ASSERT_EQ(m_opened.size(), 1);
    EXPECT_TRUE(quitsWithin(20000));
}

TEST_F(ProgramUpdate, AFailedLaunchOrARefusalKeepsTheProgramRunning)
{
    ConnectClientMain& controller = makeController();
    m_openerAnswer = false;
    controller.SLOT_runRavoSyncInstaller(under("RavoSyncSetup.exe"), QString());
    ASSERT_EQ(m_opened.size(), 1);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Exitcode: 1, exitstatus: 1")));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Could not run installer file from: ") +
                               under("RavoSyncSetup.exe")));
    controller.SLOT_runRavoSyncInstaller(under("outside/Outside.exe"), QString());
    // Longer than the installer's time before the quit.
    EXPECT_FALSE(quitsWithin(3000));
}

TEST_F(ProgramUpdate, TheResultIsActedOnOnlyForExitCodeOne)
{
    ConnectClientMain& controller = makeController();
    m_log.clear();
    controller.SLOT_processFinished(0, QProcess::NormalExit);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Exitcode: 0, exitstatus: 0")));
    EXPECT_FALSE(m_log.contains(QStringLiteral("Could not run installer file from: ")));
}

} // namespace
