// Scenarios of the whole system on a private display: the real RavoSync,
// the HID emulator program and the fake web service (see harness/e2e_run.h).
#include "tests/e2e/harness/e2e_run.h"
#include "tests/e2e/harness/scenario_checks.h"
#include "tests/support/usb_test_device.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <vector>

namespace {

using RavoSync::E2e::EndToEndRun;
using RavoSync::E2e::expectScreenshot;
using RavoSync::E2e::FakeRequest;
using RavoSync::E2e::stopAndCheckEveryScenario;

using RavoSync::Test::FakeWebService;

const QString indexPage = QStringLiteral("/contentserver/ui/index.html");
// The fake clock of these runs and the program's zone (EET-2).
const QString fakeUtc = QStringLiteral("2026-03-05T10:20:30Z");
const QString fakeLocal = QStringLiteral("2026-03-05T12:20:30+02:00");

// One exercise on the device: "/U/0/<day>/E/<time>/BASE.BPB".
struct Exercise {
    QString day;
    QString time;
    QByteArray bytes;

    QString folder() const { return QStringLiteral("/U/0/%1/E/%2").arg(day, time); }
    QString file() const { return folder() + QStringLiteral("/BASE.BPB"); }
    // Where the exercises phase uploads it, below the login's sync address.
    QString uploadPath() const { return QStringLiteral("exercises/%1/%2").arg(day, time); }
};

// Several days of exercises, each file of its own bytes and size.
std::vector<Exercise> someExercises()
{
    const std::vector<std::pair<const char*, const char*>> names{{"20260302", "071500"},
                                                                 {"20260303", "064000"},
                                                                 {"20260303", "181000"},
                                                                 {"20260304", "120000"}};
    std::vector<Exercise> exercises;
    int index = 0;
    for (const auto& [day, time] : names) {
        QByteArray bytes;
        for (int i = 0; i < 3000 + 2500 * index; ++i)
            bytes.append(char((i * 7 + index * 31) % 251));
        exercises.push_back({QLatin1String(day), QLatin1String(time), bytes});
        ++index;
    }
    return exercises;
}

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_run = std::make_unique<EndToEndRun>(QString::fromUtf8(info->name()));
        ASSERT_TRUE(m_run->ready()) << m_run->error().toStdString();
    }

    // Writes the exercises below a folder of the run and copies it into the
    // device's files.
    void seed(const zarvo::test::usb_test_device& device, const std::vector<Exercise>& exercises)
    {
        const QString root = m_run->sandbox().path(QStringLiteral("seed"));
        for (const Exercise& exercise : exercises) {
            const QString folder = root + exercise.folder();
            ASSERT_TRUE(QDir().mkpath(folder));
            QFile file(root + exercise.file());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(exercise.bytes);
        }
        ASSERT_EQ(m_run->emulator("seed " + device.serial() + " " + root.toStdString()), "ok");
    }

    // The device's file, "" when it cannot be read.
    QByteArray deviceFile(const zarvo::test::usb_test_device& device, const QString& path)
    {
        const std::string answer =
            m_run->emulator("cat " + device.serial() + " " + path.toStdString());
        if (answer.rfind("ok ", 0) != 0)
            return answer == "ok" ? QByteArray("") : QByteArray();
        return QByteArray::fromBase64(QByteArray::fromStdString(answer.substr(3)));
    }

    // The uploads of exercise files the fake received, by path.
    QList<FakeRequest> uploadsOf(const Exercise& exercise) const
    {
        QList<FakeRequest> found;
        for (const FakeRequest& request : m_run->web().requests()) {
            if (request.method == QLatin1String("PUT") &&
                request.path.endsWith(QLatin1Char('/') + exercise.uploadPath()))
                found.append(request);
        }
        return found;
    }
    // Each exercise reached the web service once.
    void expectEachUploadedOnce(const std::vector<Exercise>& exercises) const
    {
        for (const Exercise& exercise : exercises)
            EXPECT_EQ(uploadsOf(exercise).size(), 1) << exercise.uploadPath().toStdString();
    }
    int logins() const
    {
        int count = 0;
        for (const FakeRequest& request : m_run->web().requests())
            count += request.path.endsWith(QLatin1String("/login/user/associateToApp"));
        return count;
    }
    int exerciseUploads() const
    {
        int count = 0;
        for (const FakeRequest& request : m_run->web().requests())
            count += request.method == QLatin1String("PUT") &&
                     request.path.contains(QLatin1String("/exercises/"));
        return count;
    }

    static QString hexId(const zarvo::test::usb_test_device& device)
    {
        return QStringLiteral("%1").arg(quint64(device.id()), 8, 16, QLatin1Char('0')).toUpper();
    }
    static QString decimalId(const zarvo::test::usb_test_device& device)
    {
        return QString::number(device.id());
    }
    QString state(const zarvo::test::usb_test_device& device)
    {
        return m_run->sandbox().setting(decimalId(device)).toString();
    }
    bool waitForDone(const zarvo::test::usb_test_device& device)
    {
        return m_run->waitForSetting(
            decimalId(device),
            [](const QString& value) { return value.startsWith(QLatin1String("5;")); }, 180000);
    }
    int logCount(const QString& text) const
    {
        return int(m_run->sandbox().logLines().filter(text).size());
    }

    std::unique_ptr<EndToEndRun> m_run;
};

