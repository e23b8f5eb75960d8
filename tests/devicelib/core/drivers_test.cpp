// Driver registry and the driver messages: start, stop, suspend, resume.
#include "devicelib/core/driver_registry.h"
#include "devicelib/core/engine.h"
#include "devicelib/core/interface.h"
#include "devicelib/errors/errors.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_driver.h"
#include "tests/support/latch.h"
#include "tests/support/recording_logger.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using zarvo::core::engine;
using zarvo::test::driver_op;
using zarvo::test::fake_driver_control;
using zarvo::test::latch;

// Slot 0 is entered twice and must give one driver.
const zarvo::core::driver_registration reg0{&zarvo::test::create_fake_driver<0>};
const zarvo::core::driver_registration reg0_again{&zarvo::test::create_fake_driver<0>};
const zarvo::core::driver_registration reg1{&zarvo::test::create_fake_driver<1>};

constexpr int slots = 2;

const auto* const idle_at_end =
    ::testing::AddGlobalTestEnvironment(new zarvo::test::engine_idle_at_end);

fake_driver_control& control()
{
    return fake_driver_control::instance();
}

void flush()
{
    zarvo::test::call_query q([] {});
    engine::instance().send(q);
    q.wait();
}

void start_drivers()
{
    zarvo::core::post_start_drivers();
    flush();
}

TEST(DriverRegistry, FactoryEnteredTwiceGivesOneDriver)
{
    EXPECT_EQ(control().created(0), 0); // no engine yet
    engine::instance();
    EXPECT_EQ(control().created(0), 1);
    EXPECT_EQ(control().created(1), 1);
}

TEST(DriverRegistry, FactoriesEnteredAfterTheEngineExistsAreNotUsed)
{
    engine::instance();
    zarvo::core::driver_registry::add_factory(&zarvo::test::create_fake_driver<2>);
    start_drivers();
    EXPECT_EQ(control().created(2), 0);
    EXPECT_TRUE(control().ops(2).empty());
}

TEST(Drivers, StartAndStopFromManyThreadsRunOnTheEngineThreadOneAtATime)
{
    std::atomic<int> off_engine{0};
    for (int slot = 0; slot < slots; ++slot) {
        for (auto op : {driver_op::start, driver_op::stop}) {
            control().on(slot, op, [&] {
                if (!engine::on_engine_thread())
                    ++off_engine;
                std::this_thread::yield();
            });
        }
    }
    std::vector<std::thread> posters;
    for (int t = 0; t < 8; ++t) {
        posters.emplace_back([t] {
            for (int i = 0; i < 100; ++i) {
                if ((i + t) % 2 == 0)
                    zarvo::core::post_start_drivers();
                else
                    zarvo::core::post_stop_drivers();
            }
        });
    }
    for (auto& p : posters)
        p.join();
    zarvo::core::post_stop_drivers();
    flush();

    EXPECT_FALSE(control().overlapped());
    EXPECT_EQ(off_engine, 0);
    // Never started twice in a row nor stopped when not started.
    for (int slot = 0; slot < slots; ++slot) {
        const auto ops = control().ops(slot);
        ASSERT_FALSE(ops.empty());
        for (std::size_t i = 0; i < ops.size(); ++i)
            ASSERT_EQ(ops[i], i % 2 == 0 ? driver_op::start : driver_op::stop) << "call " << i;
    }
}

class DriverFailures : public zarvo::test::trace_fixture {};

TEST_F(DriverFailures, ThrowingStartIsTracedAndTheOtherDriversAndTheEngineGoOn)
{
    control().throw_on(0, driver_op::start, zarvo::not_implemented("start failed"));
    control().throw_on(1, driver_op::start, zarvo::not_implemented("start failed"));
    start_drivers();
    latch next;
    engine::instance().post(std::make_unique<zarvo::test::call_message>([&] { next.open(); }));
    ASSERT_TRUE(next.wait());

    int traced = 0;
    for (const auto& m : log.messages())
        traced += m.rfind("zarvo::core::start_drivers::execute: Driver failed: ", 0) == 0;
    EXPECT_EQ(traced, 2);
    // A failed start counts as done: the stop still comes to release it.
    zarvo::core::post_stop_drivers();
    flush();
    for (int slot = 0; slot < slots; ++slot)
        EXPECT_EQ(control().ops(slot), (std::vector<driver_op>{driver_op::start, driver_op::stop}));
}

// Holds the engine thread, so that a suspend finds it running as it does
// while a listener is attached.
class held_engine {
public:
    held_engine()
    {
        engine::instance().post(std::make_unique<zarvo::test::engine_blocker>(entered_, release_));
        entered_.wait();
    }
    ~held_engine() { release(); }
    void release() { release_.open(); }

private:
    latch entered_, release_;
};

// A caller of post_suspend_drivers or post_resume_drivers, as the power
// driver calls them: it holds its mutex until it waits on its condition.
struct power_caller {
    boost::mutex mutex;
    boost::condition_variable cond;
};

bool suspend(power_caller& c, held_engine* held = nullptr)
{
    boost::unique_lock<boost::mutex> lock(c.mutex);
    if (!zarvo::core::post_suspend_drivers(c.mutex, c.cond))
        return false;
    if (held)
        held->release();
    EXPECT_EQ(c.cond.wait_for(lock, boost::chrono::seconds(20)), boost::cv_status::no_timeout);
    return true;
}

