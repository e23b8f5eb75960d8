// Scenarios of the whole system that restart the device through the pages:
// a firmware update (the content server names a newer firmware, the phase
// downloads it and asks for the update, the device restarts with it and the
// sync runs once more) and a backup with its restore around a factory reset.
#include "tests/connectlib/worker/zip_archive.h"
#include "tests/e2e/harness/e2e_run.h"
#include "tests/e2e/harness/scenario_checks.h"
#include "tests/e2e/sync_routes.h"
#include "tests/support/usb_test_device.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

using ConnectLib::Test::ArchiveEntry;
using RavoSync::E2e::EndToEndRun;
using RavoSync::E2e::expectScreenshot;
using RavoSync::E2e::FakeRequest;
using RavoSync::E2e::stopAndCheckEveryScenario;
using RavoSync::E2e::syncResourceRule;
using RavoSync::Test::FakeWebService;

const QString indexPage = QStringLiteral("/contentserver/ui/index.html");
const QString contentHost = QStringLiteral("content.ravo.test");

// One file change the device was asked for ("writes" of the emulator).
struct DeviceWrite {
    QString operation;
    int answer = -1;
    QByteArray bytes;
    QString path;
};

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 29 + seed) % 256);
    return bytes;
}

QJsonObject rule(const QString& path, const QJsonObject& more)
{
    QJsonObject r = more;
    r.insert(QStringLiteral("method"), QStringLiteral("GET"));
    r.insert(QStringLiteral("host"), contentHost);
    r.insert(QStringLiteral("path"), path);
    return r;
}

class DeviceRestarts : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_run = std::make_unique<EndToEndRun>(QString::fromUtf8(info->name()));
        ASSERT_TRUE(m_run->ready()) << m_run->error().toStdString();
        // Past the first start: no window before the device's own.
        m_run->sandbox().setSetting(QStringLiteral("secondtimeuse"), QStringLiteral("1"));
    }
    void TearDown() override
    {
        // What the program last did, for a failure's reader.
        if (HasFailure() && m_run) {
            const QStringList lines = m_run->sandbox().logLines();
            std::cout << "--- stored state: "
                      << m_run->sandbox().setting(decimalId()).toString().toStdString()
                      << "; the program's last log lines" << std::endl;
            for (int i = std::max(0, int(lines.size()) - 120); i < lines.size(); ++i)
                std::cout << lines.at(i).toStdString() << std::endl;
        }
    }

    std::string serial() const { return m_device.serial(); }
    QString hexId() const
    {
        return QStringLiteral("%1").arg(quint64(m_device.id()), 8, 16, QLatin1Char('0')).toUpper();
    }
    QString decimalId() const { return QString::number(quint64(m_device.id())); }

    // The fixtures' sync run with phase last; rules first before it.
    void setRoutes(const QString& phase, const QJsonArray& first)
    {
        m_run->web().setRoutes(RavoSync::E2e::syncRunRoutes({phase}, first));
    }

    // Files put on the device before it is plugged, as device paths.
    void seed(const std::map<QString, QByteArray>& files)
    {
        const QString folder = m_run->sandbox().path(QStringLiteral("seed"));
        for (const auto& [path, bytes] : files) {
            const QString local = folder + path;
            ASSERT_TRUE(QDir().mkpath(QFileInfo(local).path()));
            QFile file(local);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_EQ(file.write(bytes), bytes.size());
        }
        ASSERT_EQ(m_run->emulator("seed " + serial() + " " + folder.toStdString()), "ok");
    }

    // The device's file, or nothing when it has none.
    std::optional<QByteArray> deviceFile(const QString& path)
    {
        const std::string answer = m_run->emulator("cat " + serial() + " " + path.toStdString());
        if (answer.rfind("ok ", 0) != 0 && answer != "ok")
            return std::nullopt;
        return QByteArray::fromBase64(QByteArray::fromStdString(answer.substr(3)));
    }

    std::vector<DeviceWrite> deviceWrites()
    {
        const std::string answer = m_run->emulator("writes " + serial());
        EXPECT_EQ(answer.rfind("ok ", 0), 0u) << answer;
        std::vector<DeviceWrite> writes;
        const QJsonArray lines =
            QJsonDocument::fromJson(QByteArray::fromStdString(answer.substr(3))).array();
        for (const auto& line : lines) {
            const QStringList words = line.toString().split(QLatin1Char(' '));
            if (words.size() < 4)
                continue;
            writes.push_back({words[0], words[1].toInt(),
                              words[2] == QLatin1String("-")
                                  ? QByteArray()
                                  : QByteArray::fromBase64(words[2].toLatin1()),
                              words.mid(3).join(QLatin1Char(' '))});
        }
        return writes;
    }

    int requestsFor(const QString& path) const
    {
        int count = 0;
        for (const FakeRequest& request : m_run->web().requests())
            count += request.path == path ? 1 : 0;
        return count;
    }

    bool waitForSyncEnd(int limitMs = 120000)
    {
        return m_run->waitForSetting(
            decimalId(), [](const QString& value) { return value.startsWith(QLatin1String("5;")); },
            limitMs);
    }

    zarvo::test::usb_test_device m_device;
    std::unique_ptr<EndToEndRun> m_run;
};