// The user's settings as the web service holds them; the user settings phase
// writes them to the device. The literal is split after "\x05" so that
// escape ends there; the length counts the zero bytes inside.
const char userSettingsBytes[] = "\x0a\x05"
                                 "e2e\x00\x01\x12\x03\xff\x80\x7f settings";
const QByteArray userSettings(userSettingsBytes, sizeof userSettingsBytes - 1);

QJsonArray scenarioRoutes()
{
    return QJsonArray{
        QJsonObject{{"method", "GET"},
                    {"path", "*/user-settings"},
                    {"headers", QJsonObject{{"Content-Type", "application/x-protobuf"}}},
                    {"bodyBase64", QString::fromLatin1(userSettings.toBase64())}},
        FakeWebService::handlerRule(QStringLiteral("GET"), QStringLiteral("*/time/*"),
                                    QStringLiteral("time"), {{"utc", fakeUtc}})};
}

// The scenario's rules after first, with the upload of held waiting for the
// test to release gate (FakeWebService::release).
QJsonArray routesHoldingUpload(const Exercise& held, const QString& gate,
                               const QJsonArray& first = {})
{
    QJsonArray routes{
        QJsonObject{{"method", "PUT"}, {"path", "*/" + held.uploadPath()}, {"holdUntil", gate}}};
    for (const QJsonValue& rule : first)
        routes.append(rule);
    for (const QJsonValue& rule : scenarioRoutes())
        routes.append(rule);
    return routes;
}

// Waits until the device-less window's device list has started: the list
// was read and its start asked for the device picture.
void waitForDeviceList(EndToEndRun& run)
{
    EXPECT_TRUE(run.waitForRequest([](const FakeRequest& request) {
        return request.path == QLatin1String("/contentserver/ui/devicelist.html");
    }));
    EXPECT_TRUE(run.waitForRequest([](const FakeRequest& request) {
        return request.path == QLatin1String("/contentserver/img/generic.png");
    }));
    EXPECT_TRUE(run.waitUntil([&] { return !run.syncWindowArea().isEmpty(); }, 60000));
}

TEST_F(EndToEnd, FirstStartShowsTheDeviceLessWindowAndEndsOnSigterm)
{
    ASSERT_TRUE(m_run->startProgram());
    EXPECT_TRUE(m_run->waitForLog(QStringLiteral("*** First time use detected ***")));
    EXPECT_TRUE(m_run->waitForRequest(
        [](const FakeRequest& request) { return request.path == indexPage; }));
    waitForDeviceList(*m_run);
    expectScreenshot(*m_run, QStringLiteral("start"));
    stopAndCheckEveryScenario(*m_run);
}

