// The session lock holder: exclusion across threads and programs, nesting,
// the cancel request at the last release, and the observer's view.
#include "devicelib/core/session_lock.h"

#include "devicelib/core/core_session.h"
#include "devicelib/errors/errors.h"
#include "devicelib/platform/shm_object.h"
#include "tests/devicelib/core/lock_holder_process.h"
#include "tests/devicelib/core/session_test_support.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/fake_connection.h"
#include "tests/support/foreign_session.h"
#include "tests/support/latch.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zarvo {
namespace {

using namespace zarvo::test;

// A session lock held on a thread of its own until release().
class hold_elsewhere {
public:
    explicit hold_elsewhere(session& s)
        : thread_([this, &s] {
            session_lock hold(s, 0);
            held_.open();
            release_.wait();
        })
    {
        held_.wait();
    }
    ~hold_elsewhere() { release(); }

    void release()
    {
        release_.open();
        if (thread_.joinable())
            thread_.join();
    }

private:
    latch held_;
    latch release_;
    std::thread thread_;
};

// Records each callback as "<name> <number>".
class recording_observer : public session_lock::observer {
public:
    std::vector<std::string> events;
    std::string throw_in; // the callback that throws, if any

    void acquiring(session& s, std::uint32_t n) override { note(s, "acquiring", n); }
    void acquired(session& s, std::uint32_t n) override { note(s, "acquired", n); }
    void failed(session& s, std::uint32_t n) override { note(s, "failed", n); }
    void releasing(session& s, std::uint32_t n) override { note(s, "releasing", n); }
    void released(session& s, std::uint32_t n) override { note(s, "released", n); }

private:
    void note(session&, const char* name, std::uint32_t n)
    {
        events.push_back(std::string(name) + " " + std::to_string(n));
        if (throw_in == name)
            throw std::runtime_error(std::string("observer fails in ") + name);
    }
};

class session_lock_test : public test::trace_fixture {
protected:
    void SetUp() override
    {
        trace_fixture::SetUp();
        s.add_connection(&a, false);
    }

    bool other_thread_can_operate()
    {
        return elsewhere([&] {
            try {
                s.create("/D");
                return true;
            } catch (const system_busy&) {
                return false;
            }
        });
    }

