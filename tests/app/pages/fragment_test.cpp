// The device list and progress page from the real page tree, shown in a
// host page with a stand-in controller: the script tables, and what the
// fragments ask of the bridge.
#include "tests/app/support/page_script_test.h"
#include "tests/app/support/web_wait.h"

#include "app/sync_state/sync_state.h"

namespace RavoSync::Test {
namespace {

using ConnectGlobals::SyncState;

class FragmentScripts : public PageScriptTest {
protected:
    bool show(const QString& page, const QString& readyWhen)
    {
        js(QStringLiteral("Host.reset(); Host.show('%1', function () {});").arg(page));
        return waitForJs(frame(), readyWhen);
    }

    QList<StubSynchroniser::Call> callsNamed(const QString& name) const
    {
        QList<StubSynchroniser::Call> found;
        for (const StubSynchroniser::Call& call : m_stub->calls()) {
            if (call.name == name)
                found.append(call);
        }
        return found;
    }
};

TEST_F(FragmentScripts, Tables)
{
    runSuite(QStringLiteral("fragment_host.html"), QStringLiteral("fragment_pages.js"));
}

TEST_F(FragmentScripts, DeviceListStartsIdleAndAsksForTheAttachedDevices)
{
    ASSERT_TRUE(loadHostPage(QStringLiteral("fragment_host.html")));
    m_stub->clearCalls();
    ASSERT_TRUE(show(QStringLiteral("devicelist.html"),
                     QStringLiteral("$('#index_header').text() === 'Connect your device'")));
    const auto states = callsNamed(QStringLiteral("syncProcessStateChanged"));
    ASSERT_EQ(states.size(), 1);
    EXPECT_EQ(states.front().arguments.value(1).toInt(), int(SyncState::Idle));
    EXPECT_EQ(callsNamed(QStringLiteral("requestAvailableTCs")).size(), 1);
}

TEST_F(FragmentScripts, SyncButtonOfARowStartsThatDevice)
{
    ASSERT_TRUE(loadHostPage(QStringLiteral("fragment_host.html")));
    ASSERT_TRUE(show(QStringLiteral("devicelist.html"),
                     QStringLiteral("typeof addTcToList === 'function' && "
                                    "$('#index_header').text() === 'Connect your device'")));
    js(QStringLiteral("$('#ktpage').trigger('tcOnline', ['18446744073709551615', 'FFFF', 'x']);"
                      "$(document.getElementById('c_18446744073709551615'))"
                      ".find('input').trigger('click');"));
    const auto starts = callsNamed(QStringLiteral("startSyncWithDevice"));
    ASSERT_EQ(starts.size(), 1);
    EXPECT_EQ(starts.front().arguments.value(0).toULongLong(), 18446744073709551615ULL);
}

} // namespace
} // namespace RavoSync::Test