// Japanese texts need a font with its glyphs (a dependency of the project).
TEST_F(EndToEnd, AJapanesePage)
{
    m_run->sandbox().setSetting(QStringLiteral("language"), QStringLiteral("ja"));
    ASSERT_TRUE(m_run->startProgram());
    EXPECT_TRUE(m_run->waitForRequest([](const FakeRequest& request) {
        return request.path == QLatin1String("/contentserver/tr/translations_ja.json");
    }));
    waitForDeviceList(*m_run);
    expectScreenshot(*m_run, QStringLiteral("ja"));
    stopAndCheckEveryScenario(*m_run);
}

} // namespace

namespace {

TEST_F(EndToEnd, FirstStartAndAFullAutomaticSync)
{
    const std::vector<Exercise> exercises = someExercises();
    // The first upload waits on the web service until the tray has been seen
    // syncing, however busy the machine.
    const QString uploadGate = QStringLiteral("tray-seen");
    m_run->setRoutes(routesHoldingUpload(exercises.front(), uploadGate));
    zarvo::test::usb_test_device device;
    seed(device, exercises);

    // First start: the device-less window.
    ASSERT_TRUE(m_run->startProgram());
    EXPECT_TRUE(m_run->waitForLog(QStringLiteral("*** First time use detected ***")));
    EXPECT_FALSE(QDir(m_run->sandbox().path(QStringLiteral("config/autostart")))
                     .entryList({QStringLiteral("*.desktop")}, QDir::Files)
                     .isEmpty())
        << "the autostart entry is in the test's own XDG folder";
    EXPECT_TRUE(m_run->waitForRequest(
        [](const FakeRequest& request) { return request.path == indexPage; }));
    // The version file names the program's own version: no program update.
    QFile versionFile(EndToEndRun::fixturesDir() + QStringLiteral("/ver/rs_ver.json"));
    ASSERT_TRUE(versionFile.open(QIODevice::ReadOnly));
    const QString version =
        QJsonDocument::fromJson(versionFile.readAll()).object().value("version").toString();
    EXPECT_TRUE(m_run->sandbox().logHas(QStringLiteral("Application version: ") + version))
        << version.toStdString();

    // The device arrives and its sync runs by itself.
    ASSERT_EQ(m_run->emulator("plug " + device.serial()), "ok");
    const QString appeared = QStringLiteral("Device appeared. DeviceId: ") + hexId(device);
    ASSERT_TRUE(m_run->waitForLog(appeared));
    EXPECT_TRUE(m_run->waitForLogAfter(appeared, QStringLiteral("Start... Version: ")));
    EXPECT_TRUE(m_run->waitForRequest([](const FakeRequest& request) {
        return request.path.endsWith(QLatin1String("/login/user/associateToApp"));
    }));
    EXPECT_TRUE(m_run->waitForRequest([&](const FakeRequest& request) {
        return request.method == QLatin1String("PUT") &&
               request.path.endsWith(QLatin1Char('/') + exercises.front().uploadPath());
    }));
    expectScreenshot(*m_run, QStringLiteral("tray-during-sync"), RavoSync::E2e::traySyncOn);
    m_run->web().release(uploadGate);
    ASSERT_TRUE(m_run->waitForSetting(
        decimalId(device),
        [](const QString& value) { return value.startsWith(QLatin1String("5;")); }, 180000))
        << "state: " << state(device).toStdString();
    EXPECT_EQ(m_run->programWindows().size(), 1) << "one window serves the device";
    expectScreenshot(*m_run, QStringLiteral("summary"), RavoSync::E2e::traySyncDone);

    // The login reached the web service with the test user.
    FakeRequest login;
    ASSERT_TRUE(m_run->waitForRequest(
        [](const FakeRequest& request) {
            return request.path.endsWith(QLatin1String("/login/user/associateToApp"));
        },
        0, &login));
    EXPECT_TRUE(login.body.contains(FakeWebService::defaultUser.toUtf8()))
        << login.body.toStdString();

    // The clocks: the fake's "utc", trusted, and its "local" at +120 minutes.
    EXPECT_EQ(m_run->emulator("clock " + device.serial()),
              "ok " + fakeUtc.toStdString() + " trusted " + fakeLocal.toStdString());

    // Every exercise uploaded once, byte for byte, with the application's
    // Basic authorisation.
    for (const Exercise& exercise : exercises) {
        const QList<FakeRequest> uploads = uploadsOf(exercise);
        ASSERT_EQ(uploads.size(), 1) << exercise.uploadPath().toStdString();
        EXPECT_EQ(uploads.first().scheme, QStringLiteral("https"));
        EXPECT_EQ(uploads.first().bodySha256, sha256(exercise.bytes));
        EXPECT_EQ(uploads.first().header(QStringLiteral("content-type")),
                  QStringLiteral("application/x-protobuf"));
        EXPECT_TRUE(uploads.first().header(QStringLiteral("authorization")).startsWith("Basic "));
        EXPECT_EQ(uploads.first().header(QStringLiteral("authorization")),
                  login.header(QStringLiteral("authorization")));
    }
    EXPECT_EQ(exerciseUploads(), int(exercises.size()));
    EXPECT_EQ(deviceFile(device, QStringLiteral("/U/0/UDEVSET.BPB")), userSettings);

    // The stored state and the second use.
    const QString done = state(device);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^5;\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}"))
                    .match(done)
                    .hasMatch())
        << done.toStdString();
    // Stored right after the state.
    EXPECT_TRUE(m_run->waitForSetting(QStringLiteral("secondtimeuse"),
                                      [](const QString& value) { return value == "1"; }));
    // A known device: no first-time use, so the diary opened.
    EXPECT_TRUE(m_run->waitUntil(
        [&] { return m_run->openedUrls().contains(QStringLiteral("https://www.ravo.test/diary")); },
        30000))
        << m_run->openedUrls().join(QLatin1Char(' ')).toStdString();

    // Unplugged and plugged again: the second sync uploads nothing.
    ASSERT_EQ(m_run->emulator("unplug " + device.serial()), "ok");
    ASSERT_EQ(m_run->emulator("plug " + device.serial()), "ok");
    // The second run stores "4;" as it starts, well before its exercises
    // phase; its end stores "5;" again (within the same second as the first
    // sync's end, when both are quick, so the time may not differ).
    ASSERT_TRUE(
        m_run->waitForLogAfter(QStringLiteral("Device disappeared: DeviceId: ") + decimalId(device),
                               QStringLiteral("e2e exercises to upload: 0"), 180000));
    ASSERT_TRUE(m_run->waitForSetting(
        decimalId(device),
        [&](const QString& value) { return value.startsWith(QLatin1String("5;")); }, 180000))
        << "state: " << state(device).toStdString();
    EXPECT_EQ(exerciseUploads(), int(exercises.size()));
    expectScreenshot(*m_run, QStringLiteral("tray-after-sync"));

    stopAndCheckEveryScenario(*m_run);
}

} // namespace

