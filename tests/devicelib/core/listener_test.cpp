// Listeners, notification threads and the session life, with the fake
// drivers, connection kinds and listener.
#include "devicelib/core/core_session.h"
#include "devicelib/core/driver_registry.h"
#include "devicelib/core/notification.h"
#include "devicelib/core/posting.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "tests/devicelib/core/fake_drivers_registered.h"
#include "tests/devicelib/core/listener_fixture.h"
#include "tests/support/fake_connection.h"
#include "tests/support/fake_links.h"

#include <atomic>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using zarvo::test::callback;
using zarvo::test::exchange_answer;
using zarvo::test::fake_device;
using zarvo::test::latch;
using zarvo::test::take_snapshot;

std::string battery(unsigned level)
{
    protocol::PbZFtpBatteryStatus status;
    status.set_battery_status(level);
    return status.SerializeAsString();
}

bool listed(zarvo::session& s)
{
    std::set<zarvo::entry> out;
    return s.fetch("/", out);
}

std::size_t count_lines(const zarvo::test::recording_logger& log, const std::string& part)
{
    std::size_t n = 0;
    for (const auto& m : log.messages())
        n += m.find(part) != std::string::npos;
    return n;
}

class Sessions : public zarvo::test::listener_fixture {};

TEST_F(Sessions, TwoListenersBothGetEstablishedAndStoppingOneLeavesTheOther)
{
    start(0);
    start(1);
    usb().plug(device());
    ASSERT_TRUE(listener(0).wait_for(callback::established, device()));
    ASSERT_TRUE(listener(1).wait_for(callback::established, device()));

    listener(0).stop();
    EXPECT_EQ(listener(0).returned(callback::disconnected, device()), 1);
    EXPECT_EQ(listener(1).count(callback::disconnected, device()), 0);
    EXPECT_TRUE(listed(*listener(1).session_of(device())));
    EXPECT_TRUE(listener(1).running());
}

TEST_F(Sessions, WithdrawAndPublishAgainGiveANewSessionWhileTheOldOneLivesOnInItsCallback)
{
    start();
    usb().plug(device());
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    zarvo::session* old_session = take_snapshot().sessions.at(device());

    latch release;
    std::atomic<bool> expired{false};
    listener().on(callback::disconnected, [&](zarvo::session& s) {
        try {
            listed(s);
        } catch (const zarvo::session_expired&) {
            expired = true;
        }
        release.wait();
    });
    usb().unplug(device());
    ASSERT_TRUE(listener().wait_for(callback::disconnected, device()));
    EXPECT_EQ(take_snapshot().live_sessions, 1u);

    zarvo::test::usb_like_driver::set_plug_in_delay(100);
    const auto published = std::chrono::steady_clock::now();
    usb().plug(device());
    ASSERT_TRUE(listener().wait_for(callback::established, device(), 2));
    const auto second = listener().records(callback::established, device()).at(1);
    EXPECT_GE(second.at - published, 100ms);
    const auto snap = take_snapshot();
    EXPECT_NE(snap.sessions.at(device()), old_session);
    EXPECT_EQ(snap.live_sessions, 2u);
    EXPECT_TRUE(expired);

    release.open();
    EXPECT_TRUE(zarvo::test::eventually([] { return take_snapshot().live_sessions == 1; }));
    listener().on(callback::disconnected, {});
}

TEST_F(Sessions, LosingOneOfTwoConnectionsReducesTheSessionAndLosingTheOtherEndsIt)
{
    start();
    usb().plug(device());
    net().plug(device()); // both kinds under one id: one session
    ASSERT_TRUE(listener().wait_for(callback::established, device(), 2));
    auto snap = take_snapshot();
    ASSERT_EQ(snap.sessions.size(), 1u);
    EXPECT_EQ(snap.session_connections.at(device()), 2);

    net().unplug(device());
    ASSERT_TRUE(listener().wait_for(callback::disconnected, device()));
    const auto reduced = listener().records(callback::disconnected, device()).at(0);
    snap = take_snapshot();
    EXPECT_EQ(snap.session_connections.at(device()), 1);
    EXPECT_EQ(listener().records(callback::established, device()).at(0).session, reduced.session);

    usb().unplug(device());
    ASSERT_TRUE(listener().wait_for(callback::disconnected, device(), 2));
    EXPECT_TRUE(zarvo::test::eventually([] { return take_snapshot().live_sessions == 0; }));
    EXPECT_NE(listener().records(callback::disconnected, device()).at(1).thread, reduced.thread);
}