    test_device device;
    core::session s{device.id()};
    fake_connection a;
};

TEST_F(session_lock_test, the_holding_thread_works_and_others_are_busy)
{
    {
        session_lock hold(s, 0);
        s.create("/A");
        std::set<entry> out;
        s.fetch("/", out);
        EXPECT_FALSE(other_thread_can_operate());
        EXPECT_THROW(elsewhere([&] { session_lock other(s, 0); }), system_busy);
    }
    EXPECT_TRUE(other_thread_can_operate());
}

TEST_F(session_lock_test, the_cancel_request_is_cleared_when_the_outer_hold_ends)
{
    for (std::uint32_t outer_flags : {0u, session_lock::keep_cancel}) {
        SCOPED_TRACE(outer_flags);
        const int resets_before = count(a, connection_op::reset_cancel);
        {
            session_lock outer(s, outer_flags);
            {
                session_lock inner(s, 0);
                s.cancel();
            }
            EXPECT_EQ(count(a, connection_op::reset_cancel), resets_before);
        }
        EXPECT_EQ(count(a, connection_op::reset_cancel) - resets_before, outer_flags == 0 ? 1 : 0);
    }
}

TEST_F(session_lock_test, observer_sees_each_step)
{
    {
        recording_observer o;
        {
            session_lock hold(s, o, 0);
        }
        EXPECT_EQ(o.events, (std::vector<std::string>{"acquiring 0", "acquired 1", "releasing 1",
                                                      "released 0"}));
    }
    {
        // Busy: another thread holds the session; nothing is held afterwards.
        hold_elsewhere holder(s);
        recording_observer o;
        EXPECT_THROW(session_lock(s, o, 0), system_busy);
        EXPECT_EQ(o.events, (std::vector<std::string>{"acquiring 1", "failed 0"}));
        holder.release();
        EXPECT_TRUE(other_thread_can_operate());
    }
    {
        test_device planted;
        planted.plant(24, 7);
        core::session no_lock(planted.id());
        recording_observer o;
        EXPECT_THROW(session_lock(no_lock, o, session_lock::keep_cancel), insufficient_permissions);
        EXPECT_EQ(o.events, (std::vector<std::string>{"acquiring 0", "failed 1"}));
    }
}

int no_locks_left(int, int, struct flock*)
{
    errno = ENOLCK;
    return -1;
}

// The kernel refuses every lock request while it lives.
struct refused_lock_calls {
    refused_lock_calls() { platform::set_lock_call(&no_locks_left); }
    ~refused_lock_calls() { platform::set_lock_call(nullptr); }
};

TEST_F(session_lock_test, a_lock_the_system_refuses_is_insufficient_permissions_with_its_reason)
{
    struct row {
        std::uint32_t flags;
        const char* text;
    };
    const row rows[] = {
        {0, "Insufficient permissions: fcntl(F_OFD_SETLK): No locks available."},
        {session_lock::wait, "Insufficient permissions: fcntl(F_OFD_SETLKW): No locks available."},
    };
    {
        refused_lock_calls refused;
        for (const row& r : rows) {
            SCOPED_TRACE(r.flags);
            recording_observer o;
            std::string text;
            try {
                session_lock hold(s, o, r.flags);
                ADD_FAILURE() << "the lock was taken";
            } catch (const insufficient_permissions& e) {
                text = e.what();
            }
            EXPECT_EQ(text, r.text);
            EXPECT_EQ(o.events, (std::vector<std::string>{"acquiring 0",
                                                          "failed " + std::to_string(r.flags)}));
        }
        std::set<entry> out;
        EXPECT_THROW(s.fetch("/", out), insufficient_permissions);
        EXPECT_EQ(count(a, connection_op::fetch), 0);
    }
    std::size_t traced = 0;
    for (const auto& m : log.messages())
        traced += m.find("The device lock failed: fcntl(") != std::string::npos;
    EXPECT_EQ(traced, 3u);
    // Nothing stays held or half-acquired once the system gives locks again.
    EXPECT_TRUE(other_thread_can_operate());
    session_lock hold(s, session_lock::wait);
}

TEST_F(session_lock_test, waiting_hold_returns_after_another_thread_releases)
{
    hold_elsewhere holder(s);
    auto waiter = std::async(std::launch::async, [&] {
        session_lock hold(s, session_lock::wait);
        s.create("/W");
    });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    holder.release();
    waiter.get();
    EXPECT_EQ(count(a, connection_op::create), 1);
}

TEST_F(session_lock_test, waiting_hold_returns_after_another_program_releases)
{
    lock_holder_process holder;
    ASSERT_EQ(holder.command("hold " + std::to_string(device.id())), "held");
    EXPECT_THROW(session_lock(s, 0), system_busy);
    auto waiter = std::async(std::launch::async, [&] { session_lock hold(s, session_lock::wait); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    ASSERT_EQ(holder.command("release"), "released");
    waiter.get();
}

using test::foreign_session;

TEST(session_lock, a_foreign_session_is_refused)
{
    foreign_session foreign;
    recording_observer o;
    EXPECT_THROW(session_lock(foreign, o, 0), invalid_function);
    EXPECT_TRUE(o.events.empty());
}

TEST_F(session_lock_test, throwing_observers_never_leave_the_lock_held)
{
    for (const char* step : {"releasing", "released"}) {
        SCOPED_TRACE(step);
        log.clear();
        recording_observer o;
        o.throw_in = step;
        {
            session_lock hold(s, o, 0);
            s.cancel();
        }
        EXPECT_EQ(o.events.size(), 4u);
        EXPECT_TRUE(other_thread_can_operate());
        EXPECT_EQ(s.lock_level().load(), 0u);
        ASSERT_EQ(log.messages().size(), 1u);
        EXPECT_EQ(log.messages()[0], std::string("zarvo::session_lock::~session_lock: ") + step +
                                         " failed: observer fails in " + step);
    }

    recording_observer o;
    o.throw_in = "acquired";
    EXPECT_THROW(session_lock(s, o, 0), std::runtime_error);
    EXPECT_EQ(o.events, (std::vector<std::string>{"acquiring 0", "acquired 1"}));
    EXPECT_EQ(s.lock_level().load(), 0u);
    EXPECT_TRUE(other_thread_can_operate());
}

TEST_F(session_lock_test, a_hold_released_on_another_thread_releases_nothing)
{
    auto hold = std::make_unique<session_lock>(s, 0);
    elsewhere([&] { hold.reset(); });
    EXPECT_FALSE(other_thread_can_operate());
    ASSERT_EQ(log.messages().size(), 1u);
    EXPECT_EQ(s.lock_level().load(), 1u);
}

} // namespace
} // namespace zarvo
