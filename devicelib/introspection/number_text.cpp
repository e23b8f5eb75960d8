#include "devicelib/introspection/number_text.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace zarvo::introspection::detail {

namespace {

template <typename T>
std::string integer_text(T value)
{
    char buffer[std::numeric_limits<T>::digits10 + 3];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return std::string(buffer, result.ptr);
}

// std::to_chars ignores every locale and, in the general format, writes what
// "%.*g" writes under the "C" locale, "nan"/"inf" with their sign included.
template <typename T>
std::string floating_text(T value)
{
    constexpr int precision = std::numeric_limits<T>::max_digits10;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value,
                                      std::chars_format::general, precision);
    return std::string(buffer, result.ptr);
}

} // namespace

std::string to_text(int value)
{
    return integer_text(value);
}
std::string to_text(long long value)
{
    return integer_text(value);
}
std::string to_text(unsigned int value)
{
    return integer_text(value);
}
std::string to_text(unsigned long long value)
{
    return integer_text(value);
}
std::string to_text(float value)
{
    return floating_text(value);
}
std::string to_text(double value)
{
    return floating_text(value);
}

template <typename T>
bool from_text(const std::string& text, T& value)
{
    const char* first = text.data();
    const char* const last = first + text.size();
    // std::from_chars takes no '+'; one is accepted before the digits, as a
    // plain number reader would, but never before another sign.
    if (first != last && *first == '+') {
        ++first;
        if (first != last && (*first == '+' || *first == '-'))
            return false;
    }
    if (first == last)
        return false;
    T parsed{};
    std::from_chars_result result;
    if constexpr (std::is_floating_point_v<T>)
        result = std::from_chars(first, last, parsed, std::chars_format::general);
    else
        result = std::from_chars(first, last, parsed);
    if (result.ec != std::errc() || result.ptr != last)
        return false;
    value = parsed;
    return true;
}

template bool from_text<int>(const std::string&, int&);
template bool from_text<long long>(const std::string&, long long&);
template bool from_text<unsigned int>(const std::string&, unsigned int&);
template bool from_text<unsigned long long>(const std::string&, unsigned long long&);
template bool from_text<float>(const std::string&, float&);
template bool from_text<double>(const std::string&, double&);

} // namespace zarvo::introspection::detail
