#include "devicelib/introspection/field_access.h"

#include "devicelib/introspection/cast_error.h"
#include "devicelib/introspection/field_resolution.h"
#include "devicelib/introspection/value_traits.h"

namespace zarvo::introspection {

namespace {

using detail::direction;
using detail::field_slot;
using detail::value_traits;
using google::protobuf::EnumValueDescriptor;
using google::protobuf::FieldDescriptor;
using google::protobuf::Message;

constexpr int enum_kind = FieldDescriptor::CPPTYPE_ENUM;

// The generic get and set: every value type differs only in its row of the
// traits table.
template <typename T>
T get_value(const Message& message, const entry& field, const std::string& reported)
{
    using traits = value_traits<T>;
    const field_slot slot =
        detail::resolve_entry(message, field, traits::kind, direction::get, reported);
    const auto& reflection = *message.GetReflection();
    return slot.repeated() ? traits::get(reflection, message, slot.field, slot.index)
                           : traits::get(reflection, message, slot.field);
}

template <typename T>
void set_value(Message& message, const entry& field, T value, const std::string& reported)
{
    using traits = value_traits<T>;
    const field_slot slot =
        detail::resolve_entry(message, field, traits::kind, direction::set, reported);
    const auto& reflection = *message.GetReflection();
    if (slot.repeated())
        traits::set(reflection, &message, slot.field, slot.index, value);
    else
        traits::set(reflection, &message, slot.field, value);
}

const EnumValueDescriptor& get_enum(const Message& message, const entry& field,
                                    const std::string& reported)
{
    const field_slot slot =
        detail::resolve_entry(message, field, enum_kind, direction::get, reported);
    const auto& reflection = *message.GetReflection();
    return slot.repeated() ? *reflection.GetRepeatedEnum(message, slot.field, slot.index)
                           : *reflection.GetEnum(message, slot.field);
}

void set_enum(Message& message, const entry& field, int number, const std::string& reported)
{
    const field_slot slot =
        detail::resolve_entry(message, field, enum_kind, direction::set, reported);
    // Looked up first: reflection would file an unknown number among the
    // unknown fields instead of refusing it.
    const auto* value = slot.field->enum_type()->FindValueByNumber(number);
    if (!value)
        throw bad_cast(reported, slot.field->enum_type()->name(), number);
    const auto& reflection = *message.GetReflection();
    if (slot.repeated())
        reflection.SetRepeatedEnum(&message, slot.field, slot.index, value);
    else
        reflection.SetEnum(&message, slot.field, value);
}

int enum_string(const EnumValueDescriptor& value, std::string& name)
{
    name = value.name();
    return value.number();
}

} // namespace

int get_entry_type(const Message& message, const entry& field)
{
    return detail::entry_type(message, field, field.name());
}

int get_path_type(const Message& message, const path& field)
{
    detail::require_first_component(field);
    if (field.is_entry())
        return FieldDescriptor::CPPTYPE_MESSAGE;
    return detail::entry_type(detail::path_message(message, path(field.parent())),
                              entry(field.basename()), field.name());
}

Message& get_entry_message(Message& message, const entry& field)
{
    return detail::entry_message(message, field, field.name());
}

const Message& get_entry_message(const Message& message, const entry& field)
{
    return detail::entry_message(message, field, field.name());
}

Message& get_path_message(Message& message, const path& field)
{
    return detail::path_message(message, field);
}

const Message& get_path_message(const Message& message, const path& field)
{
    return detail::path_message(message, field);
}

template <typename T>
T get_entry_value(const Message& message, const entry& field)
{
    return get_value<T>(message, field, field.name());
}

template <typename T>
T get_path_value(const Message& message, const path& field)
{
    return detail::at_last_component(
        message, field, value_traits<T>::kind,
        [](const Message& parent, const entry& last, const std::string& reported) -> T {
            return get_value<T>(parent, last, reported);
        });
}

int get_entry_enum_int(const Message& message, const entry& field)
{
    return get_enum(message, field, field.name()).number();
}

int get_path_enum_int(const Message& message, const path& field)
{
    return detail::at_last_component(
        message, field, enum_kind,
        [](const Message& parent, const entry& last, const std::string& reported) {
            return get_enum(parent, last, reported).number();
        });
}

int get_entry_enum_string(const Message& message, const entry& field, std::string& name)
{
    return enum_string(get_enum(message, field, field.name()), name);
}

int get_path_enum_string(const Message& message, const path& field, std::string& name)
{
    return detail::at_last_component(
        message, field, enum_kind,
        [&name](const Message& parent, const entry& last, const std::string& reported) {
            return enum_string(get_enum(parent, last, reported), name);
        });
}

template <typename T>
void set_entry_value(Message& message, const entry& field, T value)
{
    set_value<T>(message, field, value, field.name());
}

template <typename T>
void set_path_value(Message& message, const path& field, T value)
{
    detail::at_last_component(
        message, field, value_traits<T>::kind,
        [&value](Message& parent, const entry& last, const std::string& reported) {
            set_value<T>(parent, last, value, reported);
        });
}

void set_entry_enum_int(Message& message, const entry& field, int number)
{
    set_enum(message, field, number, field.name());
}

void set_path_enum_int(Message& message, const path& field, int number)
{
    detail::at_last_component(
        message, field, enum_kind,
        [number](Message& parent, const entry& last, const std::string& reported) {
            set_enum(parent, last, number, reported);
        });
}

// The value types of the interface, and no others.
template bool get_entry_value<bool>(const Message&, const entry&);
template int get_entry_value<int>(const Message&, const entry&);
template long long get_entry_value<long long>(const Message&, const entry&);
template unsigned int get_entry_value<unsigned int>(const Message&, const entry&);
template unsigned long long get_entry_value<unsigned long long>(const Message&, const entry&);
template float get_entry_value<float>(const Message&, const entry&);
template double get_entry_value<double>(const Message&, const entry&);
template std::string get_entry_value<std::string>(const Message&, const entry&);
template const std::string& get_entry_value<const std::string&>(const Message&, const entry&);

template bool get_path_value<bool>(const Message&, const path&);
template int get_path_value<int>(const Message&, const path&);
template long long get_path_value<long long>(const Message&, const path&);
template unsigned int get_path_value<unsigned int>(const Message&, const path&);
template unsigned long long get_path_value<unsigned long long>(const Message&, const path&);
template float get_path_value<float>(const Message&, const path&);
template double get_path_value<double>(const Message&, const path&);
template std::string get_path_value<std::string>(const Message&, const path&);
template const std::string& get_path_value<const std::string&>(const Message&, const path&);

template void set_entry_value<bool>(Message&, const entry&, bool);
template void set_entry_value<int>(Message&, const entry&, int);
template void set_entry_value<long long>(Message&, const entry&, long long);
template void set_entry_value<unsigned int>(Message&, const entry&, unsigned int);
template void set_entry_value<unsigned long long>(Message&, const entry&, unsigned long long);
template void set_entry_value<float>(Message&, const entry&, float);
template void set_entry_value<double>(Message&, const entry&, double);
template void set_entry_value<const std::string&>(Message&, const entry&, const std::string&);

template void set_path_value<bool>(Message&, const path&, bool);
template void set_path_value<int>(Message&, const path&, int);
template void set_path_value<long long>(Message&, const path&, long long);
template void set_path_value<unsigned int>(Message&, const path&, unsigned int);
template void set_path_value<unsigned long long>(Message&, const path&, unsigned long long);
template void set_path_value<float>(Message&, const path&, float);
template void set_path_value<double>(Message&, const path&, double);
template void set_path_value<const std::string&>(Message&, const path&, const std::string&);

} // namespace zarvo::introspection
