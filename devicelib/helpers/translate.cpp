#include "devicelib/helpers/translate.h"

#include <boost/archive/iterators/dataflow_exception.hpp>

#include <climits>
#include <cwchar>

namespace zarvo::text {
namespace {

[[noreturn]] void invalid_conversion()
{
    using boost::archive::iterators::dataflow_exception;
    throw dataflow_exception(dataflow_exception::invalid_conversion);
}

} // namespace

std::string& translate(const std::string& source, std::string& target)
{
    target += source;
    return target;
}

std::wstring& translate(const std::wstring& source, std::wstring& target)
{
    target += source;
    return target;
}

// A local conversion state keeps this thread-safe; the C library's hidden
// state (wctomb, mbtowc) is shared by every thread.
std::string& translate(const std::wstring& source, std::string& target)
{
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX];
    for (wchar_t c : source) {
        const std::size_t n = std::wcrtomb(bytes, c, &state);
        if (n == static_cast<std::size_t>(-1))
            invalid_conversion();
        target.append(bytes, n);
    }
    if (!std::mbsinit(&state)) {
        // Return a stateful encoding to its initial shift state; the reset
        // sequence ends in a NUL that is not part of the text.
        const std::size_t n = std::wcrtomb(bytes, L'\0', &state);
        if (n != static_cast<std::size_t>(-1) && n > 1)
            target.append(bytes, n - 1);
    }
    return target;
}

std::wstring& translate(const std::string& source, std::wstring& target)
{
    std::mbstate_t state{};
    const char* p = source.data();
    std::size_t left = source.size();
    while (left > 0) {
        wchar_t c = 0;
        std::size_t n = std::mbrtowc(&c, p, left, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2))
            invalid_conversion(); // invalid, or incomplete at the end
        if (n == 0)
            n = 1; // an embedded NUL
        target.push_back(c);
        p += n;
        left -= n;
    }
    return target;
}

} // namespace zarvo::text
