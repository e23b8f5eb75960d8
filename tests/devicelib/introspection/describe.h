#pragma once

#include "devicelib/introspection/errors.h"

#include <string>

namespace zarvo::test {

// Every field of an introspection error, the class's own ones included,
// as one line; equal lines mean equal errors.
std::string describe(const zarvo::introspection::exception& error);

} // namespace zarvo::test
