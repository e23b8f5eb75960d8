#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/support/log_lines.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

using ConnectLib::Common;

namespace {

qint64 threadCpuMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

struct Measured {
    qint64 wallMs;
    qint64 cpuMs;
};

Measured measureDelay(int milliseconds)
{
    QElapsedTimer wall;
    const qint64 cpuBefore = threadCpuMs();
    wall.start();
    EXPECT_TRUE(Common::delay(milliseconds));
    return {wall.elapsed(), threadCpuMs() - cpuBefore};
}

// Device registration waits on the device library's threads, which have no
// Qt event dispatcher: there the wait must sleep, not spin.
TEST(Delay, WithoutEventDispatcherSleepsTheWholeTime)
{
    Measured measured{};
    std::thread plain([&measured] { measured = measureDelay(1000); });
    plain.join();
    EXPECT_GE(measured.wallMs, 1000);
    EXPECT_LT(measured.cpuMs, 300) << "wall " << measured.wallMs;
}

TEST(Delay, OnTheMainThreadProcessesEventsWithoutSpinning)
{
    int fired = 0;
    QTimer::singleShot(10, [&fired] { ++fired; });
    QTimer::singleShot(250, [&fired] { ++fired; });
    const Measured measured = measureDelay(500);
    EXPECT_EQ(fired, 2);
    EXPECT_GE(measured.wallMs, 500);
    EXPECT_LT(measured.cpuMs, 300) << "wall " << measured.wallMs;
}

// A zero timer that fires only if events are processed meanwhile: it shows
// whether a call waited. Destroyed unfired when it did not.
class EventProbe {
public:
    EventProbe()
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_fired = true; });
        m_timer.start(0);
    }
    bool fired() const { return m_fired; }

private:
    QTimer m_timer;
    bool m_fired = false;
};

TEST(Delay, ZeroAndNegativeReturnWithoutProcessingEvents)
{
    EventProbe probe;
    for (int milliseconds : {0, -1, -100000})
        EXPECT_TRUE(Common::delay(milliseconds));
    EXPECT_FALSE(probe.fired());
}

struct WaitProbe {
    bool waited = false;
    qint64 wallMs = 0;
};

WaitProbe probeWait(quint64 deviceId)
{
    EventProbe probe;
    QElapsedTimer wall;
    wall.start();
    EXPECT_TRUE(Common::waitIfNewDevice(deviceId));
    return {probe.fired(), wall.elapsed()};
}

TEST(WaitIfNewDevice, WaitsDelayNewForUnknownDevicesOnly)
{
    Common::setSettingsValue(QStringLiteral("delaynew"), QStringLiteral("300"));
    const WaitProbe unknown = probeWait(305419896);
    EXPECT_TRUE(unknown.waited);
    EXPECT_GE(unknown.wallMs, 300);

    // A device the program has stored something for is not waited for.
    Common::setSettingsValue(QStringLiteral("305419896"), QStringLiteral("stored"));
    EXPECT_FALSE(probeWait(305419896).waited);

    for (const char* text : {"soon", "12ms", "99999999999"}) {
        Common::setSettingsValue(QStringLiteral("delaynew"), QString::fromUtf8(text));
        EXPECT_FALSE(probeWait(42).waited) << text;
    }
}

// A value a page stored (the settings page writes any key that is not
// read-only) never holds a new device, and the device thread with it, for
// longer than the bound.
TEST(WaitIfNewDevice, AWaitLongerThanTheBoundIsCut)
{
    ConnectLib::Test::LogLines log;
    Common::setSettingsValue(QStringLiteral("delaynew"), QStringLiteral("2147483647"));
    const WaitProbe probe = probeWait(43);
    Common::setSettingsValue(QStringLiteral("delaynew"), QString());
    EXPECT_TRUE(probe.waited);
    EXPECT_GE(probe.wallMs, 10000);
    // Far below the asked 24 days; the margin is for a busy machine.
    EXPECT_LT(probe.wallMs, 60000);
    EXPECT_TRUE(
        log.contains(QStringLiteral("delaynew above 10000 ms: '2147483647', waiting 10000 ms")));
}

} // namespace
