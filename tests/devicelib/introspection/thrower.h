#pragma once

#include <string>

// Throws the introspection error of the class named (without namespace),
// built inside this module, with the path "f.g[1]" and type code 3.
__attribute__((visibility("default"))) [[noreturn]] void
throw_introspection_error(const std::string& class_name);
