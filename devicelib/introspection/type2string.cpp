#include "devicelib/introspection/type2string.h"

namespace zarvo::introspection {

const char* type2string(int data_type)
{
    static const char* const names[] = {"unknown", "int32", "int64", "uint32", "uint64", "double",
                                        "float",   "bool",  "enum",  "string", "message"};
    constexpr int count = sizeof(names) / sizeof(names[0]);
    return data_type > 0 && data_type < count ? names[data_type] : names[0];
}

} // namespace zarvo::introspection
