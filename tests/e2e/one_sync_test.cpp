// One sync per device, end to end: a second start of the program while a
// device syncs only shows that device's window (the run goes on, each file
// reaches the web service once), and the device list of a window whose
// device left never takes another device's sync.
#include "tests/e2e/harness/e2e_run.h"
#include "tests/e2e/harness/scenario_checks.h"
#include "tests/support/usb_test_device.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using RavoSync::E2e::EndToEndRun;
using RavoSync::E2e::FakeRequest;
using RavoSync::E2e::stopAndCheckEveryScenario;
using RavoSync::Test::FakeWebService;

const QString indexPage = QStringLiteral("/contentserver/ui/index.html");

// "/U/0/<day>/E/<time>/BASE.BPB" on the device, uploaded as
// "exercises/<day>/<time>" below the login's sync address.
struct Exercise {
    QString day;
    QString time;

    QString file() const { return QStringLiteral("/U/0/%1/E/%2/BASE.BPB").arg(day, time); }
    QString uploadPath() const { return QStringLiteral("exercises/%1/%2").arg(day, time); }
};

const std::vector<Exercise> exercises{{QStringLiteral("20260302"), QStringLiteral("071500")},
                                      {QStringLiteral("20260303"), QStringLiteral("064000")},
                                      {QStringLiteral("20260304"), QStringLiteral("120000")}};

// The web service's answers these runs need beside the held upload: the
// user's settings and the clock.
QJsonArray serviceRoutes(QJsonArray first = {})
{
    first.append(QJsonObject{{"method", "GET"},
                             {"path", "*/user-settings"},
                             {"headers", QJsonObject{{"Content-Type", "application/x-protobuf"}}},
                             {"bodyBase64", QString::fromLatin1(QByteArray("\x0a\x03"
                                                                           "e2e")
                                                                    .toBase64())}});
    first.append(FakeWebService::handlerRule(QStringLiteral("GET"), QStringLiteral("*/time/*"),
                                             QStringLiteral("time"), {}));
    return first;
}

class OneSync : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_run = std::make_unique<EndToEndRun>(QString::fromUtf8(info->name()));
        ASSERT_TRUE(m_run->ready()) << m_run->error().toStdString();
    }

    void seed(const zarvo::test::usb_test_device& device, const std::vector<Exercise>& list)
    {
        const QString root = m_run->sandbox().path(QStringLiteral("seed-") +
                                                   QString::fromStdString(device.serial()));
        for (const Exercise& exercise : list) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(root + exercise.file()).path()));
            QFile file(root + exercise.file());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(2000, char(exercise.time.toInt() % 251)));
        }
        ASSERT_EQ(m_run->emulator("seed " + device.serial() + " " + root.toStdString()), "ok");
    }

    int requestsTo(const QString& method, const QString& pathEnd) const
    {
        int count = 0;
        for (const FakeRequest& request : m_run->web().requests())
            count += request.method == method && request.path.endsWith(pathEnd);
        return count;
    }
    QString state(const zarvo::test::usb_test_device& device) const
    {
        return m_run->sandbox().setting(QString::number(device.id())).toString();
    }
    bool waitForDone(const zarvo::test::usb_test_device& device)
    {
        return m_run->waitForSetting(
            QString::number(device.id()),
            [](const QString& value) { return value.startsWith(QLatin1String("5;")); }, 180000);
    }
    int logCount(const QString& text) const
    {
        return int(m_run->sandbox().logLines().filter(text).size());
    }
    static QString hexId(const zarvo::test::usb_test_device& device)
    {
        return QStringLiteral("%1").arg(quint64(device.id()), 8, 16, QLatin1Char('0')).toUpper();
    }

    std::unique_ptr<EndToEndRun> m_run;
};

// The user starts the program again while the device's sync waits on the
// web service for an upload: the running program shows the window, and the
// sync goes on from where it was: one login, the clocks set once, each file
// uploaded once.
TEST_F(OneSync, ASecondStartDuringASyncLeavesTheRunAlone)
{
    const Exercise& held = exercises.at(1);
    m_run->setRoutes(serviceRoutes(QJsonArray{
        QJsonObject{{"method", "PUT"}, {"path", "*/" + held.uploadPath()}, {"delayMs", 4000}}}));
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

    ASSERT_TRUE(waitForDone(device)) << "state: " << state(device).toStdString();
    for (const Exercise& exercise : exercises)
        EXPECT_EQ(requestsTo(QStringLiteral("PUT"), QLatin1Char('/') + exercise.uploadPath()), 1)
            << exercise.uploadPath().toStdString();
    EXPECT_EQ(requestsTo(QStringLiteral("POST"), QStringLiteral("/login/user/associateToApp")), 1);
    EXPECT_EQ(logCount(QStringLiteral("Start... Version: ")), starts) << "no page started again";
    EXPECT_EQ(m_run->programWindows().size(), 1) << "one window serves the device";
    stopAndCheckEveryScenario(*m_run);
}

// Two devices, each synced in its own window. The first leaves: its window
// shows the device list, which asks for the attached devices again; the
// second device, served by its own window, is not handed over, so it is
// never synced twice and no device gets a second window.
TEST_F(OneSync, ADeviceListAskingAgainTakesNoOtherDevicesSync)
{
    m_run->setRoutes(serviceRoutes());
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
    ASSERT_TRUE(m_run->waitForLog(QStringLiteral("Device disappeared: DeviceId: ") +
                                  QString::number(first.id())));
    // The first window's device list has started and asked.
    ASSERT_TRUE(m_run->waitForLogAfter(QStringLiteral("Device disappeared: DeviceId: ") +
                                           QString::number(first.id()),
                                       QStringLiteral("Attached devices asked for: ")));
    // Plugged again, the first device goes back to its window and syncs.
    const QString done = state(first);
    ASSERT_EQ(m_run->emulator("plug " + first.serial()), "ok");
    ASSERT_TRUE(m_run->waitForSetting(
        QString::number(first.id()),
        [&](const QString& value) {
            return value.startsWith(QLatin1String("5;")) && value != done;
        },
        180000))
        << "state: " << state(first).toStdString();

    EXPECT_EQ(logCount(QStringLiteral("Userdata get ok.")), userQueries + 1)
        << "only the returning device was asked for its user";
    for (const Exercise& exercise : exercises)
        EXPECT_EQ(requestsTo(QStringLiteral("PUT"), QLatin1Char('/') + exercise.uploadPath()), 1)
            << exercise.uploadPath().toStdString();
    EXPECT_EQ(m_run->programWindows().size(), 2) << "one window per device";
    stopAndCheckEveryScenario(*m_run);
}

} // namespace
