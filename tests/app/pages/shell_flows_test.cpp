// The sync controller's flows around the device run (run.js in
// shell_host.html): login, server time, first-time use with its long poll,
// the post-update run and the diary, one run at a time. The stub synchroniser plays the device
// ("StubDevice"); "Probe" sets the fake web service's answers per row (its
// login, long-poll and clock handlers, or plain rules) and shows what
// reached the desktop (the recording URL handlers), the window and the
// clipboard; the content server has the sync fixtures' login fragment.
#include "tests/app/support/page_probe_script.h"
#include "tests/app/support/page_script_test.h"
#include "tests/app/support/stub_device_script.h"
#include "tests/app/support/url_handlers.h"

namespace RavoSync::Test {
namespace {

class ShellFlows : public PageScriptTest {
protected:
    void SetUp() override
    {
        // The content server's login fragment.
        m_firstContent = QStringList{FakeWeb::syncFixturesDir()};
        PageScriptTest::SetUp();
        if (HasFatalFailure())
            return;
        clearRecordedUrls();
        exposeStubDevice();
        m_probe = std::make_unique<PageProbeScript>(m_bridge.get(), m_web.get());
        exposeObject(QStringLiteral("Probe"), m_probe.get());
    }

    void TearDown() override
    {
        m_probe.reset();
        PageScriptTest::TearDown();
        clearRecordedUrls();
    }

    std::unique_ptr<PageProbeScript> m_probe;
};

TEST_F(ShellFlows, LoginAndServerTime)
{
    runSuite(QStringLiteral("shell_host.html"), QStringLiteral("shell_login.js"));
}

TEST_F(ShellFlows, FirstTimeUse)
{
    runSuite(QStringLiteral("shell_host.html"), QStringLiteral("shell_first_use.js"));
}

TEST_F(ShellFlows, OneRunAtATime)
{
    runSuite(QStringLiteral("shell_host.html"), QStringLiteral("shell_guards.js"));
}

TEST_F(ShellFlows, PostUpdateRunAndDiary)
{
    runSuite(QStringLiteral("shell_host.html"), QStringLiteral("shell_post_update.js"));
}

} // namespace
} // namespace RavoSync::Test