namespace {

TEST_F(EndToEnd, UnplugInTheMiddleOfASyncThenTheNextSync)
{
    m_run->setRoutes(scenarioRoutes());
    const std::vector<Exercise> exercises = someExercises();
    const Exercise& interrupted = exercises.at(2);
    zarvo::test::usb_test_device device;
    seed(device, exercises);
    ASSERT_TRUE(m_run->startProgram());
    ASSERT_TRUE(m_run->waitForRequest(
        [](const FakeRequest& request) { return request.path == indexPage; }));

    // The device goes two reports into the read of one exercise file.
    ASSERT_EQ(m_run->emulator("plug " + device.serial()), "ok");
    ASSERT_EQ(m_run->emulator("unplug " + device.serial() + " during " +
                              interrupted.file().toStdString() + " 2"),
              "ok");
    ASSERT_TRUE(
        m_run->waitForLog(QStringLiteral("Device disappeared: DeviceId: ") + decimalId(device)));
    // The page ends the run in its error case, with the connection lost.
    EXPECT_TRUE(m_run->waitForLogAfter(QStringLiteral("e2e exercises to upload"),
                                       QStringLiteral("ErrorCase: ")));
    ASSERT_TRUE(m_run->waitForSetting(
        decimalId(device),
        [](const QString& value) { return !value.startsWith(QLatin1String("2;")); }))
        << "state: " << state(device).toStdString();
    EXPECT_GT(EndToEndRun::peakKiB(m_run->programPid()), 0) << "the program keeps running";
    // The device is gone while its window shows the failure: the tray keeps
    // the failure (its click reaches that window), never a sync running or
    // done.
    expectScreenshot(*m_run, QStringLiteral("error"),
                     QStringList{RavoSync::E2e::traySyncError,
                                 QLatin1Char('-') + RavoSync::E2e::traySyncOn,
                                 QLatin1Char('-') + RavoSync::E2e::traySyncDone}
                         .join(QLatin1Char(',')));

    // Nothing reported as success.
    EXPECT_FALSE(state(device).startsWith(QLatin1String("5;"))) << state(device).toStdString();
    EXPECT_TRUE(m_run->sandbox().setting(QStringLiteral("secondtimeuse")).toString().isEmpty());
    EXPECT_TRUE(uploadsOf(interrupted).isEmpty());

    // Plugged in again, the device's next sync uploads what is left.
    ASSERT_EQ(m_run->emulator("plug " + device.serial()), "ok");
    ASSERT_TRUE(m_run->waitForSetting(
        decimalId(device),
        [](const QString& value) { return value.startsWith(QLatin1String("5;")); }, 180000))
        << "state: " << state(device).toStdString();
    for (const Exercise& exercise : exercises) {
        const QList<FakeRequest> uploads = uploadsOf(exercise);
        ASSERT_EQ(uploads.size(), 1) << exercise.uploadPath().toStdString();
        EXPECT_EQ(uploads.first().bodySha256, sha256(exercise.bytes));
    }
    EXPECT_EQ(exerciseUploads(), int(exercises.size()));
    // Stored right after the state.
    EXPECT_TRUE(m_run->waitForSetting(QStringLiteral("secondtimeuse"),
                                      [](const QString& value) { return value == "1"; }));

    stopAndCheckEveryScenario(*m_run);
}

} // namespace

