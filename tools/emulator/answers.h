#pragma once

namespace zarvo::emulator {

// The answer codes the model gives on its own. A script may give any other.
namespace answer {
constexpr int ok = 0;
constexpr int invalid_command = 101;
constexpr int invalid_parameter = 102;
constexpr int no_such_entry = 103;
constexpr int directory_exists = 104;
constexpr int file_exists = 105;
constexpr int not_permitted = 106;
constexpr int no_such_user = 107;
constexpr int invalid_content = 203;
constexpr int disk_full = 205;
} // namespace answer

} // namespace zarvo::emulator
