// The session guard and its pointers: one use of a device at a time, an
// emptied guard stays empty, and the listener adapter forgets a guard's
// session.
#include "connectlib/provider/lz2_listener.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/tc_worker.h"
#include "devicelib/core/session.h"
#include "devicelib/errors/errors.h"
#include "tests/support/latch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <type_traits>

namespace ConnectLib {
namespace {

using zarvo::test::eventually;
using zarvo::test::latch;

static_assert(!std::is_copy_constructible<SessionPointer>::value,
              "a copy would release a lock it never took");
static_assert(!std::is_copy_assignable<SessionPointer>::value,
              "a copy would release a lock it never took");
static_assert(std::is_move_constructible<SessionPointer>::value, "the one lock moves");

// Stand-in addresses: the guard never calls the session itself.
zarvo::session* fakeSession(int index)
{
    static char storage[4];
    return reinterpret_cast<zarvo::session*>(&storage[index]);
}

// Takes a pointer on its own thread and reports when it has one.
class Taker {
public:
    explicit Taker(SessionGuard& guard)
        : m_thread([this, &guard] {
            SessionPointer pointer = guard.getSessionPointer();
            m_took = true;
        })
    {
    }
    ~Taker() { m_thread.join(); }
    bool took() const { return m_took; }

private:
    std::atomic<bool> m_took{false};
    std::thread m_thread;
};

TEST(SessionGuard, NullifyWaitsForTheHeldPointerThenEveryPointerIsEmpty)
{
    SessionGuard guard(fakeSession(0));
    std::atomic<bool> nullified{false};
    std::thread emptier;
    {
        SessionPointer held = guard.getSessionPointer();
        ASSERT_TRUE(held);
        EXPECT_EQ(held.raw(), fakeSession(0));
        emptier = std::thread([&] {
            guard.nullify();
            nullified = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(nullified) << "nullify returned while a pointer was held";
    }
    emptier.join();
    EXPECT_TRUE(nullified);

    SessionPointer after = guard.getSessionPointer();
    EXPECT_FALSE(after);
    EXPECT_TRUE(!after);
    EXPECT_EQ(after.raw(), nullptr);
    EXPECT_THROW(after->device_id(), zarvo::session_expired);
    EXPECT_THROW(static_cast<void>(*after), zarvo::session_expired);
    try {
        after->device_id();
    } catch (const zarvo::session_expired& e) {
        EXPECT_STREQ(e.what(), "Session expired.");
    }
}

TEST(SessionGuard, TheHoldingThreadNestsAndOthersWaitForEveryLevel)
{
    SessionGuard guard(fakeSession(0));
    std::unique_ptr<Taker> other;
    {
        SessionPointer outer = guard.getSessionPointer();
        {
            SessionPointer inner = guard.getSessionPointer(); // must not block
            EXPECT_EQ(inner.raw(), fakeSession(0));
            other = std::make_unique<Taker>(guard);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(other->took()) << "another thread got in while the outer pointer was held";
    }
    EXPECT_TRUE(eventually([&] { return other->took(); }));
}

TEST(SessionGuard, AMovedPointerReleasesTheOneLockOnce)
{
    SessionGuard guard(fakeSession(1));
    std::unique_ptr<Taker> other;
    {
        SessionPointer first = guard.getSessionPointer();
        SessionPointer moved(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(moved.raw(), fakeSession(1));
        other = std::make_unique<Taker>(guard);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(other->took());
    }
    EXPECT_TRUE(eventually([&] { return other->took(); }));
}

TEST(SessionGuard, ComparisonsTakeTheHeldPointerAsLeftOperand)
{
    SessionGuard low(fakeSession(1));
    const zarvo::session* lower = fakeSession(0);
    const zarvo::session* same = fakeSession(1);
    const zarvo::session* higher = fakeSession(2);
    const SessionPointer p = low.getSessionPointer();

    struct Row {
        const zarvo::session* other;
        bool eq, ne, lt, gt, le, ge;
    };
    const Row rows[] = {
        {lower, false, true, false, true, false, true},
        {same, true, false, false, false, true, true},
        {higher, false, true, true, false, true, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(p == row.other, row.eq);
        EXPECT_EQ(p != row.other, row.ne);
        EXPECT_EQ(p < row.other, row.lt);
        EXPECT_EQ(p > row.other, row.gt);
        EXPECT_EQ(p <= row.other, row.le);
        EXPECT_EQ(p >= row.other, row.ge);
    }
}

TEST(SessionGuard, ACopyHasItsOwnLock)
{
    SessionGuard guard(fakeSession(2));
    const SessionGuard copy(guard);
    SessionPointer held = guard.getSessionPointer();
    std::unique_ptr<Taker> other = std::make_unique<Taker>(const_cast<SessionGuard&>(copy));
    EXPECT_TRUE(eventually([&] { return other->took(); }));
}

// Exposes the map that the adapter's callbacks fill.
class Adapter : public LZ2Listener {
public:
    void track(zarvo::session* session, SessionGuard* guard) { m_sessions.insert(session, guard); }
    bool tracks(zarvo::session* session) const { return m_sessions.contains(session); }
};

TEST(LZ2Listener, ForgetRemovesOnlyTheGuardsSessionAndWaitsForItsUse)
{
    Adapter adapter;
    SessionGuard first(fakeSession(0));
    SessionGuard second(fakeSession(1));
    adapter.track(fakeSession(0), &first);
    adapter.track(fakeSession(1), &second);

    std::atomic<bool> forgotten{false};
    std::thread forgetter;
    {
        SessionPointer inUse = first.getSessionPointer();
        forgetter = std::thread([&] {
            adapter.forget(&first);
            forgotten = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(forgotten);
    }
    forgetter.join();
    EXPECT_FALSE(adapter.tracks(fakeSession(0)));
    EXPECT_TRUE(adapter.tracks(fakeSession(1)));

    // An emptied guard names no session, so nothing goes.
    second.nullify();
    adapter.forget(&second);
    EXPECT_TRUE(adapter.tracks(fakeSession(1)));
}

TEST(WorkerLifecycle, TheWorkerForgetsAndDeletesItsGuard)
{
    Adapter adapter;
    auto* guard = new SessionGuard(fakeSession(0));
    adapter.track(fakeSession(0), guard);
    delete new TCWorker(TCData(), &adapter, nullptr, guard, QString());
    EXPECT_FALSE(adapter.tracks(fakeSession(0)));
}

TEST(WorkerLifecycle, AReleasedSessionLeavesTheAdapterAlone)
{
    auto adapter = std::make_unique<Adapter>();
    auto* guard = new SessionGuard(fakeSession(1));
    adapter->track(fakeSession(1), guard);
    TCWorker worker(TCData(), adapter.get(), nullptr, guard, QString());

    worker.releaseSession();
    EXPECT_FALSE(adapter->tracks(fakeSession(1)));
    EXPECT_FALSE(guard->getSessionPointer());
    // The worker no longer refers to the adapter, so the adapter may go
    // first; the worker's destructor must not reach it.
    adapter.reset();
}

} // namespace
} // namespace ConnectLib