TEST_F(DeviceRestarts, AFirmwareUpdateThroughThePages)
{
    // The archive as the content server delivers it: the image names its
    // version on its first line; its system folder replaces the device's.
    const QByteArray image = QByteArray("9.9.9\n") + pattern(60000, 1);
    const std::vector<ArchiveEntry> entries{{"BTUPDAT.BIN", pattern(7000, 2)},
                                            {"TCHUPDAT.BIN", pattern(5000, 3)},
                                            {"SYSUPDAT.IMG", image},
                                            {"SYS/LANG/EN.TXT", "english"},
                                            {"SYS/FONTS/A.FNT", pattern(900, 4)}};
    const QString archive = m_run->sandbox().path(QStringLiteral("zarvo-9.9.9.zip"));
    ASSERT_TRUE(ConnectLib::Test::writeArchive(archive, entries));
    const QString archivePath = QStringLiteral("/contentserver/fw/zarvo-9.9.9.zip");
    const QJsonObject named{{"version", "9.9.9"},
                            {"url", QStringLiteral("https://") + contentHost + archivePath}};
    setRoutes(QStringLiteral("fwupdate"),
              {syncResourceRule(QStringLiteral("fwupdate.json"), named),
               // Held a moment, so the picture shows the update under way.
               rule(archivePath, {{"bodyFile", archive},
                                  {"delayMs", 2000},
                                  {"headers", QJsonObject{{"Content-Type", "application/zip"}}}})});
    seed({{QStringLiteral("/SYS/LANG/OLD.TXT"), "old"},
          {QStringLiteral("/SYS/KEEP/KEEP.TXT"), "kept"}});
    const std::string before = m_run->emulator("version " + serial());
    // The device's history, read at the end ("writes").
    ASSERT_EQ(m_run->emulator("record " + serial()), "ok");

    ASSERT_TRUE(m_run->startProgram());
    ASSERT_EQ(m_run->emulator("plug " + serial()), "ok");
    ASSERT_TRUE(m_run->waitForLog(QStringLiteral("Device appeared. DeviceId: ") + hexId()));
    FakeRequest download;
    ASSERT_TRUE(m_run->waitForRequest(
        [&](const FakeRequest& request) { return request.path == archivePath; }, 120000,
        &download));
    expectScreenshot(*m_run, QStringLiteral("update"));
    ASSERT_TRUE(m_run->waitForLog(QStringLiteral("is back with firmware 9.9.9"), 120000));
    ASSERT_TRUE(waitForSyncEnd());

    // Downloaded once, over TLS, with the application's authorisation.
    EXPECT_EQ(requestsFor(archivePath), 1);
    EXPECT_EQ(download.scheme, QStringLiteral("https"));
    EXPECT_TRUE(download.header(QStringLiteral("authorization")).startsWith("Basic "))
        << download.header(QStringLiteral("authorization")).toStdString();

    // The system folders the archive names were cleared first, then the
    // update files went to the device as they are, the image last.
    const std::vector<DeviceWrite> writes = deviceWrites();
    std::vector<QString> order;
    std::map<QString, QByteArray> written;
    for (const DeviceWrite& w : writes) {
        // A system folder the device lacks answers "no such file".
        if (w.operation == QLatin1String("put")) {
            EXPECT_EQ(w.answer, 0) << w.path.toStdString();
        }
        if (w.path.startsWith(QLatin1String("/SYS")) ||
            w.path.endsWith(QLatin1String("UPDAT.BIN")) ||
            w.path.endsWith(QLatin1String("UPDAT.IMG"))) {
            order.push_back(w.operation + QLatin1Char(' ') + w.path);
            written[w.path] = w.bytes;
        }
    }
    const std::vector<QString> expected{"remove /SYS/FONTS", "remove /SYS/LANG", "put /BTUPDAT.BIN",
                                        "put /TCHUPDAT.BIN", "put /SYSUPDAT.IMG"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(written[QStringLiteral("/BTUPDAT.BIN")], entries[0].second);
    EXPECT_EQ(written[QStringLiteral("/TCHUPDAT.BIN")], entries[1].second);
    EXPECT_EQ(written[QStringLiteral("/SYSUPDAT.IMG")], image);
    EXPECT_EQ(deviceFile(QStringLiteral("/SYS/KEEP/KEEP.TXT")), QByteArray("kept"));

    // Back with the new version; the window went on with it: its page was
    // loaded once, and the whole sync ran again after the update.
    EXPECT_NE(before, "ok 9.9.9");
    EXPECT_EQ(m_run->emulator("version " + serial()), "ok 9.9.9");
    EXPECT_EQ(requestsFor(indexPage), 1);
    EXPECT_TRUE(m_run->waitForLogAfter(QStringLiteral("is back with firmware 9.9.9"),
                                       QStringLiteral("Firmware 9.9.9 is up to date."), 1000));
    EXPECT_TRUE(m_run->sandbox().setting(decimalId()).toString().startsWith(QLatin1String("5;")));
    expectScreenshot(*m_run, QStringLiteral("updated"));
    stopAndCheckEveryScenario(*m_run);
}

TEST_F(DeviceRestarts, ABackupAndItsRestoreThroughThePages)
{
    const std::map<QString, QByteArray> backedUp{
        {QStringLiteral("/U/0/S/PROFILE.BPB"), pattern(3000, 5)},
        {QStringLiteral("/U/0/S/SPORTS/RUN.BPB"), pattern(700, 6)},
        {QStringLiteral("/U/0/20260110/ACT/SAMPLES.GZB"), pattern(40000, 7)},
        {QStringLiteral("/U/0/20260111/ACT/SAMPLES.GZB"), pattern(30000, 8)},
    };
    std::map<QString, QByteArray> files = backedUp;
    // Not in the backup list: the factory reset takes it for good.
    files[QStringLiteral("/U/0/NOTES.TXT")] = "not backed up";
    seed(files);
    // The backup phase, switched on by its flag.
    setRoutes(QStringLiteral("resetsync"),
              {syncResourceRule(QStringLiteral("backup.json"), {{"backup", true}})});

    ASSERT_TRUE(m_run->startProgram());
    ASSERT_EQ(m_run->emulator("plug " + serial()), "ok");
    ASSERT_TRUE(m_run->waitForLog(QStringLiteral("Device appeared. DeviceId: ") + hexId()));
    ASSERT_TRUE(m_run->waitForLog(QStringLiteral("Backup restored: "), 120000));
    ASSERT_TRUE(waitForSyncEnd());

    // The backup folder: below the backups folder with the user's data,
    // named by the device's hexadecimal id, each exported folder at its
    // device path (written beside it first, then swapped in).
    const QString backups = m_run->sandbox().path(QStringLiteral("data/ravosync/backups"));
    const QString backupDir = backups + QLatin1Char('/') + hexId();
    EXPECT_TRUE(m_run->sandbox().logHas(QStringLiteral("Backup done: ") + backupDir + " OK"));
    for (const char* folder : {"/U/0/S", "/U/0/20260110/ACT", "/U/0/20260111/ACT"})
        EXPECT_TRUE(m_run->sandbox().logHas(QStringLiteral("Export done ") + folder + " to " +
                                            backupDir + ".partial" + folder))
            << folder;
    EXPECT_TRUE(m_run->sandbox().logHas(QStringLiteral("Backup complete: ") + backupDir));

    // After the factory reset and the restore: every backed-up file as it
    // was, nothing else of the user's; the backup is gone.
    EXPECT_TRUE(
        m_run->sandbox().logHas(QStringLiteral("Do factory reset for deviceid: ") + hexId()));
    EXPECT_TRUE(m_run->sandbox().logHas(QStringLiteral("is back after the reset")));
    for (const auto& [path, bytes] : backedUp)
        EXPECT_EQ(deviceFile(path), bytes) << path.toStdString();
    EXPECT_EQ(deviceFile(QStringLiteral("/U/0/NOTES.TXT")), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(backupDir));
    EXPECT_EQ(requestsFor(indexPage), 1);
    stopAndCheckEveryScenario(*m_run);
}

} // namespace