TEST_F(Sessions, BothWithdrawalsBeforeTheReductionGiveOnlyThePresenceDisconnected)
{
    start();
    usb().plug(device());
    net().plug(device());
    ASSERT_TRUE(listener().wait_for(callback::established, device(), 2));

    latch entered, release;
    zarvo::core::engine::instance().post(
        std::make_unique<zarvo::test::engine_blocker>(entered, release));
    ASSERT_TRUE(entered.wait());
    net().unplug(device());
    usb().unplug(device());
    release.open();

    EXPECT_TRUE(zarvo::test::eventually([] { return take_snapshot().live_sessions == 0; }));
    take_snapshot(); // the reduction, queued after the withdrawals, has run
    EXPECT_EQ(listener().count(callback::disconnected, device()), 1);
}

TEST_F(Sessions, DeviceEventsReachEveryListenerAndUnknownIdsCreateNothing)
{
    start(0);
    start(1);
    usb().plug(device());
    for (std::size_t i : {0, 1})
        ASSERT_TRUE(listener(i).wait_for(callback::established, device()));

    ASSERT_TRUE(usb().notify(device(), 2));
    ASSERT_TRUE(usb().notify(device(), 3, battery(55)));
    ASSERT_TRUE(usb().notify(device(), 7));
    const std::uint64_t unknown = device(1);
    zarvo::core::post_device_idle(unknown);
    zarvo::core::post_battery_status_change(unknown, 10);
    zarvo::core::post_sync_required(unknown);

    for (std::size_t i : {0, 1}) {
        auto& l = listener(i);
        ASSERT_TRUE(l.wait_for(callback::idling, device()));
        ASSERT_TRUE(l.wait_for(callback::battery_status, device()));
        ASSERT_TRUE(l.wait_for(callback::sync_required, device()));
        EXPECT_EQ(l.records(callback::battery_status, device()).at(0).level, 55);
    }
    const auto snap = take_snapshot();
    EXPECT_EQ(snap.sessions.size(), 1u);
    for (std::size_t i : {0, 1}) {
        for (const auto& r : listener(i).records())
            EXPECT_NE(r.device, unknown);
    }
}

TEST_F(Sessions, OnlyPresenceThreadsRemainOnceEventsHaveCompleted)
{
    start();
    usb().plug(device());
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    for (int i = 0; i < 5; ++i)
        usb().notify(device(), 2);
    ASSERT_TRUE(listener().wait_for(callback::idling, device(), 5));
    EXPECT_TRUE(zarvo::test::eventually([&] {
        const auto snap = take_snapshot();
        return threads_of(snap, listener()) == 1 && snap.session_threads.at(device()) == 1;
    }));
}

TEST_F(Sessions, AStaleCompletionNumberJoinsNothingAndTheEngineGoesOn)
{
    start();
    usb().plug(device());
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    std::atomic<std::uint64_t> idle_serial{0};
    listener().on(callback::idling, [&](zarvo::session&) {
        idle_serial = zarvo::core::notification_thread_serial();
    });
    usb().notify(device(), 2);
    ASSERT_TRUE(listener().wait_for(callback::idling, device()));
    ASSERT_TRUE(
        zarvo::test::eventually([&] { return take_snapshot().session_threads.at(device()) == 1; }));
    ASSERT_NE(idle_serial, 0u);
    // Sessions of other tests' devices give this listener presence threads too.
    const std::size_t held = threads_of(take_snapshot(), listener());

    // The finished thread's number arrives again, behind a blocked engine:
    // only the presence thread is held, and it must not be joined.
    latch entered, release;
    zarvo::core::engine::instance().post(
        std::make_unique<zarvo::test::engine_blocker>(entered, release));
    ASSERT_TRUE(entered.wait());
    zarvo::core::post_event_completed(idle_serial);
    zarvo::core::post_event_completed(0);
    release.open();

    const auto snap = take_snapshot();
    EXPECT_EQ(threads_of(snap, listener()), held);
    EXPECT_EQ(snap.session_threads.at(device()), 1u);
    EXPECT_EQ(count_lines(log, "is no longer held; nothing to join"), 2u);
    listener().on(callback::idling, {});
    usb().notify(device(), 2);
    EXPECT_TRUE(listener().wait_for(callback::idling, device(), 2));
}

