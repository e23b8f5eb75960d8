#include "tests/support/hex.h"

#include <cctype>
#include <stdexcept>

namespace zarvo::test {

namespace {
int nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    throw std::invalid_argument(std::string("not a hex digit: ") + c);
}
} // namespace

std::string from_hex(std::string_view hex)
{
    std::string out;
    int high = -1;
    for (char c : hex) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        int n = nibble(c);
        if (high < 0) {
            high = n;
        } else {
            out.push_back(static_cast<char>(high << 4 | n));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits");
    return out;
}

std::string to_hex(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xf]);
    }
    return out;
}

} // namespace zarvo::test
