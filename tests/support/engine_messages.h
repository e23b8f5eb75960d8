#pragma once

#include "devicelib/core/engine.h"
#include "devicelib/core/message.h"
#include "tests/support/latch.h"

#include <functional>

namespace zarvo::test {

// Holds the engine thread: execute opens `entered`, then waits for `release`.
// Lets a test queue messages behind it.
class engine_blocker : public zarvo::core::message {
public:
    engine_blocker(latch& entered, const latch& release)
        : entered_(entered)
        , release_(release)
    {
    }
    void execute(zarvo::core::engine&, zarvo::core::listener_map&,
                 zarvo::core::session_map&) override
    {
        entered_.open();
        release_.wait();
    }

private:
    latch& entered_;
    const latch& release_;
};

using message_body = std::function<void(zarvo::core::engine&, zarvo::core::listener_map&,
                                        zarvo::core::session_map&)>;

// A message that runs a test's function.
class call_message : public zarvo::core::message {
public:
    explicit call_message(std::function<void()> f)
        : body_([f = std::move(f)](auto&, auto&, auto&) { f(); })
    {
    }
    explicit call_message(message_body body)
        : body_(std::move(body))
    {
    }
    void execute(zarvo::core::engine& e, zarvo::core::listener_map& l,
                 zarvo::core::session_map& s) override
    {
        body_(e, l, s);
    }

private:
    message_body body_;
};

// A query that runs a test's function.
class call_query : public zarvo::core::query {
public:
    explicit call_query(std::function<void()> f)
        : body_(std::move(f))
    {
    }
    void execute(zarvo::core::engine&, zarvo::core::listener_map&,
                 zarvo::core::session_map&) override
    {
        body_();
    }

private:
    std::function<void()> body_;
};

// Waits until the engine thread, if any, has ended on its own. The engine is
// left alone at exit while its thread runs; tests wait for it, so that the
// process ends with every thread joined.
inline bool wait_engine_idle()
{
    return eventually([] {
        const auto s = zarvo::core::engine::instance().state();
        return s == zarvo::core::engine::thread_state::none ||
               s == zarvo::core::engine::thread_state::ended;
    });
}

// Register with ::testing::AddGlobalTestEnvironment in a test source.
class engine_idle_at_end : public ::testing::Environment {
public:
    void TearDown() override { wait_engine_idle(); }
};

} // namespace zarvo::test
