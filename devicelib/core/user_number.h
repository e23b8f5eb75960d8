#pragma once

#include <string>

namespace zarvo::core {

// A user directory's name as a user number. Only the canonical decimal form
// counts: digits only, no sign, no leading zero except "0" itself, at most
// 4294967295. Anything else ("tmp", "-1", "+5", "05") names no user, so a
// device-supplied name never stands for a user whose files live under
// another name.
bool parse_user_number(const std::string& name, unsigned& user);

// The text traced for a name that is not a user number.
const char* user_number_error();

} // namespace zarvo::core
