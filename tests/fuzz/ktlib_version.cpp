// ktlib's version texts over any version the device library parses: they
// never throw, and a well-formed number's text parses back to the same
// version (where it is UTF-8, so QString leaves it as it is).
#include "connectlib/versions/version_text.h"
#include "devicelib/values/version.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const zarvo::version parsed(text);
    const QString shown = ConnectLib::versionText(parsed);
    if (parsed.is_uninitialized() && !shown.isEmpty())
        std::abort();
    // A specifier that is not UTF-8 changes on its way through QString; the
    // text is compared only where it came through unchanged.
    if (parsed.is_rational() && !parsed.is_empty() && !parsed.is_latest() &&
        shown.toStdString() == parsed.string()) {
        const zarvo::version again(shown.toStdString());
        if (!again.match(parsed))
            std::abort();
    }
    return 0;
}
