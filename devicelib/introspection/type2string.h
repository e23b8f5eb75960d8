#pragma once

#include "devicelib/export.h"

namespace zarvo::introspection {

// Name of a field type code (the protobuf FieldDescriptor::CppType numbers
// 1 to 10) as error texts and reports show it; "unknown" for anything else.
ZARVO_EXPORT const char* type2string(int data_type);

} // namespace zarvo::introspection
