// Version texts as devices report them: parsing never throws, and a version
// that parsed to a well-formed number writes back to a text that parses to
// the same version.
#include "devicelib/values/version.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const zarvo::version parsed(text);
    const zarvo::version from_c_text(text.c_str());

    const std::string written = parsed.string();
    (void)parsed.type();
    (void)(parsed < from_c_text);
    if (parsed.is_rational() && !parsed.is_empty()) {
        const zarvo::version again(written);
        if (!again.match(parsed) || again.string() != written)
            std::abort();
    }
    return 0;
}
