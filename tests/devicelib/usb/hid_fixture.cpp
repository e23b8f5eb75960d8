#include "tests/devicelib/usb/hid_fixture.h"

#include "tests/support/hex.h"

#include <algorithm>
#include <chrono>

namespace zarvo::test {

bool notification_recorder::notification(unsigned id, std::istream& parameters)
{
    std::string bytes;
    char c;
    while (bytes.size() < parse_limit && parameters.get(c))
        bytes += c;
    std::lock_guard<std::mutex> lock(mutex_);
    received_.emplace_back(id, bytes);
    changed_.notify_all();
    return answer;
}

std::vector<std::pair<unsigned, std::string>> notification_recorder::received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

bool notification_recorder::wait(std::size_t count) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    const bool reached = changed_.wait_for(lock, std::chrono::seconds(20),
                                           [&] { return received_.size() >= count; });
    if (!reached)
        ADD_FAILURE() << "only " << received_.size() << " of " << count << " notifications";
    return reached;
}

emulator::device_answer scripted_handler::handle(const emulator::host_message& message)
{
    std::function<emulator::device_answer(const emulator::host_message&)> answer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answer = answer_;
    }
    return answer ? answer(message) : emulator::device_answer::ok();
}

void scripted_handler::answer_with(
    std::function<emulator::device_answer(const emulator::host_message&)> f)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answer_ = std::move(f);
}

hid_device_test::hid_device_test()
{
    platform::hid_identity identity;
    identity.vendor_id = 0x1234;
    identity.product_id = 0x5678;
    identity.serial = "SER";
    host = std::make_unique<usb::hid_device>(
        &removals, "pair",
        platform::hid_channel(device.connect_pair(), platform::channel_kind::socket), identity);
}

void hid_device_test::TearDown()
{
    host.reset();
    trace_fixture::TearDown();
}

std::vector<std::string> hid_device_test::host_lines() const
{
    std::vector<std::string> result;
    for (const auto& line : device.transcript())
        if (line.rfind("H", 0) == 0)
            result.push_back(line);
    return result;
}

std::vector<std::string> hid_device_test::host_lines_when(std::size_t count) const
{
    const bool arrived = device.wait([&](const auto& transcript) {
        return std::count_if(transcript.begin(), transcript.end(), [](const auto& line) {
                   return line.rfind("H", 0) == 0;
               }) >= static_cast<std::ptrdiff_t>(count);
    });
    EXPECT_TRUE(arrived) << "fewer than " << count << " host reports";
    return host_lines();
}

std::vector<std::string> hid_device_test::traces() const
{
    std::vector<std::string> result;
    for (const auto& line : log.messages()) {
        const auto colon = line.find(": ");
        result.push_back(colon == std::string::npos ? line : line.substr(colon + 2));
    }
    return result;
}

bool hid_device_test::traced(const std::string& message) const
{
    for (const auto& line : traces())
        if (line == message)
            return true;
    return false;
}

std::string bytes_of(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>((state >> 16) | 1); // never zero
    }
    return bytes;
}

std::string hex_text(const std::string& bytes)
{
    return to_hex(bytes);
}

std::string repeat_hex(const char* pair, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += pair;
    return text;
}

} // namespace zarvo::test
