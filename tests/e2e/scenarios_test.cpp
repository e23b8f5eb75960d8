// Scenarios of the whole system on a private display: the real RavoSync,
// the HID emulator program and the fake web service (see harness/e2e_run.h).
#include "tests/e2e/harness/e2e_run.h"
#include "tests/support/usb_test_device.h"

#include <gtest/gtest.h>

#include <iostream>
#include <memory>

namespace {

using RavoSync::E2e::EndToEndRun;
using RavoSync::E2e::FakeRequest;

const QString indexPage = QStringLiteral("/contentserver/ui/index.html");

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_run = std::make_unique<EndToEndRun>(QString::fromUtf8(info->name()));
        ASSERT_TRUE(m_run->ready()) << m_run->error().toStdString();
    }

    // The rows every scenario shows, once the program has been asked to end.
    void stopAndCheckEveryScenario()
    {
        const long emulatorPeak = m_run->emulatorPeakKiB();
        EXPECT_EQ(m_run->stopProgram(), 0) << "SIGTERM ends the program with exit code 0";
        std::cout << "peak memory: RavoSync " << m_run->programPeakKiB() << " KiB, emulator "
                  << emulatorPeak << " KiB" << std::endl;
        EXPECT_EQ(m_run->faultLines(), QStringList());
        for (const FakeRequest& request : m_run->plainRequests())
            ADD_FAILURE() << "without TLS: " << request.method.toStdString() << " "
                          << request.scheme.toStdString() << "://" << request.host.toStdString()
                          << request.path.toStdString();
    }

    void expectScreenshot(const QString& moment)
    {
        EXPECT_FALSE(m_run->screenshot(moment).isEmpty())
            << moment.toStdString() << ": " << m_run->lastError().toStdString();
    }

    std::unique_ptr<EndToEndRun> m_run;
};

TEST_F(EndToEnd, FirstStartShowsTheDeviceLessWindowAndEndsOnSigterm)
{
    ASSERT_TRUE(m_run->startProgram());
    EXPECT_TRUE(m_run->waitForLog(QStringLiteral("*** First time use detected ***")));
    EXPECT_TRUE(m_run->waitForRequest(
        [](const FakeRequest& request) { return request.path == indexPage; }));
    EXPECT_TRUE(m_run->waitUntil([&] { return !m_run->syncWindowArea().isEmpty(); }, 60000));
    expectScreenshot(QStringLiteral("start"));
    stopAndCheckEveryScenario();
}

} // namespace
