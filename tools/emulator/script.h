#pragma once

#include "tools/emulator/exchange.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zarvo::emulator {

// Which exchanges a script rule takes over. A file operation rule matches one
// exact path, or any path when none is given.
struct match {
    exchange_kind kind = exchange_kind::file_operation;
    int code = 0;
    std::optional<std::string> path;

    static match file(command c, std::optional<std::string> path = std::nullopt);
    static match query(int id);
    static match notification(int id);

    bool matches(exchange_kind k, int c, const std::string& p) const;
};

// Count of a rule: how many exchanges it takes before normal behaviour
// returns.
constexpr int always = -1;

// Holds the exchanges that reach it until the test releases it; then they go
// on with the model's normal behaviour.
class stall {
public:
    static constexpr std::chrono::seconds default_limit{20};

    // Lets every held and every later exchange through.
    void release();
    // True once `count` exchanges have reached the stall; false after the
    // limit.
    bool wait_reached(int count = 1, std::chrono::milliseconds limit = default_limit) const;
    int reached() const;
    // Called each time an exchange reaches the stall, on the model's thread
    // before it is held: tells a thread that cannot block on wait_reached.
    void on_reached(std::function<void()> action);

    // The model's side: counts the exchange and waits for the release.
    void hold();

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cond_;
    bool released_ = false;
    int reached_ = 0;
    std::function<void()> on_reached_;
};

// The answer script: rules tried in the order they were added; the first one
// still counting takes the exchange.
class script {
public:
    struct outcome {
        std::shared_ptr<emulator::stall> stall;
        std::optional<reply> scripted;
    };

    void answer(const match& m, int code, int times, std::optional<std::string> payload);
    void add_stall(const match& m, std::shared_ptr<emulator::stall> s, int times);
    // Nothing when no rule matches. Counts the rule down.
    outcome take(exchange_kind kind, int code, const std::string& path);
    void clear();
    // Releases every stall, so that no exchange stays held.
    void release_all();

private:
    struct rule {
        match when;
        int remaining = always;
        reply scripted;
        std::shared_ptr<emulator::stall> held;
    };

    std::vector<rule> rules_;
};

} // namespace zarvo::emulator
