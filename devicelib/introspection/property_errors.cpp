#include "devicelib/introspection/property_errors.h"

#include "devicelib/errors/error_definitions.h"

#include "devicelib/introspection/error_text.h"

namespace zarvo::introspection {

namespace {

// "type T at uint32 field 'p'." closes the texts of both families.
std::string type_at_field(int data_type, const std::string& path, const std::string& name)
{
    return "type " + name + " at " + detail::typed_field(data_type, path);
}

} // namespace

bad_property::bad_property(int data_type, const std::string& path, const std::string& name,
                           const std::string& key, const std::string& data)
    : std::logic_error("Bad '" + key + "' property value '" + data + "' in " +
                       type_at_field(data_type, path, name))
    , introspection::exception(data_type, path, name)
    , key_(key)
    , data_(data)
{
}

bad_property::bad_property(int data_type, const std::string& path, const std::string& name,
                           const std::string& key, const std::string& data, const std::exception&)
    : bad_property(data_type, path, name, key, data)
{
}

bad_property::bad_property(const bad_property&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(bad_property, std::logic_error)

const std::string& bad_property::key() const
{
    return key_;
}
const std::string& bad_property::data() const
{
    return data_;
}

missing_property::missing_property(int data_type, const std::string& path, const std::string& name,
                                   const std::string& key)
    : std::logic_error("Missing property '" + key + "' for " + type_at_field(data_type, path, name))
    , introspection::exception(data_type, path, name)
    , key_(key)
{
}

missing_property::missing_property(int data_type, const std::string& path, const std::string& name,
                                   const std::string& key, const std::exception&)
    : missing_property(data_type, path, name, key)
{
}

missing_property::missing_property(const missing_property&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(missing_property, std::logic_error)

const std::string& missing_property::key() const
{
    return key_;
}

#define ZARVO_INTROSPECTION_BAD_PROPERTY(class_name, key)                                          \
    class_name::class_name(int data_type, const std::string& path, const std::string& name,        \
                           const std::string& data)                                                \
        : bad_property(data_type, path, name, key, data)                                           \
    {                                                                                              \
    }                                                                                              \
    class_name::class_name(int data_type, const std::string& path, const std::string& name,        \
                           const std::string& data, const std::exception&)                         \
        : class_name(data_type, path, name, data)                                                  \
    {                                                                                              \
    }                                                                                              \
    class_name::class_name(const class_name&) = default;                                           \
    ZARVO_DEFINE_ERROR_CONCRETE(class_name, std::logic_error)

#define ZARVO_INTROSPECTION_MISSING_PROPERTY(class_name, key)                                      \
    class_name::class_name(int data_type, const std::string& path, const std::string& name)        \
        : missing_property(data_type, path, name, key)                                             \
    {                                                                                              \
    }                                                                                              \
    class_name::class_name(int data_type, const std::string& path, const std::string& name,        \
                           const std::exception&)                                                  \
        : class_name(data_type, path, name)                                                        \
    {                                                                                              \
    }                                                                                              \
    class_name::class_name(const class_name&) = default;                                           \
    ZARVO_DEFINE_ERROR_CONCRETE(class_name, std::logic_error)

ZARVO_INTROSPECTION_BAD_PROPERTY(bad_minimum, "min")
ZARVO_INTROSPECTION_BAD_PROPERTY(bad_maximum, "max")
ZARVO_INTROSPECTION_BAD_PROPERTY(bad_regex, "regex")
ZARVO_INTROSPECTION_BAD_PROPERTY(bad_precision, "precision")
ZARVO_INTROSPECTION_BAD_PROPERTY(bad_unit, "unit")

ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_minimum, "min")
ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_maximum, "max")
ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_regex, "regex")
ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_precision, "precision")
ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_unit, "unit")

} // namespace zarvo::introspection
