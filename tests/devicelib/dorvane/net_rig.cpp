#include "tests/devicelib/dorvane/net_rig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zarvo::test {

void recording_observer::disconnected(dorvane::zftp_client*)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_;
    changed_.notify_all();
}

int recording_observer::calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

bool recording_observer::wait_for_call() const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, latch::default_limit, [&] { return calls_ > 0; });
}

scripted_handler::scripted_handler(emulator::message_handler& next)
    : next_(next)
{
}

void scripted_handler::push(emulator::device_answer answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(answer));
}

emulator::device_answer scripted_handler::handle(const emulator::host_message& message)
{
    if (message.type != emulator::host_message::kind::notification) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!queue_.empty()) {
            auto a = std::move(queue_.front());
            queue_.pop_front();
            return a;
        }
    }
    return next_.handle(message);
}

emulator::device_answer answer_code(std::uint16_t code)
{
    emulator::device_answer a;
    a.status = code;
    return a;
}

net_rig::net_rig(const std::string& v)
    : front(model.profile().serial(), handler)
    , version(v)
{
    front.set_version(v);
}

net_rig::~net_rig()
{
    client.reset();
    EXPECT_TRUE(front.violations().empty()) << front.violations().front();
}

void net_rig::connect(int expected_greeting, int callback_timeout_ms)
{
    client = std::make_unique<dorvane::zftp_client>(front.connect_host(), 0, 1, &observer);
    client->set_callback_timeout(callback_timeout_ms);
    // Short operation limits must not make the greeting itself fail on a busy machine.
    client->set_greeting_timeout(std::max(callback_timeout_ms, 10000));
    EXPECT_EQ(client->read_greeting(greeting), expected_greeting);
    client->set_server_version(static_cast<std::uint8_t>(std::atoi(version.c_str())));
}

} // namespace zarvo::test
