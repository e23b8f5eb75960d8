// Answer 2 ("busy, ask again"), the bounded resend, and the cancel request.

#include "tests/devicelib/usb/connection_fixture.h"

#include "devicelib/core/resend.h"
#include "devicelib/errors/errors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <sstream>
#include <thread>

namespace zarvo::test {
namespace {

using model::command;
using model::exchange_kind;

// Pauses that a test can count on; the fixture restores the timing.
void set_pauses(std::chrono::milliseconds budget, std::chrono::milliseconds first,
                std::chrono::milliseconds max)
{
    core::resend_timing timing;
    timing.budget = budget;
    timing.first_pause = first;
    timing.max_pause = max;
    core::set_resend_settings(timing);
}

struct busy_row {
    const char* name;
    model::match when;
    std::function<void(usb::hid_connection&)> run;
};

std::vector<busy_row> resent_operations()
{
    return {
        {"remove", model::match::file(command::remove, "/R.BPB"),
         [](auto& c) { EXPECT_TRUE(c.remove("/R.BPB")); }},
        {"fetch", model::match::file(command::get, "/U/"),
         [](auto& c) {
             std::set<entry> e;
             EXPECT_TRUE(c.fetch("/U", e));
             EXPECT_EQ(e.size(), 2u);
         }},
        {"create", model::match::file(command::put, "/NEW/"),
         [](auto& c) { EXPECT_TRUE(c.create("/NEW")); }},
        {"disk_space", model::match::query(5),
         [](auto& c) { EXPECT_GT(c.disk_space().fragment_size(), 0u); }},
    };
}

TEST_F(hid_connection_test, answer_two_twice_then_success_sends_three_times)
{
    device_model.put_file("/R.BPB", "r");
    for (const auto& row : resent_operations()) {
        SCOPED_TRACE(row.name);
        device_model.clear_transcript();
        device_model.script_answer(row.when, 2, 2);
        row.run(*link);
        EXPECT_EQ(sends(row.when.kind, row.when.code), 3u);
    }
}

TEST_F(hid_connection_test, reads_and_writes_are_not_resent)
{
    using call = std::function<void(usb::hid_connection&)>;
    const std::vector<std::pair<model::match, call>> rows{
        {model::match::file(command::get, "/DEVICE.BPB"),
         [](auto& c) {
             std::ostringstream o;
             c.read("/DEVICE.BPB", o);
         }},
        {model::match::file(command::put, "/W.BPB"),
         [](auto& c) {
             std::istringstream i("w");
             c.write("/W.BPB", i);
         }},
        {model::match::file(command::merge, "/W.BPB"),
         [](auto& c) {
             std::istringstream i("w");
             c.merge("/W.BPB", i);
         }},
    };
    for (const auto& [when, run] : rows) {
        SCOPED_TRACE(when.code);
        device_model.clear_transcript();
        device_model.script_answer(when, 2, 1);
        EXPECT_THROW(run(*link), zarvo::try_again);
        EXPECT_EQ(sends(when.kind, when.code), 1u);
    }
}

// A device that answers 2 for ever no longer holds the caller for ever.
TEST_F(hid_connection_test, endless_answer_two_gives_try_again_at_the_bound)
{
    set_pauses(std::chrono::milliseconds(300), std::chrono::milliseconds(10),
               std::chrono::milliseconds(20));
    for (const auto& row : resent_operations()) {
        SCOPED_TRACE(row.name);
        device_model.clear_transcript();
        device_model.clear_script();
        device_model.script_answer(row.when, 2);
        EXPECT_THROW(row.run(*link), zarvo::try_again);
        // Resent, with pauses between the sends: at most one send per
        // shortest pause within the budget.
        const auto count = sends(row.when.kind, row.when.code);
        EXPECT_GE(count, 2u);
        EXPECT_LE(count, 31u);
    }
}

// A cancel from another thread ends the resend at its next send, which
// fails before writing anything.
TEST_F(hid_connection_test, cancel_during_the_resend_pauses)
{
    set_pauses(std::chrono::seconds(60), std::chrono::milliseconds(20),
               std::chrono::milliseconds(40));
    for (const auto& row : resent_operations()) {
        SCOPED_TRACE(row.name);
        link->reset_cancel();
        device_model.clear_transcript();
        device_model.clear_script();
        device_model.script_answer(row.when, 2);
        auto running = std::async(std::launch::async, [&] { row.run(*link); });
        ASSERT_TRUE(wait_sends(row.when.kind, row.when.code, 3));
        link->cancel();
        const auto at_cancel = sends(row.when.kind, row.when.code);
        ASSERT_EQ(running.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        EXPECT_THROW(running.get(), zarvo::operation_canceled);
        // A send already under way may finish; none starts after.
        EXPECT_LE(sends(row.when.kind, row.when.code), at_cancel + 1);
        EXPECT_TRUE(device.front_end().violations().empty());
    }
}

// The cancel request stays until reset_cancel: meanwhile every exchange
// fails at once and nothing reaches the device.
TEST_F(hid_connection_test, cancel_is_sticky_until_reset)
{
    link->cancel();
    using call = std::function<void(usb::hid_connection&)>;
    const std::vector<std::pair<const char*, call>> rows{
        {"fetch",
         [](auto& c) {
             std::set<entry> e;
             c.fetch("/", e);
         }},
        {"create", [](auto& c) { c.create("/D"); }},
        {"read",
         [](auto& c) {
             std::ostringstream o;
             c.read("/DEVICE.BPB", o);
         }},
        {"write",
         [](auto& c) {
             std::istringstream i("w");
             c.write("/W.BPB", i);
         }},
        {"merge",
         [](auto& c) {
             std::istringstream i("w");
             c.merge("/W.BPB", i);
         }},
        {"remove", [](auto& c) { c.remove("/DEVICE.BPB"); }},
        {"disk_space", [](auto& c) { c.disk_space(); }},
        {"query",
         [](auto& c) {
             std::istringstream i;
             std::ostringstream o;
             c.query(8, i, o);
         }},
        {"notify",
         [](auto& c) {
             std::istringstream i;
             c.notify(0, i);
         }},
    };
    for (int round = 0; round < 2; ++round)
        for (const auto& [name, run] : rows) {
            SCOPED_TRACE(name);
            EXPECT_THROW(run(*link), zarvo::operation_canceled);
        }
    EXPECT_TRUE(host_reports().empty());
    EXPECT_TRUE(device_model.transcript().empty());

    link->reset_cancel();
    std::ostringstream out;
    link->read("/DEVICE.BPB", out);
    EXPECT_EQ(out.str(), *device_model.file("/DEVICE.BPB"));
}

// A cancel while the device holds a download makes the host refuse the
// next report that announces more.
TEST_F(hid_connection_test, cancel_during_a_stalled_read)
{
    device_model.put_file("/BIG.BIN", bytes_of_size(500));
    const auto stall = device_model.script_stall(model::match::file(command::get, "/BIG.BIN"), 1);
    std::ostringstream out;
    auto running = std::async(std::launch::async, [&] { link->read("/BIG.BIN", out); });
    ASSERT_TRUE(stall->wait_reached());
    link->cancel();
    stall->release();
    ASSERT_EQ(running.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_THROW(running.get(), zarvo::operation_canceled);
    EXPECT_TRUE(device.front_end().violations().empty());
}

} // namespace
} // namespace zarvo::test
