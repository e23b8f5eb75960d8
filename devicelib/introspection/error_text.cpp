#include "devicelib/introspection/error_text.h"

#include "devicelib/introspection/type2string.h"

namespace zarvo::introspection::detail {

std::string typed_field(int data_type, const std::string& path)
{
    return std::string(type2string(data_type)) + " field '" + path + "'.";
}

} // namespace zarvo::introspection::detail
