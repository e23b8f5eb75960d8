#pragma once

// The table behind the generic get and set: for each value type of the
// interface, the kind it requests and the reflection accessors of a singular
// field and of a repeated element.

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include <string>

namespace zarvo::introspection::detail {

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;

template <typename T, int Kind, auto Get, auto GetRepeated, auto Set, auto SetRepeated>
struct reflection_accessors {
    static constexpr int kind = Kind;

    static T get(const Reflection& reflection, const Message& message, const FieldDescriptor* field)
    {
        return (reflection.*Get)(message, field);
    }
    static T get(const Reflection& reflection, const Message& message, const FieldDescriptor* field,
                 int index)
    {
        return (reflection.*GetRepeated)(message, field, index);
    }
    static void set(const Reflection& reflection, Message* message, const FieldDescriptor* field,
                    const T& value)
    {
        (reflection.*Set)(message, field, value);
    }
    static void set(const Reflection& reflection, Message* message, const FieldDescriptor* field,
                    int index, const T& value)
    {
        (reflection.*SetRepeated)(message, field, index, value);
    }
};

template <typename T>
struct value_traits;

template <>
struct value_traits<int>
    : reflection_accessors<int, FieldDescriptor::CPPTYPE_INT32, &Reflection::GetInt32,
                           &Reflection::GetRepeatedInt32, &Reflection::SetInt32,
                           &Reflection::SetRepeatedInt32> {
};
template <>
struct value_traits<long long>
    : reflection_accessors<long long, FieldDescriptor::CPPTYPE_INT64, &Reflection::GetInt64,
                           &Reflection::GetRepeatedInt64, &Reflection::SetInt64,
                           &Reflection::SetRepeatedInt64> {
};
template <>
struct value_traits<unsigned int>
    : reflection_accessors<unsigned int, FieldDescriptor::CPPTYPE_UINT32, &Reflection::GetUInt32,
                           &Reflection::GetRepeatedUInt32, &Reflection::SetUInt32,
                           &Reflection::SetRepeatedUInt32> {
};
template <>
struct value_traits<unsigned long long>
    : reflection_accessors<unsigned long long, FieldDescriptor::CPPTYPE_UINT64,
                           &Reflection::GetUInt64, &Reflection::GetRepeatedUInt64,
                           &Reflection::SetUInt64, &Reflection::SetRepeatedUInt64> {
};
template <>
struct value_traits<double>
    : reflection_accessors<double, FieldDescriptor::CPPTYPE_DOUBLE, &Reflection::GetDouble,
                           &Reflection::GetRepeatedDouble, &Reflection::SetDouble,
                           &Reflection::SetRepeatedDouble> {
};
template <>
struct value_traits<float>
    : reflection_accessors<float, FieldDescriptor::CPPTYPE_FLOAT, &Reflection::GetFloat,
                           &Reflection::GetRepeatedFloat, &Reflection::SetFloat,
                           &Reflection::SetRepeatedFloat> {
};
template <>
struct value_traits<bool>
    : reflection_accessors<bool, FieldDescriptor::CPPTYPE_BOOL, &Reflection::GetBool,
                           &Reflection::GetRepeatedBool, &Reflection::SetBool,
                           &Reflection::SetRepeatedBool> {
};
template <>
struct value_traits<std::string>
    : reflection_accessors<std::string, FieldDescriptor::CPPTYPE_STRING, &Reflection::GetString,
                           &Reflection::GetRepeatedString, &Reflection::SetString,
                           &Reflection::SetRepeatedString> {
};

// The reference form reads the text where the message keeps it. The runtime
// stores every string field it generates as a std::string of its own and
// never fills the scratch copy, so the reference stays inside the message.
template <>
struct value_traits<const std::string&> : value_traits<std::string> {
    static const std::string& get(const Reflection& reflection, const Message& message,
                                  const FieldDescriptor* field)
    {
        std::string unused;
        return reflection.GetStringReference(message, field, &unused);
    }
    static const std::string& get(const Reflection& reflection, const Message& message,
                                  const FieldDescriptor* field, int index)
    {
        std::string unused;
        return reflection.GetRepeatedStringReference(message, field, index, &unused);
    }
};

} // namespace zarvo::introspection::detail
