#pragma once

#include <string>
#include <string_view>

namespace zarvo::test {

// "0a ff 10" or "0aff10" to bytes; blanks are skipped. Throws on odd digits.
std::string from_hex(std::string_view hex);
// Bytes to lower-case hex without separators.
std::string to_hex(std::string_view bytes);

} // namespace zarvo::test
