#pragma once

#include <string_view>

// Built-in resources: read-only blocks of bytes compiled into the library
// under a number, the library's own resource table. Internal to the library.
namespace zarvo::platform {

// Resource numbers in use.
constexpr unsigned int value_type_table_resource = 256;

// Points bytes at built-in resource id and returns 0, or returns an
// errno-style code (ENOENT: the library holds no resource of that number)
// and leaves bytes alone. The bytes live as long as the library.
int find_resource(unsigned int id, std::string_view& bytes) noexcept;

} // namespace zarvo::platform