class Ownership : public zarvo::test::listener_fixture {};

TEST_F(Ownership, AWithdrawnConnectionIsToldAndDeletedOnceOnTheEngineThread)
{
    start();
    fake_device d;
    usb().plug(device(), d);
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    std::thread::id engine_thread;
    zarvo::test::call_query q([&] { engine_thread = std::this_thread::get_id(); });
    zarvo::core::engine::instance().send(q);

    usb().unplug(device());
    ASSERT_TRUE(zarvo::test::eventually([&] { return d.probe->destroyed == 1; }));
    EXPECT_EQ(d.probe->withdrawn, 1);
    std::lock_guard<std::mutex> lock(d.probe->mutex);
    EXPECT_EQ(d.probe->withdrawn_on.at(0), engine_thread);
    EXPECT_EQ(d.probe->destroyed_on.at(0), engine_thread);
}

TEST_F(Ownership, BadPublicationsAndWithdrawalsAreTracedAndChangeNothing)
{
    start();
    auto probe = std::make_shared<zarvo::test::connection_probe>();
    auto* c = new zarvo::test::fake_connection(probe);
    zarvo::test::fake_connection stranger; // never published, owned here
    const auto id = device();

    zarvo::core::post_publish_connection(id, c, 0);
    ASSERT_TRUE(listener().wait_for(callback::established, id));
    zarvo::core::post_publish_connection(id, nullptr, 0);
    zarvo::core::post_publish_connection(id, c, 0);        // held already
    zarvo::core::post_publish_connection(device(1), c, 0); // held under another id
    zarvo::core::post_withdraw_connection(device(1), c);   // not under that id
    zarvo::core::post_withdraw_connection(id, &stranger);  // not held at all
    auto snap = take_snapshot();
    EXPECT_EQ(snap.sessions.size(), 1u);
    EXPECT_EQ(snap.session_connections.at(id), 1);
    EXPECT_EQ(probe->withdrawn, 0);
    EXPECT_EQ(count_lines(log, "Refused a null connection"), 1u);
    EXPECT_EQ(count_lines(log, "published again"), 2u);
    EXPECT_EQ(count_lines(log, "does not hold"), 2u);

    zarvo::core::post_withdraw_connection(id, c);
    zarvo::core::post_withdraw_connection(id, c); // c is gone: only compared
    ASSERT_TRUE(listener().wait_for(callback::disconnected, id));
    take_snapshot();
    EXPECT_EQ(probe->withdrawn, 1);
    EXPECT_EQ(probe->destroyed, 1);
    EXPECT_EQ(count_lines(log, "does not hold"), 3u);
    EXPECT_EQ(listener().count(callback::established, id), 1);
}

