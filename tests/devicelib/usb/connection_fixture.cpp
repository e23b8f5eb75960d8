#include "tests/devicelib/usb/connection_fixture.h"

#include "devicelib/proto/message_io.h"
#include "devicelib/usb/vendor_id.h"

#include <algorithm>
#include <sstream>
#include <thread>

namespace zarvo::test {

std::unique_ptr<usb::hid_device> open_pair(emulator::usb_front_end& front_end,
                                           const std::string& serial)
{
    platform::hid_identity identity;
    identity.vendor_id = zarvo::usb::device_vendor_id;
    identity.product_id = 0x0001;
    identity.serial = serial;
    return std::make_unique<usb::hid_device>(
        nullptr, "pair",
        platform::hid_channel(front_end.connect_pair(), platform::channel_kind::socket), identity);
}

hid_connection_test::hid_connection_test()
    : host(open_pair(device.front_end(), device.serial()))
    , link(std::make_unique<usb::hid_connection>(nullptr, *host))
{
}

void hid_connection_test::SetUp()
{
    trace_fixture::SetUp();
}

void hid_connection_test::TearDown()
{
    link.reset();
    host.reset();
    trace_fixture::TearDown();
}

std::vector<model::exchange_record> hid_connection_test::file_operations() const
{
    std::vector<model::exchange_record> result;
    for (const auto& r : device_model.transcript())
        if (r.kind == model::exchange_kind::file_operation)
            result.push_back(r);
    return result;
}

std::size_t hid_connection_test::sends(model::exchange_kind kind, int code) const
{
    const auto records = device_model.transcript();
    return static_cast<std::size_t>(
        std::count_if(records.begin(), records.end(), [&](const auto& r) {
            return r.kind == kind && r.code == code && r.way == model::direction::host_to_device;
        }));
}

bool hid_connection_test::wait_sends(model::exchange_kind kind, int code, std::size_t count) const
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (sends(kind, code) < count) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<std::string> hid_connection_test::host_reports() const
{
    std::vector<std::string> result;
    for (const auto& line : device.front_end().transcript())
        if (line.rfind("H", 0) == 0)
            result.push_back(line);
    return result;
}

bool hid_connection_test::traced(const std::string& message) const
{
    for (const auto& line : log.messages()) {
        const auto colon = line.find(": ");
        if (colon != std::string::npos && line.substr(colon + 2) == message)
            return true;
    }
    return false;
}

int hid_connection_test::trace_count(const std::string& function) const
{
    int count = 0;
    for (const auto& line : log.messages())
        if (line.rfind(function + ": ", 0) == 0)
            ++count;
    return count;
}

std::string serialized(const google::protobuf::Message& message)
{
    std::ostringstream out;
    write_message(message, out);
    return out.str();
}

std::string bytes_of_size(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 16);
    }
    return bytes;
}

} // namespace zarvo::test
