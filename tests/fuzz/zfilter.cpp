// The gzip filter in both directions. Input: a mode byte, then the bytes.
// Mode even: the bytes are read through a decompressing filter, as a device
// file claimed to be compressed is; whatever they hold, reading ends (at most
// a bounded amount of output is taken) and nothing escapes but a stream
// state. Mode odd: the bytes are written through a compressing filter and
// read back through a decompressing one, and must come back unchanged.
#include "devicelib/helpers/zfilter.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

// Far more than the largest input, so a round trip is never cut short, yet
// a small bomb cannot make one run take long.
constexpr std::size_t max_output = 4 << 20;

std::string read_all(std::istream& in)
{
    std::string out;
    char buffer[4096];
    while (out.size() < max_output && in) {
        in.read(buffer, sizeof buffer);
        out.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool round_trip = data[0] & 1;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    if (!round_trip) {
        std::istringstream device(bytes);
        zarvo::io::istream_zfilter filter(device, zarvo::io::decompress);
        read_all(filter.stream());
        return 0;
    }

    std::stringstream compressed;
    {
        zarvo::io::ostream_zfilter filter(compressed, zarvo::io::compress);
        filter->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        filter->flush();
        if (!filter->good())
            std::abort();
    }
    zarvo::io::istream_zfilter back(compressed, zarvo::io::decompress);
    const std::string again = read_all(back.stream());
    if (again != bytes || back->bad())
        std::abort();
    return 0;
}