namespace {

// The user starts the program again while the device's sync waits on the
// web service for an upload: the running program only shows the window,
// and the sync goes on from where it was: one login, each file uploaded
// once, no page started again.
TEST_F(EndToEnd, ASecondStartDuringASyncLeavesTheRunAlone)
{
    const std::vector<Exercise> exercises = someExercises();
    const Exercise& held = exercises.at(1);
    // The upload waits until the second start has been answered.
    const QString uploadGate = QStringLiteral("second-start-seen");
    m_run->setRoutes(routesHoldingUpload(held, uploadGate));
    zarvo::test::usb_test_device device;
    seed(device, exercises);
    ASSERT_TRUE(m_run->startProgram());
    ASSERT_TRUE(m_run->waitForRequest(
        [](const FakeRequest& request) { return request.path == indexPage; }));
    ASSERT_EQ(m_run->emulator("plug " + device.serial()), "ok");
    ASSERT_TRUE(m_run->waitForRequest([&](const FakeRequest& request) {
        return request.method == QLatin1String("PUT") &&
               request.path.endsWith(QLatin1Char('/') + held.uploadPath());
    }));
    ASSERT_TRUE(state(device).startsWith(QLatin1String("4;"))) << state(device).toStdString();
    const int starts = logCount(QStringLiteral("Start... Version: "));

    EXPECT_EQ(m_run->startAgain(), 0);
    EXPECT_TRUE(m_run->waitForLog(QStringLiteral("Not starting the sync page: the window's run "
                                                 "goes on.")));
    m_run->web().release(uploadGate);

    ASSERT_TRUE(waitForDone(device)) << "state: " << state(device).toStdString();
    expectEachUploadedOnce(exercises);
    EXPECT_EQ(logins(), 1);
    EXPECT_EQ(logCount(QStringLiteral("Start... Version: ")), starts) << "no page started again";
    EXPECT_EQ(m_run->programWindows().size(), 1) << "one window serves the device";
    stopAndCheckEveryScenario(*m_run);
}

// A phase script of the content server in place of the fixture's: its text,
// then extra (a JavaScript rule of the fake).
QJsonObject phaseScript(const QString& name, const QString& text)
{
    return QJsonObject{{"method", "GET"},
                       {"path", QStringLiteral("/contentserver/sync/%1.js").arg(name)},
                       {"headers", QJsonObject{{"Content-Type", "application/javascript"}}},
                       {"body", text}};
}

QString fixturePhase(const QString& name)
{
    QFile file(EndToEndRun::fixturesDir() + QStringLiteral("/sync/%1.js").arg(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A user plugs the device in and clicks Synchronize while the sync that
// started by itself waits on the web service for an upload: the click starts
// no second run, and the first one ends done, each file uploaded once after
// one login. (The click reaches the footer's button as a user's does,
// through its click event, from the page's exercises script, once the held
// upload has gone out.)
TEST_F(EndToEnd, SynchronizeDuringTheAutomaticSyncStartsNoSecondRun)
{
    const std::vector<Exercise> exercises = someExercises();
    const Exercise& held = exercises.at(1);
    const QString click =
        QStringLiteral("\n(function () {\n"
                       "    var write = App.RemoteEndpoint.prototype.write;\n"
                       "    App.RemoteEndpoint.prototype.write = function (u) {\n"
                       "        var sent = write.apply(this, arguments);\n"
                       "        if (String(u).indexOf(\"%1\") >= 0)\n"
                       "            window.setTimeout(function () {\n"
                       "                App.Common.log(\"e2e Synchronize clicked\");\n"
                       "                $(\"#pbSynchronize\").trigger(\"click\");\n"
                       "            }, 500);\n"
                       "        return sent;\n"
                       "    };\n"
                       "}());\n")
            .arg(held.uploadPath());
    const QString exercisesScript = fixturePhase(QStringLiteral("exercises"));
    ASSERT_FALSE(exercisesScript.isEmpty());
    // The upload waits until the click has been made.
    const QString uploadGate = QStringLiteral("clicked");
    m_run->setRoutes(routesHoldingUpload(
        held, uploadGate, {phaseScript(QStringLiteral("exercises"), exercisesScript + click)}));
    zarvo::test::usb_test_device device;
    seed(device, exercises);
    ASSERT_TRUE(m_run->startProgram());
    ASSERT_TRUE(m_run->waitForRequest(
        [](const FakeRequest& request) { return request.path == indexPage; }));
    ASSERT_EQ(m_run->emulator("plug " + device.serial()), "ok");
    ASSERT_TRUE(m_run->waitForLog(QStringLiteral("e2e Synchronize clicked"), 120000));
    m_run->web().release(uploadGate);

    ASSERT_TRUE(waitForDone(device)) << "state: " << state(device).toStdString();
    expectEachUploadedOnce(exercises);
    EXPECT_EQ(logins(), 1);
    EXPECT_EQ(logCount(QStringLiteral("There is already a sync ongoing")), 0);
    stopAndCheckEveryScenario(*m_run);
}

// A phase whose callback throws on the web service's answer: the run ends
// in the general error ("6;"), the log names the exception, and the next
// sync of the device (plugged in again) completes.
TEST_F(EndToEnd, APhaseCallbackThatThrowsEndsTheRunAndTheNextSyncCompletes)
{
    const QString broken = QStringLiteral(
        "function UserSettings(eLocal, eUserSync) {\n"
        "    this.name = \"user_settings\";\n"
        "    this.eUserSync = eUserSync;\n"
        "    this.syncStatus = 0;\n"
        "    this.syncFailStatus = 0;\n"
        "    this.showInSummary = false;\n"
        "    this.finishText = \"\";\n"
        "    this.moreInfoText = \"\";\n"
        "}\n"
        "UserSettings.prototype.runSyncPhase = function () {\n"
        "    this.eUserSync.read(\"user-settings\", this, function () {\n"
        "        throw new TypeError(\"e2e user settings unreadable\");\n"
        "    }, function () {}, \"application/x-protobuf\", \"application/x-protobuf\");\n"
        "};\n");
    QJsonArray routes{phaseScript(QStringLiteral("user_settings"), broken)};
    for (const QJsonValue& rule : scenarioRoutes())
        routes.append(rule);
    m_run->setRoutes(routes);
    const std::vector<Exercise> exercises = someExercises();
    zarvo::test::usb_test_device device;
    seed(device, exercises);
    ASSERT_TRUE(m_run->startProgram());
    ASSERT_TRUE(m_run->waitForRequest(
        [](const FakeRequest& request) { return request.path == indexPage; }));
    ASSERT_EQ(m_run->emulator("plug " + device.serial()), "ok");
    ASSERT_TRUE(m_run->waitForSetting(
        decimalId(device),
        [](const QString& value) { return value.startsWith(QLatin1String("6;")); }, 120000))
        << "state: " << state(device).toStdString();
    EXPECT_TRUE(m_run->waitForLog(QStringLiteral("Page error: TypeError: e2e user settings "
                                                 "unreadable")));
    EXPECT_TRUE(m_run->waitForLog(QStringLiteral("shows i18n.error_message_libgeneralerror")));
    expectScreenshot(*m_run, QStringLiteral("phase-error"), RavoSync::E2e::traySyncError);

    // The content server mended: the fixture's phase again.
    m_run->setRoutes(scenarioRoutes());
    ASSERT_EQ(m_run->emulator("unplug " + device.serial()), "ok");
    ASSERT_TRUE(
        m_run->waitForLog(QStringLiteral("Device disappeared: DeviceId: ") + decimalId(device)));
    ASSERT_EQ(m_run->emulator("plug " + device.serial()), "ok");
    ASSERT_TRUE(waitForDone(device)) << "state: " << state(device).toStdString();
    expectEachUploadedOnce(exercises);
    EXPECT_EQ(deviceFile(device, QStringLiteral("/U/0/UDEVSET.BPB")), userSettings);
    stopAndCheckEveryScenario(*m_run);
}

// Two devices, each synced in its own window. The first leaves: its window
// shows the device list, which asks for the attached devices again; the
// second device, served by its own window, is not handed over, so it is
// not synced again and no device gets a second window.
TEST_F(EndToEnd, ADeviceListAskingAgainTakesNoOtherDevicesSync)
{
    m_run->setRoutes(scenarioRoutes());
    const std::vector<Exercise> exercises = someExercises();
    zarvo::test::usb_test_device first;
    zarvo::test::usb_test_device second;
    seed(second, exercises);
    ASSERT_TRUE(m_run->startProgram());
    ASSERT_TRUE(m_run->waitForRequest(
        [](const FakeRequest& request) { return request.path == indexPage; }));
    ASSERT_EQ(m_run->emulator("plug " + first.serial()), "ok");
    ASSERT_TRUE(waitForDone(first)) << "state: " << state(first).toStdString();
    ASSERT_EQ(m_run->emulator("plug " + second.serial()), "ok");
    ASSERT_TRUE(waitForDone(second)) << "state: " << state(second).toStdString();
    const int userQueries = logCount(QStringLiteral("Userdata get ok."));
    ASSERT_EQ(userQueries, 2);

    ASSERT_EQ(m_run->emulator("unplug " + first.serial()), "ok");
    const QString gone = QStringLiteral("Device disappeared: DeviceId: ") + decimalId(first);
    ASSERT_TRUE(m_run->waitForLog(gone));
    // The first window's device list has started and asked.
    ASSERT_TRUE(m_run->waitForLogAfter(gone, QStringLiteral("Attached devices asked for: ")));
    // Plugged again, the first device goes back to its window and syncs: its
    // run stores "4;" before its exercises phase, its end "5;" (the time may
    // equal the first sync's when both are quick).
    ASSERT_EQ(m_run->emulator("plug " + first.serial()), "ok");
    ASSERT_TRUE(m_run->waitForLogAfter(gone, QStringLiteral("e2e exercises to upload: "), 180000));
    ASSERT_TRUE(waitForDone(first)) << "state: " << state(first).toStdString();

    EXPECT_EQ(logCount(QStringLiteral("Userdata get ok.")), userQueries + 1)
        << "only the returning device was asked for its user";
    EXPECT_EQ(exerciseUploads(), int(exercises.size()));
    EXPECT_EQ(m_run->programWindows().size(), 2) << "one window per device";
    stopAndCheckEveryScenario(*m_run);
}

} // namespace