TEST_F(Ownership, AWithdrawalWaitsForARunningTransferWhichEndsNormally)
{
    start();
    fake_device d;
    auto backend = std::make_shared<zarvo::test::scripted_backend>();
    d.backend = backend;
    usb().plug(device(), d);
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    zarvo::session* s = listener().session_of(device());

    latch release;
    exchange_answer stalled;
    stalled.payload = "content";
    stalled.stall = &release;
    backend->answer(stalled);
    std::ostringstream content;
    std::thread reader([&] { s->read("/A.BPB", content); });
    ASSERT_TRUE(zarvo::test::eventually([&] { return backend->requests().size() == 1; }));

    std::atomic<bool> expired{false};
    latch reader_done; // until then the reader may still hold the device lock
    listener().on(callback::disconnected, [&](zarvo::session& gone) {
        reader_done.wait();
        std::ostringstream out;
        try {
            gone.read("/A.BPB", out);
        } catch (const zarvo::session_expired&) {
            expired = true;
        }
    });
    usb().unplug(device());
    ASSERT_TRUE(zarvo::test::eventually([&] { return d.probe->withdrawn == 1; }));
    EXPECT_EQ(d.probe->destroyed, 0); // still in use by the transfer
    EXPECT_EQ(listener().count(callback::disconnected, device()), 0);

    release.open();
    reader.join();
    reader_done.open();
    EXPECT_EQ(content.str(), "content");
    ASSERT_TRUE(listener().wait_returned(callback::disconnected, device()));
    EXPECT_TRUE(zarvo::test::eventually([&] { return d.probe->destroyed == 1; }));
    EXPECT_TRUE(expired);
}

class Timing : public zarvo::test::listener_fixture {};

TEST_F(Timing, EstablishedComesNoEarlierThanThePublishDelay)
{
    start();
    zarvo::test::usb_like_driver::set_plug_in_delay(300);
    // The drivers run, so the device is published with the plug-in delay.
    take_snapshot();
    usb().plug(device()); // published with the current delay
    const auto published = std::chrono::steady_clock::now();
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    EXPECT_GE(listener().records(callback::established, device()).at(0).at - published, 300ms);
}

TEST_F(Timing, AnIdleEventDuringTheDelayComesOnlyAfterEstablishedHasReturned)
{
    start();
    zarvo::test::usb_like_driver::set_plug_in_delay(100);
    std::atomic<int> established_returned{-1};
    listener().on(callback::established,
                  [](zarvo::session&) { std::this_thread::sleep_for(200ms); });
    listener().on(callback::idling, [&](zarvo::session& s) {
        established_returned = listener().returned(callback::established, s.device_id());
    });
    usb().plug(device());
    usb().notify(device(), 2);
    ASSERT_TRUE(listener().wait_returned(callback::idling, device()));
    EXPECT_EQ(established_returned, 1);
}

TEST_F(Timing, ASessionEndingDuringALongDelayGivesEstablishedThenDisconnectedAtOnce)
{
    start();
    zarvo::test::usb_like_driver::set_plug_in_delay(60000);
    usb().plug(device());
    usb().unplug(device());
    ASSERT_TRUE(listener().wait_for(callback::disconnected, device(), 1, 10s));
    const auto records = listener().records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].kind, callback::established);
    EXPECT_EQ(records[1].kind, callback::disconnected);
}

TEST_F(Timing, AListenerStartedLaterIsToldOfExistingSessionsWithoutDelay)
{
    start(0);
    zarvo::test::usb_like_driver::set_plug_in_delay(60000);
    usb().plug(device(0));
    usb().plug(device(1));
    take_snapshot(); // both sessions exist, their presence threads sleep
    const auto started = std::chrono::steady_clock::now();
    start(1);
    for (std::size_t i : {0, 1}) {
        ASSERT_TRUE(listener(1).wait_for(callback::established, device(i), 1, 10s));
        EXPECT_LT(listener(1).records(callback::established, device(i)).at(0).at - started, 10s);
    }
    EXPECT_EQ(listener(0).count(callback::established, device(0)), 0);
}

class StartStop : public zarvo::test::listener_fixture {};

TEST_F(StartStop, StopReturnsAfterTheDisconnectedCallbacksOfEverySession)
{
    start();
    usb().plug(device(0));
    usb().plug(device(1));
    for (std::size_t i : {0, 1})
        ASSERT_TRUE(listener().wait_for(callback::established, device(i)));
    latch release;
    listener().on(callback::disconnected, [&](zarvo::session&) { release.wait(); });
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        listener().stop();
        stopped = true;
    });
    for (std::size_t i : {0, 1})
        ASSERT_TRUE(listener().wait_for(callback::disconnected, device(i)));
    EXPECT_FALSE(stopped);
    release.open();
    stopper.join();
    for (std::size_t i : {0, 1})
        EXPECT_EQ(listener().returned(callback::disconnected, device(i)), 1);
}

