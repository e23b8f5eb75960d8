#include "tests/devicelib/core/test_device.h"

#include <fstream>
#include <iterator>
#include <unistd.h>

namespace zarvo::test {

namespace {

std::uint64_t next_id()
{
    static std::atomic<std::uint32_t> counter{0};
    // A marker in the top bits keeps clear of real device ids; the pid makes
    // the id unique among running processes.
    return (std::uint64_t{0xC0DE} << 48) | (std::uint64_t(::getpid()) << 16) |
           (counter.fetch_add(1) & 0xFFFF);
}

} // namespace

test_device::test_device()
    : id_(next_id())
{
    ::unlink(shm_path().c_str());
}

test_device::~test_device()
{
    ::unlink(shm_path().c_str());
}

std::string test_device::shm_path() const
{
    return "/dev/shm/libzarvo2-session-" + std::to_string(id_);
}

void test_device::plant(std::size_t size, std::uint32_t state) const
{
    std::string content(size, '\0');
    for (std::size_t i = 0; i < 4 && i < size; ++i)
        content[i] = static_cast<char>(state >> (8 * i));
    std::ofstream out(shm_path(), std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<unsigned char> test_device::bytes() const
{
    std::ifstream in(shm_path(), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

} // namespace zarvo::test
