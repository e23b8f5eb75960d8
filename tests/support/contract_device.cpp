#include "tests/support/contract_device.h"

#include "tools/emulator/usb_device.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zarvo::test {

using namespace std::chrono_literals;
using emulator::device_answer;
using emulator::host_message;

device_answer contract_device::handle(const host_message& message)
{
    exchange_request request;
    request.payload = message.payload;
    switch (message.type) {
    case host_message::kind::operation:
        request.kind = exchange_request::operation;
        if (!emulator::decode_operation(message, request.command, request.path))
            ADD_FAILURE() << "undecodable operation request";
        break;
    case host_message::kind::query:
        request.kind = exchange_request::query;
        request.id = static_cast<int>(message.id);
        break;
    case host_message::kind::notification:
        request.kind = exchange_request::notification;
        request.id = static_cast<int>(message.id);
        break;
    }
    const exchange_answer answer = script.exchange(request);
    device_answer out;
    if (message.type == host_message::kind::notification) {
        out.type = device_answer::kind::none;
        return out;
    }
    if (answer.stall && !hold(*answer.stall))
        return cancelled_while_held();
    if (answer.code == 0)
        return device_answer::ok(answer.payload);
    if (!answer.payload.empty())
        return code_with_payload(answer.code, answer.payload);
    out.status = static_cast<std::uint16_t>(answer.code);
    return out;
}

device_answer contract_device::code_with_payload(int code, const std::string&)
{
    device_answer out;
    out.status = static_cast<std::uint16_t>(code);
    return out;
}

device_answer contract_device::cancelled_while_held()
{
    device_answer out;
    out.type = device_answer::kind::none;
    return out;
}

std::size_t contract_device::notifications() const
{
    const auto sent = script.requests();
    return static_cast<std::size_t>(
        std::count_if(sent.begin(), sent.end(), [](const exchange_request& r) {
            return r.kind == exchange_request::notification;
        }));
}

void contract_device::cancelled()
{
    std::unique_lock<std::mutex> lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, 20s, [&] { return !holding_; });
}

void contract_device::cancel_reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = false;
}

bool contract_device::hold(const latch& stall)
{
    std::unique_lock<std::mutex> lock(mutex_);
    holding_ = true;
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (!stall.is_open() && !cancelled_ && std::chrono::steady_clock::now() < limit)
        changed_.wait_for(lock, 1ms);
    const bool opened = stall.is_open();
    EXPECT_TRUE(opened || cancelled_) << "a held exchange was neither released nor cancelled";
    holding_ = false;
    changed_.notify_all();
    return opened;
}

} // namespace zarvo::test
