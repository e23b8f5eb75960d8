// Seeded randomized runs: exchanges of random kinds and sizes with whole
// notifications injected at random moments, and random device reports thrown
// at running exchanges.

#include "devicelib/errors/errors.h"
#include "tests/devicelib/usb/hid_fixture.h"
#include "tests/support/param_name.h"

#include <gmock/gmock.h>

#include <random>
#include <sstream>
#include <thread>

namespace zarvo::test {
namespace {

using emulator::device_answer;
using emulator::usb_front_end;
using ::testing::IsEmpty;

class randomized : public hid_device_test, public ::testing::WithParamInterface<unsigned> {};

TEST_P(randomized, notifications_among_exchanges_are_dispatched_exactly_once)
{
    std::mt19937 random(GetParam());
    start_thread();
    std::map<unsigned, std::string> expected;
    // Notification ids carry their number; each one is unique.
    unsigned next_id = 0;
    auto make_notification = [&] {
        const unsigned id = next_id++;
        const std::string parameters =
            bytes_of(std::uniform_int_distribution<std::size_t>(0, 200)(random), id);
        expected[id] = parameters;
        return emulator::notification_reports(static_cast<std::uint8_t>(id), parameters);
    };
    for (unsigned i = 0; i < 40; ++i) {
        // Injected inside the exchange, at one of its points.
        const auto where = random() % 2 ? usb_front_end::point::before_ack
                                        : usb_front_end::point::before_response_report;
        device.inject_at(where, static_cast<unsigned>(random() % 8), make_notification());
    }
    std::atomic<bool> injecting{true};
    std::mutex draw;
    std::thread injector([&] {
        for (;;) {
            std::vector<std::string> packets;
            {
                std::lock_guard<std::mutex> lock(draw);
                if (next_id >= 250) {
                    injecting = false;
                    break;
                }
                packets = make_notification();
            }
            device.inject(packets);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // Exchanges run for as long as notifications are injected between them.
    for (unsigned i = 0; i < 30 || injecting; ++i) {
        std::size_t request_size, payload_size;
        {
            std::lock_guard<std::mutex> lock(draw);
            request_size = std::uniform_int_distribution<std::size_t>(0, 300)(random);
            payload_size = std::uniform_int_distribution<std::size_t>(0, 2000)(random);
        }
        const std::string request_bytes = bytes_of(request_size, 1000 + i);
        const std::string payload = bytes_of(payload_size, 2000 + i);
        std::stringstream request;
        request << request_bytes;
        std::stringstream response;
        if (i % 2) {
            handler.answer_with([=](const auto&) { return device_answer::ok(payload); });
            ASSERT_EQ(host->download(request, response, cancel), 0);
            EXPECT_TRUE(response.str() == payload) << i;
        } else {
            handler.answer_with([](const auto&) { return device_answer::ok(); });
            std::stringstream upload(payload);
            ASSERT_EQ(host->upload(request, upload, cancel), 0);
            const auto messages = device.messages();
            EXPECT_TRUE(messages.back().request == request_bytes) << i;
            EXPECT_TRUE(messages.back().payload == payload) << i;
        }
    }
    injector.join();
    std::size_t count;
    {
        std::lock_guard<std::mutex> lock(draw);
        count = next_id;
    }
    // Injections at points never reached are not sent; every one sent between
    // exchanges arrives, though the last may still be on the notification
    // thread's way when the exchanges end.
    ASSERT_TRUE(eventually([&] {
        const auto got = notifications.received();
        std::map<unsigned, int> seen;
        for (const auto& [id, parameters] : got)
            ++seen[id];
        for (unsigned id = 40; id < count; ++id)
            if (seen[id] == 0)
                return false;
        return got.size() <= count;
    }));
    host->stop_thread();
    const auto got = notifications.received();
    std::map<unsigned, int> seen;
    for (const auto& [id, parameters] : got) {
        EXPECT_EQ(++seen[id], 1) << "notification " << id << " twice";
        EXPECT_TRUE(parameters == expected[id]) << "notification " << id;
    }
    // Every notification sent between exchanges arrived.
    for (unsigned id = 40; id < count; ++id)
        EXPECT_EQ(seen[id], 1) << "notification " << id;
    EXPECT_THAT(device.violations(), IsEmpty());
    EXPECT_THAT(traces(), IsEmpty());
}

TEST_P(randomized, random_device_reports_give_only_library_outcomes)
{
    std::mt19937 random(GetParam());
    start_thread();
    host->set_report_timeout(100);
    auto random_packet = [&] {
        const int shape = static_cast<int>(random() % 10);
        const std::size_t size = shape == 0 ? random() % 70 : 64;
        std::string packet(size, '\0');
        for (auto& b : packet)
            b = static_cast<char>(random());
        // Mostly plausible headers, so that the framing gets exercised.
        if (size == 64 && shape < 7)
            packet[1] = static_cast<char>((random() % 64) << 2 | (random() % 4));
        if (size == 64 && shape < 4)
            packet[2] = static_cast<char>(random() % 3);
        return packet;
    };
    for (unsigned i = 0; i < 40; ++i) {
        const auto where = random() % 2 ? usb_front_end::point::before_ack
                                        : usb_front_end::point::before_response_report;
        device.inject_at(where, static_cast<unsigned>(random() % 30), {random_packet()});
    }
    int results = 0, errors = 0;
    for (unsigned i = 0; i < 30; ++i) {
        if (random() % 3 == 0)
            device.inject({random_packet(), random_packet()});
        const std::string payload = bytes_of(random() % 400, i);
        handler.answer_with([=](const auto&) { return device_answer::ok(payload); });
        std::stringstream request;
        request << bytes_of(random() % 200, i);
        std::stringstream response;
        try {
            const int result = host->download(request, response, cancel);
            EXPECT_GE(result, 0);
            EXPECT_LE(result, 0xFFFF);
            ++results;
        } catch (const zarvo::exception&) {
            // A library error is a fine outcome for garbage.
            ++errors;
        }
    }
    host->stop_thread();
    EXPECT_EQ(results + errors, 30);
}

INSTANTIATE_TEST_SUITE_P(seeds, randomized, ::testing::Values(1u, 2u, 3u, 20261210u),
                         zarvo::test::printed_name{"seed"});

} // namespace
} // namespace zarvo::test
