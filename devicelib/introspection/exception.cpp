#include "devicelib/introspection/exception.h"

namespace zarvo::introspection {

exception::exception(const std::string& path)
    : exception(0, path, std::string())
{
}

exception::exception(int data_type, const std::string& path)
    : introspection::exception(data_type, path, std::string())
{
}

exception::exception(int data_type, const std::string& path, const std::string& value_type)
    : data_type_(data_type)
    , path_(path)
    , value_type_(value_type)
{
}

exception::exception(const std::string& path, const std::exception&)
    : exception(path)
{
}

exception::exception(int data_type, const std::string& path, const std::exception&)
    : introspection::exception(data_type, path)
{
}

exception::exception(int data_type, const std::string& path, const std::string& value_type,
                     const std::exception&)
    : introspection::exception(data_type, path, value_type)
{
}

exception::exception(const exception&) = default;
exception::~exception() = default;

int exception::data_type() const
{
    return data_type_;
}
const std::string& exception::path() const
{
    return path_;
}
const std::string& exception::value_type() const
{
    return value_type_;
}

} // namespace zarvo::introspection
