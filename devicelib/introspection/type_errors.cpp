#include "devicelib/introspection/type_errors.h"

#include "devicelib/errors/error_definitions.h"

#include "devicelib/introspection/error_text.h"
#include "devicelib/introspection/type2string.h"

namespace zarvo::introspection {

namespace {

std::string mismatch_text(int data_type, int expected_type, const std::string& path,
                          const char* verb, const char* joint)
{
    return std::string("Type mismatch at '") + path + "'. " + verb + type2string(data_type) +
           joint + type2string(expected_type);
}

std::string encountered_text(int data_type, int expected_type, const std::string& path)
{
    return mismatch_text(data_type, expected_type, path, "Encountered ", ", expected ");
}

// "property 'a'", "properties 'a' and 'b'", "properties 'a', 'b' and 'c'".
std::string property_list(const unsupported_properties::property_map& properties)
{
    std::string list = properties.size() > 1 ? "properties " : "property ";
    std::size_t position = 0;
    for (const auto& property : properties) {
        if (position > 0)
            list += position + 1 == properties.size() ? " and " : ", ";
        list += "'" + property.first + "'";
        ++position;
    }
    return list;
}

} // namespace

bad_type::bad_type(int data_type, const std::string& path, const char* text)
    : std::logic_error(text)
    , introspection::exception(data_type, path)
{
}

bad_type::bad_type(int data_type, const std::string& path, const std::string& name,
                   const char* text)
    : std::logic_error(text)
    , introspection::exception(data_type, path, name)
{
}

bad_type::bad_type(int data_type, const std::string& path, const std::string& text)
    : std::logic_error(text)
    , introspection::exception(data_type, path)
{
}

bad_type::bad_type(int data_type, const std::string& path, const std::string& name,
                   const std::string& text)
    : std::logic_error(text)
    , introspection::exception(data_type, path, name)
{
}

bad_type::bad_type(int data_type, const std::string& path, const char* text, const std::exception&)
    : bad_type(data_type, path, text)
{
}

bad_type::bad_type(int data_type, const std::string& path, const std::string& name,
                   const char* text, const std::exception&)
    : bad_type(data_type, path, name, text)
{
}

bad_type::bad_type(int data_type, const std::string& path, const std::string& text,
                   const std::exception&)
    : bad_type(data_type, path, text)
{
}

bad_type::bad_type(int data_type, const std::string& path, const std::string& name,
                   const std::string& text, const std::exception&)
    : bad_type(data_type, path, name, text)
{
}

bad_type::bad_type(const bad_type&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(bad_type, std::logic_error)

missing_type::missing_type(int data_type, const std::string& path)
    : bad_type(data_type, path,
               std::string("Missing type option for ") + type2string(data_type) + " field at '" +
                   path + "'.")
{
}

missing_type::missing_type(int data_type, const std::string& path, const std::exception&)
    : missing_type(data_type, path)
{
}

missing_type::missing_type(const missing_type&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(missing_type, std::logic_error)

unknown_type::unknown_type(int data_type, const std::string& path, const std::string& name)
    : bad_type(data_type, path, name,
               "Unknown type '" + name + "' at " + detail::typed_field(data_type, path))
{
}

unknown_type::unknown_type(int data_type, const std::string& path, const std::string& name,
                           const std::exception&)
    : unknown_type(data_type, path, name)
{
}

unknown_type::unknown_type(const unknown_type&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(unknown_type, std::logic_error)

type_mismatch::type_mismatch(int data_type, int expected_type, const std::string& path)
    : bad_type(data_type, path, encountered_text(data_type, expected_type, path) + ".")
    , expected_type_(expected_type)
{
}

type_mismatch::type_mismatch(int data_type, const std::string& path, const std::string& name)
    : bad_type(data_type, path, name,
               "Type mismatch at '" + path + "'. Refused to validate " + type2string(data_type) +
                   " as " + name + ".")
    , expected_type_(0)
{
}

type_mismatch::type_mismatch(int data_type, int expected_type, const std::string& path,
                             const std::string& name)
    : bad_type(data_type, path, name,
               encountered_text(data_type, expected_type, path) + " for " + name + ".")
    , expected_type_(expected_type)
{
}

// The one twin whose text differs from its partner's.
type_mismatch::type_mismatch(int data_type, int expected_type, const std::string& path,
                             const std::exception&)
    : bad_type(data_type, path,
               mismatch_text(data_type, expected_type, path, "Refused to interpret ", " as ") + ".")
    , expected_type_(expected_type)
{
}

type_mismatch::type_mismatch(int data_type, const std::string& path, const std::string& name,
                             const std::exception&)
    : type_mismatch(data_type, path, name)
{
}

type_mismatch::type_mismatch(int data_type, int expected_type, const std::string& path,
                             const std::string& name, const std::exception&)
    : type_mismatch(data_type, expected_type, path, name)
{
}

type_mismatch::type_mismatch(const type_mismatch&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(type_mismatch, std::logic_error)

int type_mismatch::expected_type() const
{
    return expected_type_;
}

unsupported_properties::unsupported_properties(int data_type, const std::string& path,
                                               const std::string& name,
                                               const property_map& properties)
    : bad_type(data_type, path, name,
               "Unsupported " + property_list(properties) + " for type " + name + " at " +
                   detail::typed_field(data_type, path))
    , properties_(properties)
{
}

unsupported_properties::unsupported_properties(int data_type, const std::string& path,
                                               const std::string& name,
                                               const property_map& properties,
                                               const std::exception&)
    : unsupported_properties(data_type, path, name, properties)
{
}

unsupported_properties::unsupported_properties(const unsupported_properties&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(unsupported_properties, std::logic_error)

const unsupported_properties::property_map& unsupported_properties::properties() const
{
    return properties_;
}

} // namespace zarvo::introspection
