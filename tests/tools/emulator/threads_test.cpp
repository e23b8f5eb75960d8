#include "tools/emulator/device_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace zarvo::emulator {
namespace {

class counting_observer : public observer {
public:
    void device_notification(int, const std::string&) override { ++count; }
    std::atomic<int> count{0};
};

// Exchanges from several threads while the device emits events: every one is
// answered and recorded once, under one sequence.
TEST(device_model_threads, exchanges_and_events_from_many_threads)
{
    device_model model;
    auto seen = std::make_shared<counting_observer>();
    model.add_observer(seen);
    model.script_answer(match::query(8), 2, 50);

    constexpr int workers = 4;
    constexpr int rounds = 200;
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&model, w] {
            const std::string path = "/W" + std::to_string(w);
            for (int i = 0; i < rounds; ++i) {
                model.file_operation(static_cast<int>(command::put), path, std::to_string(i));
                model.file_operation(static_cast<int>(command::get), "/", "");
                model.query(8, "");
            }
        });
    }
    threads.emplace_back([&model] {
        for (int i = 0; i < rounds; ++i) {
            model.idle();
            model.battery(static_cast<std::uint32_t>(i % 100));
        }
    });
    threads.emplace_back([&model] {
        for (int i = 0; i < rounds; ++i) {
            model.set_battery_level(static_cast<std::uint32_t>(i % 100));
            (void)model.disk();
            (void)model.file("/W0");
        }
    });
    for (auto& t : threads)
        t.join();

    EXPECT_EQ(seen->count.load(), 2 * rounds);
    const auto transcript = model.transcript();
    ASSERT_EQ(transcript.size(), static_cast<std::size_t>(workers * rounds * 3 + 2 * rounds));
    std::set<std::uint64_t> sequences;
    int again = 0;
    for (const auto& line : transcript) {
        sequences.insert(line.sequence);
        again += line.answer == 2;
    }
    EXPECT_EQ(sequences.size(), transcript.size());
    EXPECT_EQ(again, 50);
    for (int w = 0; w < workers; ++w)
        EXPECT_EQ(model.file("/W" + std::to_string(w)), std::to_string(rounds - 1));
}

} // namespace
} // namespace zarvo::emulator
