#include "devicelib/helpers/system.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <locale.h>

namespace zarvo::system {
namespace {

bool compute_little_endian()
{
    const std::uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// Made once and never freed: messages may be asked for during exit.
locale_t c_locale()
{
    static const locale_t loc = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

} // namespace

bool little_endian()
{
    static const bool value = compute_little_endian();
    return value;
}

bool big_endian()
{
    return !little_endian();
}

int last_error()
{
    return errno;
}

std::string& error_message(int code, std::string& text) noexcept
{
    const int saved = errno;
    try {
        locale_t loc = c_locale();
        // strerror_l is thread-safe, unlike strerror, and ignores the user's
        // locale when given the C locale.
        if (loc) {
            if (const char* message = ::strerror_l(code, loc))
                text = message;
        }
    } catch (...) {
    }
    errno = saved;
    return text;
}

std::string& error_message(std::string& text) noexcept
{
    return error_message(last_error(), text);
}

} // namespace zarvo::system
