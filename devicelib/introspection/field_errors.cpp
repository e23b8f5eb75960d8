#include "devicelib/introspection/field_errors.h"

#include "devicelib/errors/error_definitions.h"

#include "devicelib/introspection/type2string.h"

namespace zarvo::introspection {

namespace {

std::string missing_text(int data_type, const std::string& path)
{
    return std::string("Missing '") + type2string(data_type) + "' value at '" + path + "'.";
}

} // namespace

// missing_value

missing_value::missing_value(int data_type, const std::string& path)
    : zarvo::not_existing(missing_text(data_type, path))
    , introspection::exception(data_type, path)
{
}

missing_value::missing_value(int data_type, const std::string& path, const std::string& name)
    : zarvo::not_existing(std::string("Missing '") + type2string(data_type) + "' value for type " +
                          name + " at '" + path + "'.")
    , introspection::exception(data_type, path, name)
{
}

missing_value::missing_value(int data_type, const std::string& path, const std::exception&)
    : missing_value(data_type, path)
{
}

missing_value::missing_value(int data_type, const std::string& path, const std::string& name,
                             const std::exception&)
    : missing_value(data_type, path, name)
{
}

missing_value::missing_value(const missing_value&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(missing_value, zarvo::not_existing)

const std::string& missing_value::object_id() const
{
    return path();
}
// missing_elements

missing_elements::missing_elements(int data_type, const std::string& path, unsigned int index,
                                   unsigned int array_size)
    : missing_value(data_type, path)
    , index_(index)
    , array_size_(array_size)
{
}

missing_elements::missing_elements(int data_type, const std::string& path, unsigned int index,
                                   unsigned int array_size, const std::exception&)
    : missing_elements(data_type, path, index, array_size)
{
}

missing_elements::missing_elements(const missing_elements&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(missing_elements, zarvo::not_existing)

unsigned int missing_elements::index() const
{
    return index_;
}
unsigned int missing_elements::array_size() const
{
    return array_size_;
}
unsigned int missing_elements::count() const
{
    return index_ - array_size_ + 1U;
}

// field_not_found

field_not_found::field_not_found(const std::string& path)
    : zarvo::not_existing("Field '" + path + "' not found.")
    , introspection::exception(path)
{
}

field_not_found::field_not_found(int data_type, const std::string& path, const char* text)
    : zarvo::not_existing(text)
    , introspection::exception(data_type, path)
{
}

field_not_found::field_not_found(int data_type, const std::string& path, const std::string& text)
    : zarvo::not_existing(text)
    , introspection::exception(data_type, path)
{
}

field_not_found::field_not_found(const std::string& path, const std::exception&)
    : field_not_found(path)
{
}

field_not_found::field_not_found(int data_type, const std::string& path, const char* text,
                                 const std::exception&)
    : field_not_found(data_type, path, text)
{
}

field_not_found::field_not_found(int data_type, const std::string& path, const std::string& text,
                                 const std::exception&)
    : field_not_found(data_type, path, text)
{
}

field_not_found::field_not_found(const field_not_found&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(field_not_found, zarvo::not_existing)

const std::string& field_not_found::object_id() const
{
    return path();
}
// missing_index, no_such_array

missing_index::missing_index(int data_type, const std::string& path)
    : field_not_found(data_type, path,
                      std::string("Missing index for ") + type2string(data_type) + " array at '" +
                          path + "'.")
{
}

missing_index::missing_index(int data_type, const std::string& path, const std::exception&)
    : missing_index(data_type, path)
{
}

missing_index::missing_index(const missing_index&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(missing_index, zarvo::not_existing)

no_such_array::no_such_array(int data_type, const std::string& path, unsigned int index)
    : field_not_found(data_type, path,
                      std::string(type2string(data_type)) + " field at '" + path +
                          "' is not in an array.")
    , index_(index)
{
}

no_such_array::no_such_array(int data_type, const std::string& path, unsigned int index,
                             const std::exception&)
    : no_such_array(data_type, path, index)
{
}

no_such_array::no_such_array(const no_such_array&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(no_such_array, zarvo::not_existing)

unsigned int no_such_array::index() const
{
    return index_;
}

} // namespace zarvo::introspection
