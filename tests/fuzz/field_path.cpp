// Field paths as validation and listings name message fields
// ("entries[2].name"): every query answers, and an index beyond the 32-bit
// range is the documented conversion failure.
#include "devicelib/introspection/entry.h"
#include "devicelib/introspection/path.h"

#include <boost/lexical_cast.hpp>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace in = zarvo::introspection;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const in::path p(text);
    const in::entry e(text);
    try {
        const unsigned int index = p.index();
        // invalid_index() is also the largest index an element may have.
        if (!p.is_array() && index != in::path::invalid_index())
            std::abort();
        // An element of a named field in a path without empty components
        // writes back as it was read (joining collapses doubled dots).
        const bool well_formed =
            !e.array().empty() && text.find("..") == std::string::npos && text.front() != '.';
        if (p.is_array() && well_formed && p.at(index).name() != p.name())
            std::abort();
    } catch (const boost::bad_lexical_cast&) {
        if (!p.is_array())
            std::abort();
    }
    try {
        (void)e.index();
    } catch (const boost::bad_lexical_cast&) {
    }
    (void)e.array();
    (void)p.parent();
    (void)p.basename();
    in::path joined(p);
    joined /= e;
    (void)in::path(text, 7u);
    (void)in::entry(text, 0u);
    return 0;
}
