#include "tests/support/usb_test_device.h"

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace zarvo::test {
namespace {

std::uint32_t next_id()
{
    static std::atomic<std::uint32_t> counter{0};
    // Bit 31 keeps clear of the emulator's and the tests' fixed ids; process
    // ids have at most 22 bits.
    return 0x80000000u | (static_cast<std::uint32_t>(::getpid()) & 0x3FFFFFu) << 8 |
           (counter.fetch_add(1) & 0xFFu);
}

std::string lock_object(std::uint64_t id)
{
    return "/dev/shm/libzarvo2-session-" + std::to_string(id);
}

} // namespace

usb_test_device::usb_test_device()
    : id_(next_id())
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(id_));
    serial_ = text;
    ::unlink(lock_object(id_).c_str());
}

usb_test_device::~usb_test_device()
{
    ::unlink(lock_object(id_).c_str());
}

} // namespace zarvo::test