TEST_F(StartStop, StoppingADetachedListenerReturnsAtOnce)
{
    listener(1).stop(); // never started, no engine yet
    start(0);
    listener(1).stop(); // never started, engine running
    listener(1).start();
    listener(1).stop();
    listener(1).stop(); // stopped twice
    EXPECT_FALSE(listener(1).running());
    EXPECT_TRUE(listener(0).running());
}

TEST_F(StartStop, TheLastStopEndsTheEngineThreadAndAStartStartsTheDriversAgain)
{
    listener().start();
    EXPECT_TRUE(listener().running());
    listener().stop();
    EXPECT_EQ(zarvo::core::engine::instance().state(), zarvo::core::engine::thread_state::none);
    EXPECT_FALSE(listener().running());
    EXPECT_EQ(usb().starts(), 1);
    EXPECT_EQ(usb().stops(), 1);

    start();
    EXPECT_EQ(usb().starts(), 2);
    EXPECT_TRUE(listener().running());
}

TEST_F(StartStop, CallbacksMayAskRunningButNotStartOrStop)
{
    std::atomic<int> refused{0};
    std::atomic<int> running_in_established{-1};
    std::atomic<int> running_in_disconnected{-1};
    auto& l = listener();
    l.on(callback::established, [&](zarvo::session&) {
        running_in_established = l.running();
        try {
            l.start();
        } catch (const zarvo::invalid_function&) {
            ++refused;
        }
        try {
            l.stop();
        } catch (const zarvo::invalid_function&) {
            ++refused;
        }
    });
    l.on(callback::disconnected, [&](zarvo::session&) { running_in_disconnected = l.running(); });
    start();
    usb().plug(device());
    ASSERT_TRUE(l.wait_for(callback::established, device()));
    ASSERT_TRUE(zarvo::test::eventually([&] { return running_in_established != -1; }));
    l.stop(); // the last listener
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(running_in_established, 1);
    EXPECT_EQ(running_in_disconnected, 0);
}

class Failures : public zarvo::test::listener_fixture {};

TEST_F(Failures, AThrowingCallbackIsTracedAndTheSessionLivesOn)
{
    auto& l = listener();
    l.on(callback::established, [](zarvo::session&) { throw std::runtime_error("boom"); });
    l.on(callback::idling, [](zarvo::session&) { throw 42; });
    start();
    usb().plug(device());
    ASSERT_TRUE(l.wait_for(callback::established, device()));
    usb().notify(device(), 2);
    ASSERT_TRUE(l.wait_for(callback::idling, device()));
    usb().unplug(device());
    ASSERT_TRUE(l.wait_for(callback::disconnected, device()));
    EXPECT_TRUE(zarvo::test::eventually([] { return take_snapshot().live_sessions == 0; }));
    EXPECT_EQ(count_lines(log, "Listener callback established failed: boom"), 1u);
    EXPECT_EQ(count_lines(log, "Listener callback idling failed"), 1u);
}

TEST_F(Failures, ASessionThatExistsBeforeTheFirstListenerIsEstablishedWhenItStarts)
{
    auto* c = new zarvo::test::fake_connection;
    zarvo::core::post_publish_connection(device(), c, 0);
    EXPECT_FALSE(listener().running()); // the engine ran the publish and ends
    ASSERT_EQ(take_snapshot().sessions.count(device()), 1u);

    start();
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    zarvo::core::post_device_idle(device());
    ASSERT_TRUE(listener().wait_for(callback::idling, device()));
    listener().stop();
    EXPECT_EQ(listener().count(callback::disconnected, device()), 1);

    zarvo::core::post_withdraw_connection(device(), c);
    EXPECT_TRUE(zarvo::test::eventually([] { return take_snapshot().live_sessions == 0; }));
}

} // namespace
