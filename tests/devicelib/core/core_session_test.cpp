// The core session: the device operation frame, its locks and its errors,
// connection bookkeeping, readiness and the established mark.
#include "devicelib/core/core_session.h"

#include "devicelib/core/interprocess_mutex.h"
#include "devicelib/errors/errors.h"
#include "tests/devicelib/core/lock_holder_process.h"
#include "tests/devicelib/core/session_test_support.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/fake_connection.h"
#include "tests/support/latch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <sstream>
#include <thread>

namespace zarvo::core {
namespace {

using namespace zarvo::test;

template <typename Error, typename F>
std::string error_text(F&& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("unexpected error: ") + e.what();
    }
    return "no error";
}

// A device operation of the session, by name, with a path argument.
struct path_operation {
    const char* name;
    const char* argument;
    connection_op op;
    std::function<void(session&, const std::string&)> run;
};

const path_operation path_operations[] = {
    {"fetch", "path", connection_op::fetch,
     [](session& s, const std::string& p) {
         std::set<entry> out;
         s.fetch(p, out);
     }},
    {"create", "directory", connection_op::create,
     [](session& s, const std::string& p) { s.create(p); }},
    {"remove", "path", connection_op::remove,
     [](session& s, const std::string& p) { s.remove(p); }},
    {"read", "file", connection_op::read,
     [](session& s, const std::string& p) {
         std::ostringstream out;
         s.read(p, out);
     }},
    {"write", "file", connection_op::write,
     [](session& s, const std::string& p) {
         std::istringstream in("x");
         s.write(p, in);
     }},
    {"merge", "file", connection_op::merge,
     [](session& s, const std::string& p) {
         std::istringstream in("x");
         s.merge(p, in);
     }},
};

class core_session_test : public ::testing::Test {
protected:
    test_device device;
    session s{device.id()};
    fake_connection a;
};

TEST_F(core_session_test, paths_are_checked_first_and_the_root_is_valid)
{
    s.add_connection(&a, false);
    // Another thread holds the device: the path check still comes first.
    auto mutex = create_interprocess_mutex(device.id());
    ASSERT_TRUE(mutex);
    std::promise<void> release;
    std::promise<void> held;
    std::thread holder([&] {
        ASSERT_TRUE(mutex->try_lock());
        held.set_value();
        release.get_future().wait();
        mutex->unlock();
    });
    held.get_future().wait();

    for (const auto& op : path_operations) {
        SCOPED_TRACE(op.name);
        for (const char* bad : {"", "U", "a/b"}) {
            SCOPED_TRACE(bad);
            EXPECT_EQ(error_text<invalid_parameter>([&] { op.run(s, bad); }),
                      std::string("Invalid parameter '") + op.argument + "'.");
        }
        EXPECT_THROW(op.run(s, "/"), system_busy);
    }
    release.set_value();
    holder.join();

    for (const auto& op : path_operations) {
        SCOPED_TRACE(op.name);
        op.run(s, "/");
        ASSERT_EQ(count(a, op.op), 1);
        EXPECT_EQ(calls_of(a, op.op).back().path, "/");
    }
}

TEST_F(core_session_test, streams_that_would_throw_are_refused_before_the_lock)
{
    s.add_connection(&a, false);
    auto mutex = create_interprocess_mutex(device.id());
    std::thread([&] { ASSERT_TRUE(mutex->try_lock()); }).join(); // held by an ended thread

    const std::ios_base::iostate masks[] = {std::ios_base::badbit, std::ios_base::failbit,
                                            std::ios_base::eofbit};
    for (auto mask : masks) {
        std::ostringstream out;
        out.exceptions(mask);
        EXPECT_THROW(s.read("/A.BIN", out), stream_failure);
        EXPECT_TRUE(out.good());
        EXPECT_EQ(out.exceptions(), mask);
        EXPECT_TRUE(out.str().empty());

        std::istringstream in("content");
        in.exceptions(mask);
        EXPECT_THROW(s.write("/A.BIN", in), stream_failure);
        EXPECT_THROW(s.merge("/A.BIN", in), stream_failure);
        EXPECT_TRUE(in.good());
        EXPECT_EQ(in.tellg(), 0);
    }
    EXPECT_EQ(count(a, connection_op::read) + count(a, connection_op::write) +
                  count(a, connection_op::merge),
              0);
}

TEST_F(core_session_test, a_failed_stream_without_exception_mask_reaches_the_connection)
{
    s.add_connection(&a, false);
    std::ostringstream out;
    out.setstate(std::ios_base::failbit);
    s.read("/A.BIN", out);
    std::istringstream in;
    in.setstate(std::ios_base::badbit);
    s.write("/A.BIN", in);
    EXPECT_EQ(count(a, connection_op::read), 1);
    EXPECT_EQ(count(a, connection_op::write), 1);
}

TEST(core_session, without_a_lock_object_only_inspection_and_cancel_work)
{
    test_device device;
    device.plant(24, 7);
    session s(device.id());
    fake_connection a;
    s.add_connection(&a, false);

    EXPECT_EQ(s.current_connection(), &a);
    EXPECT_EQ(s.connection_count(), 1);
    EXPECT_EQ(s.transport(&a), std::string("TEST"));
    s.cancel();
    EXPECT_EQ(count(a, connection_op::cancel), 1);

    std::set<entry> out;
    EXPECT_THROW(s.fetch("/", out), insufficient_permissions);
    EXPECT_THROW(s.fetch("", out), invalid_parameter);
    EXPECT_THROW(s.disk_space(), insufficient_permissions);
    EXPECT_EQ(count(a, connection_op::fetch), 0);
}

TEST_F(core_session_test, a_running_transfer_turns_others_away_but_not_cancel)
{
    s.add_connection(&a, false);
    latch entered;
    latch finish;
    a.script(connection_op::read, connection_action::runs([&] {
                 entered.open();
                 finish.wait();
             }));
    std::thread reader([&] {
        std::ostringstream out;
        s.read("/A.BIN", out);
    });
    ASSERT_TRUE(entered.wait());

    EXPECT_THROW(elsewhere([&] {
                     std::istringstream in("x");
                     s.write("/B.BIN", in);
                 }),
                 system_busy);
    // cancel reaches the connection while the read still runs.
    elsewhere([&] { s.cancel(); });
    EXPECT_EQ(count(a, connection_op::cancel), 1);
    EXPECT_FALSE(finish.is_open());

    // Inspection waits for the transfer.
    std::atomic<bool> read_done{false};
    auto count = std::async(std::launch::async, [&] {
        int n = s.connection_count();
        return std::make_pair(n, read_done.load());
    });
    EXPECT_EQ(count.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    read_done = true;
    finish.open();
    reader.join();
    auto [n, after_read] = count.get();
    EXPECT_EQ(n, 1);
    EXPECT_TRUE(after_read);
}

TEST_F(core_session_test, connection_errors_pass_unchanged_and_release_everything)
{
    s.add_connection(&a, false);
    a.script(connection_op::fetch, connection_action::throws(link_lost("Cable pulled.")));
    std::set<entry> out{entry("kept")};
    EXPECT_EQ(error_text<link_lost>([&] { s.fetch("/", out); }), "Cable pulled.");
    EXPECT_TRUE(out.empty()); // cleared just before the connection was asked

    EXPECT_NO_THROW(elsewhere([&] { return s.create("/D"); }));
    EXPECT_EQ(elsewhere([&] { return s.connection_count(); }), 1);
}

TEST_F(core_session_test, an_early_error_leaves_the_fetch_output_alone)
{
    std::set<entry> out{entry("kept")};
    EXPECT_THROW(s.fetch("/", out), session_expired); // no connection
    EXPECT_THROW(s.fetch("", out), invalid_parameter);
    EXPECT_EQ(out.size(), 1u);
}

TEST(core_session, another_process_holding_the_device_makes_operations_busy)
{
    for (bool program_first : {true, false}) {
        SCOPED_TRACE(program_first ? "program opens first" : "test opens first");
        test_device device;
        lock_holder_process holder;
        fake_connection a;
        std::unique_ptr<session> s;
        if (!program_first)
            s = std::make_unique<session>(device.id());
        ASSERT_EQ(holder.command("hold " + std::to_string(device.id())), "held");
        if (program_first)
            s = std::make_unique<session>(device.id());
        s->add_connection(&a, false);

        EXPECT_THROW(s->create("/D"), system_busy);
        ASSERT_EQ(holder.command("release"), "released");
        EXPECT_NO_THROW(s->create("/D"));
    }
}

// Expected current connections are computed from pointer order, never from
// the order in which the fakes were allocated.
TEST(core_session, connection_selection_follows_pointer_order)
{
    test_device device;
    fake_connection x;
    fake_connection y;
    connection* low = std::less<connection*>()(&x, &y) ? &x : &y;
    connection* high = low == &x ? &y : &x;
    connection* a = &x; // added first
    connection* b = &y;

    struct step {
        const char* what;
        std::function<bool(session&)> run;
        bool result;
        connection* current;
        int count;
    };
    const std::vector<std::vector<step>> scenarios = {
        {{"add A", [&](session& s) { return s.add_connection(a, false); }, true, a, 1},
         {"add B", [&](session& s) { return s.add_connection(b, false); }, false, a, 2},
         {"remove A", [&](session& s) { return s.remove_connection(a); }, false, b, 1},
         {"remove B", [&](session& s) { return s.remove_connection(b); }, true, nullptr, 0}},
        {{"add A", [&](session& s) { return s.add_connection(a, false); }, true, a, 1},
         {"add B", [&](session& s) { return s.add_connection(b, false); }, false, a, 2},
         {"remove B", [&](session& s) { return s.remove_connection(b); }, false, a, 1}},
        {{"add both",
          [&](session& s) {
              s.add_connection(b, false);
              s.add_connection(a, true);
              return s.remove_connection(a);
          },
          false, b, 1}},
        {{"add B", [&](session& s) { return s.add_connection(b, false); }, true, b, 1},
         {"add A current", [&](session& s) { return s.add_connection(a, true); }, false, a, 2}},
        {{"add both",
          [&](session& s) {
              s.add_connection(high, false);
              s.add_connection(low, false);
              return s.remove_connection(high);
          },
          false, low, 1}},
        {{"add three",
          [&](session& s) {
              s.add_connection(a, false);
              s.add_connection(b, false);
              return s.add_connection(a, false); // already there: no change
          },
          false, a, 2}},
    };
    for (const auto& scenario : scenarios) {
        session s(device.id());
        for (const auto& st : scenario) {
            SCOPED_TRACE(st.what);
            EXPECT_EQ(st.run(s), st.result);
            EXPECT_EQ(s.current_connection(), st.current);
            EXPECT_EQ(s.connection_count(), st.count);
        }
    }

    session s(device.id());
    s.add_connection(a, false);
    EXPECT_THROW(s.remove_connection(b), std::out_of_range);
    EXPECT_EQ(s.current_connection(), a);
    EXPECT_EQ(s.connection_count(), 1);
}

// With three connections a removed current one is replaced by the lowest
// remaining pointer, wherever the removed one stood.
TEST(core_session, removing_the_current_of_three_picks_the_lowest_remaining)
{
    test_device device;
    fake_connection fakes[3];
    std::vector<connection*> sorted{&fakes[0], &fakes[1], &fakes[2]};
    std::sort(sorted.begin(), sorted.end(), std::less<connection*>());
    connection* const lowest = sorted[0];
    connection* const middle = sorted[1];
    connection* const highest = sorted[2];

    struct row {
        const char* what;
        connection* current; // added first, so current; then removed
        connection* next;
    };
    const row rows[] = {
        {"the lowest removed", lowest, middle},
        {"the middle removed", middle, lowest},
        {"the highest removed", highest, lowest},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        session s(device.id());
        s.add_connection(r.current, false);
        for (connection* c : sorted)
            s.add_connection(c, false);
        ASSERT_EQ(s.current_connection(), r.current);
        EXPECT_FALSE(s.remove_connection(r.current));
        EXPECT_EQ(s.current_connection(), r.next);
        EXPECT_EQ(s.connection_count(), 2);
    }

    // Removing one that is not current keeps the current one.
    session s(device.id());
    s.add_connection(highest, false);
    s.add_connection(lowest, false);
    s.add_connection(middle, false);
    EXPECT_FALSE(s.remove_connection(lowest));
    EXPECT_EQ(s.current_connection(), highest);
    EXPECT_FALSE(s.remove_connection(highest));
    EXPECT_EQ(s.current_connection(), middle);
}

TEST(core_session, snapshot_and_differences)
{
    test_device device;
    session s(device.id());
    fake_connection a;
    fake_connection b;
    fake_connection c;
    s.add_connection(&a, false);
    s.add_connection(&b, false);

    session::connection_snapshot snap;
    snap.connections = {&c};
    s.snapshot(snap);
    EXPECT_EQ(snap.current, &a);
    EXPECT_EQ(snap.connections, (std::set<connection*>{&a, &b}));

    std::set<connection*> out{&c};
    EXPECT_TRUE(s.added_connections({&a, &c}, out));
    EXPECT_EQ(out, (std::set<connection*>{&b}));
    EXPECT_TRUE(s.removed_connections({&a, &c}, out));
    EXPECT_EQ(out, (std::set<connection*>{&c}));
    EXPECT_FALSE(s.removed_connections({&a, &b}, out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(s.has_connection(&b));
    EXPECT_FALSE(s.has_connection(&c));
}

// A session and another one that holds a connection of its own.
class two_sessions : public ::testing::Test {
protected:
    two_sessions() { other.add_connection(&theirs, false); }

    test_device device;
    test_device other_device;
    session s{device.id()};
    session other{other_device.id()};
    fake_connection theirs;
};

TEST_F(two_sessions, asking_one_connection)
{
    fake_connection mine;

    EXPECT_THROW(s.transport(&mine), session_expired); // no connection at all
    s.add_connection(&mine, false);

    using ask = std::function<std::string(connection*)>;
    const std::pair<const char*, ask> questions[] = {
        {"transport", [&](connection* c) { return s.transport(c); }},
        {"family", [&](connection* c) { return s.family(c); }},
    };
    for (const auto& [name, question] : questions) {
        SCOPED_TRACE(name);
        EXPECT_THROW(question(nullptr), session_expired);
        EXPECT_THROW(question(&theirs), link_lost);
        EXPECT_NO_THROW(question(&mine));
    }
    EXPECT_EQ(s.transport(&mine), std::string("TEST"));
    EXPECT_EQ(s.family(&mine), std::string());

    mine.set_transport("HID", false);
    mine.set_family("Dorvane", false);
    EXPECT_THROW(s.transport(&mine), link_lost);
    EXPECT_THROW(s.family(&mine), link_lost);
    try {
        s.transport(&mine);
    } catch (const session_expired&) {
        ADD_FAILURE() << "an unanswered question is a lost link, not an expired session";
    } catch (const link_lost&) {
    }

    EXPECT_THROW(s.placement(&mine), not_implemented);
}

TEST(core_session, find_connection_takes_the_first_exact_match_in_pointer_order)
{
    test_device device;
    session s(device.id());
    fake_connection x;
    fake_connection y;
    fake_connection z;
    x.set_transport("HID", true);
    y.set_transport("HID", true);
    z.set_transport("TCP", true);
    for (auto* c : {&x, &y, &z})
        s.add_connection(c, false);
    connection* first_hid = std::less<connection*>()(&x, &y) ? &x : &y;

    EXPECT_EQ(s.find_connection("HID"), first_hid);
    EXPECT_EQ(s.find_connection("TCP"), &z);
    EXPECT_EQ(s.find_connection("HI"), nullptr);
    EXPECT_EQ(s.find_connection("tcp"), nullptr);
    z.set_transport("TCP", false); // no answer, no match
    EXPECT_EQ(s.find_connection("TCP"), nullptr);
}

TEST(core_session, ready_is_the_lowest_readiness)
{
    struct row {
        std::vector<int> readiness;
        const char* expect; // "true", "false", or the error
    };
    const row rows[] = {
        {{0}, "false"},   {{0, 0}, "false"},        {{1, 0}, "false"},
        {{1, 5}, "true"}, {{-1, 1}, "device_busy"}, {{}, "session_expired"},
    };
    for (const auto& r : rows) {
        test_device device;
        session s(device.id());
        std::vector<std::unique_ptr<fake_connection>> fakes;
        for (int value : r.readiness) {
            fakes.push_back(std::make_unique<fake_connection>());
            fakes.back()->set_readiness(value);
            s.add_connection(fakes.back().get(), false);
        }
        std::string got;
        try {
            got = s.ready() ? "true" : "false";
        } catch (const device_busy&) {
            got = "device_busy";
        } catch (const session_expired&) {
            got = "session_expired";
        }
        EXPECT_EQ(got, r.expect) << ::testing::PrintToString(r.readiness);
    }
}

TEST(core_session, wait_established_blocks_until_marked)
{
    test_device device;
    session s(device.id());
    auto waiting = std::async(std::launch::async, [&] { s.wait_established(); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    s.set_established();
    waiting.get();
    s.wait_established(); // returns at once from now on
}

TEST_F(core_session_test, exchanges_go_through_the_frame_and_return_the_answer)
{
    EXPECT_THROW(s.disk_space(), session_expired);
    std::istringstream no_params;
    std::stringstream no_result;
    EXPECT_THROW(s.query(5, no_params, no_result), session_expired);
    EXPECT_THROW(s.notify(7, no_params), session_expired);
    s.cancel(); // without connections: nothing happens

    s.add_connection(&a, false);
    auto answer = connection_action::returns_code(103);
    answer.bytes = "result bytes";
    a.script(connection_op::query, answer);
    a.script(connection_op::notify, connection_action::returns_code(202));
    a.script(connection_op::disk_space, connection_action::returns_space({512, 100, 40}));

    std::istringstream params("params");
    std::stringstream result;
    EXPECT_EQ(s.query(5, params, result), 103);
    EXPECT_EQ(result.str(), "result bytes");
    EXPECT_EQ(calls_of(a, connection_op::query).back().bytes, "params");
    std::istringstream note("note");
    EXPECT_EQ(s.notify(7, note), 202);
    EXPECT_EQ(calls_of(a, connection_op::notify).back().id, 7);
    auto space = s.disk_space();
    EXPECT_EQ(space.fragment_size(), 512u);
    EXPECT_EQ(space.total_fragments(), 100u);
    EXPECT_EQ(space.free_fragments(), 40u);
}

TEST_F(two_sessions, select_connection_changes_nothing)
{
    fake_connection a;
    fake_connection b;
    s.add_connection(&a, false);
    s.add_connection(&b, false);
    for (connection* c : {static_cast<connection*>(nullptr), static_cast<connection*>(&a),
                          static_cast<connection*>(&b), static_cast<connection*>(&theirs)}) {
        EXPECT_FALSE(s.select_connection(c));
        EXPECT_EQ(s.current_connection(), &a);
    }
    EXPECT_EQ(s.timestamp(), 0);
    EXPECT_EQ(s.device_id(), device.id());
}

} // namespace
} // namespace zarvo::core
