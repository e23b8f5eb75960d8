#include "devicelib/introspection/cast_error.h"

#include "devicelib/errors/error_definitions.h"

#include "devicelib/introspection/number_text.h"
#include "devicelib/introspection/type2string.h"

namespace zarvo::introspection {

namespace {

std::string cast_text(int to_type, int from_type, const std::string& path)
{
    return std::string("Bad cast from ") + type2string(from_type) + " to " + type2string(to_type) +
           " at '" + path + "'.";
}

} // namespace

bad_cast::bad_cast(int to_type, int from_type, const std::string& path)
    : introspection::exception(from_type, path)
    , to_type_(to_type)
    , text_(cast_text(to_type, from_type, path))
{
}

bad_cast::bad_cast(int to_type, int from_type, const std::string& path, const std::string& name)
    : introspection::exception(from_type, path, name)
    , to_type_(to_type)
    , text_(cast_text(to_type, from_type, path))
{
}

bad_cast::bad_cast(const std::string& path, const std::string& enumeration, int value)
    : introspection::exception(0, path)
    , to_type_(0)
    , text_("Invalid enumeration " + enumeration + " value " + detail::to_text(value) +
            " for field '" + path + "'.")
{
}

bad_cast::bad_cast(int to_type, int from_type, const std::string& path, const std::exception&)
    : bad_cast(to_type, from_type, path)
{
}

bad_cast::bad_cast(int to_type, int from_type, const std::string& path, const std::string& name,
                   const std::exception&)
    : bad_cast(to_type, from_type, path, name)
{
}

bad_cast::bad_cast(const std::string& path, const std::string& enumeration, int value,
                   const std::exception&)
    : bad_cast(path, enumeration, value)
{
}

bad_cast::bad_cast(const bad_cast&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(bad_cast, std::bad_cast)

const char* bad_cast::what() const noexcept
{
    return text_.c_str();
}

int bad_cast::from_type() const
{
    return data_type();
}
int bad_cast::to_type() const
{
    return to_type_;
}

} // namespace zarvo::introspection
