// Identifying a network device: bytes as its greeting line and as its device
// information file. Either refused, or a non-zero id (with a defined version
// for a greeting); never a crash.
#include "devicelib/dorvane/device_identity.h"
#include "tests/fuzz/quiet_protobuf.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarvo::fuzz::quiet_protobuf();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (auto greeting = zarvo::dorvane::identify_from_greeting(text)) {
        if (greeting->device_id == 0 || greeting->device_id > 0xFFFFFFFFu ||
            greeting->server_version.is_uninitialized())
            std::abort();
        const unsigned framing = zarvo::dorvane::framing_major(greeting->server_version);
        if (framing == 0 && greeting->server_version.major() != 0)
            std::abort();
    }
    if (auto id = zarvo::dorvane::identify_from_device_info(text)) {
        if (*id == 0 || *id > 0xFFFFFFFFu)
            std::abort();
    }
    return 0;
}