void resume(power_caller& c)
{
    boost::unique_lock<boost::mutex> lock(c.mutex);
    zarvo::core::post_resume_drivers(c.mutex, c.cond);
    EXPECT_EQ(c.cond.wait_for(lock, boost::chrono::seconds(20)), boost::cv_status::no_timeout);
}

zarvo::core::gate& interface_gate()
{
    return engine::instance().interface_gate();
}

TEST(SuspendResume, WithoutEngineThreadAnswersFalseAndChangesNothing)
{
    start_drivers();
    ASSERT_TRUE(zarvo::test::eventually([] {
        const auto s = engine::instance().state();
        return s == engine::thread_state::ended || s == engine::thread_state::none;
    }));
    power_caller c;
    EXPECT_FALSE(suspend(c));
    EXPECT_FALSE(interface_gate().is_closed());
    for (int slot = 0; slot < slots; ++slot)
        EXPECT_EQ(control().ops(slot), std::vector<driver_op>{driver_op::start});
}

struct suspend_row {
    const char* name;
    bool started;     // drivers started before the suspend
    bool no_op_slot1; // slot 1 keeps its devices across a suspend
    std::vector<driver_op> slot0;
    std::vector<driver_op> slot1;
};

class SuspendResumeTable : public ::testing::TestWithParam<suspend_row> {};

TEST_P(SuspendResumeTable, CallsOnlyWhatEachDriverNeeds)
{
    const suspend_row& row = GetParam();
    if (row.no_op_slot1)
        control().no_op_suspend(1);
    if (row.started)
        start_drivers();
    std::thread::id suspend_thread;
    control().on(0, driver_op::suspend, [&] { suspend_thread = std::this_thread::get_id(); });

    std::thread::id engine_thread;
    {
        held_engine held;
        engine::instance().post(std::make_unique<zarvo::test::call_message>(
            [&] { engine_thread = std::this_thread::get_id(); }));
        power_caller c;
        ASSERT_TRUE(suspend(c, &held));
        EXPECT_TRUE(interface_gate().is_closed());
    }
    if (row.started) {
        EXPECT_EQ(suspend_thread, engine_thread);
    }

    // The resume comes from another thread than the suspend.
    std::thread([] {
        power_caller c;
        resume(c);
    }).join();
    EXPECT_FALSE(interface_gate().is_closed());
    EXPECT_EQ(control().ops(0), row.slot0);
    EXPECT_EQ(control().ops(1), row.slot1);
    EXPECT_FALSE(control().overlapped());
}

using op = driver_op;
INSTANTIATE_TEST_SUITE_P(
    Drivers, SuspendResumeTable,
    ::testing::Values(suspend_row{"DefaultDriversStopAndStartAgain",
                                  true,
                                  false,
                                  {op::start, op::suspend, op::stop, op::resume, op::start},
                                  {op::start, op::suspend, op::stop, op::resume, op::start}},
                      suspend_row{"NoOpDriverGetsNeitherStopNorStart",
                                  true,
                                  true,
                                  {op::start, op::suspend, op::stop, op::resume, op::start},
                                  {op::start, op::suspend, op::resume}},
                      suspend_row{"NeverStartedDriversGetNoCall", false, false, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SuspendResume, StopWhileSuspendedStopsAndResumeThenStartsNothing)
{
    start_drivers();
    {
        held_engine held;
        power_caller c;
        ASSERT_TRUE(suspend(c, &held));
    }
    zarvo::core::post_stop_drivers();
    flush();
    power_caller c;
    resume(c);
    EXPECT_EQ(control().ops(0), (std::vector<op>{op::start, op::suspend, op::stop, op::stop}));
}

class SuspendFailures : public zarvo::test::trace_fixture {};

TEST_F(SuspendFailures, ThrowingSuspendStillWakesTheCaller)
{
    start_drivers();
    control().throw_on(0, driver_op::suspend, std::runtime_error("suspend failed"));
    {
        held_engine held;
        power_caller c;
        ASSERT_TRUE(suspend(c, &held));
    }
    power_caller c;
    resume(c);
    EXPECT_EQ(control().ops(0), (std::vector<op>{op::start, op::suspend, op::resume, op::start}));
}

TEST(Gate, ListenerChangeWaitsWhileTheGateIsClosed)
{
    zarvo::core::gate& g = interface_gate();
    ASSERT_TRUE(g.close());
    std::atomic<int> step{0};
    int passed_at = -1;
    std::thread changer([&] {
        zarvo::core::gate::passage p(g);
        passed_at = step++;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int reopened_at = step++;
    g.reopen();
    changer.join();
    EXPECT_GT(passed_at, reopened_at);
}

TEST(Gate, SuspendGivesUpWhileTheLastListenerIsBeingStoppedOrWhenClosed)
{
    zarvo::core::gate g;
    {
        zarvo::core::gate::passage last_stop(g);
        g.mark_last_stopping(true);
        EXPECT_FALSE(g.close());
        g.mark_last_stopping(false);
    }
    EXPECT_TRUE(g.close());
    EXPECT_FALSE(g.close()); // already closed: a second suspend does not wait
    g.reopen();
    zarvo::core::gate::passage p(g);
}

TEST(Gate, SuspendWaitsForAListenerChangeInProgress)
{
    zarvo::core::gate g;
    std::atomic<int> step{0};
    int closed_at = -1;
    std::thread suspender;
    int left_at = -1;
    {
        zarvo::core::gate::passage p(g);
        suspender = std::thread([&] {
            EXPECT_TRUE(g.close());
            closed_at = step++;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        left_at = step++;
    }
    suspender.join();
    EXPECT_GT(closed_at, left_at);
}

} // namespace
