#include "devicelib/introspection/field_resolution.h"

#include "devicelib/introspection/field_errors.h"
#include "devicelib/introspection/type_errors.h"

namespace zarvo::introspection::detail {

namespace {

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;

constexpr int message_kind = FieldDescriptor::CPPTYPE_MESSAGE;

void require_kind(int kind, int requested, direction way, const std::string& reported)
{
    if (kind == requested)
        return;
    if (way == direction::get)
        throw type_mismatch(kind, requested, reported);
    throw type_mismatch(requested, kind, reported);
}

const FieldDescriptor& find_field(const Message& message, const std::string& name,
                                  const std::string& reported)
{
    const FieldDescriptor* field = message.GetDescriptor()->FindFieldByName(name);
    if (!field)
        throw field_not_found(reported);
    return *field;
}

} // namespace

field_slot resolve_entry(const Message& message, const entry& field, int requested, direction way,
                         const std::string& reported)
{
    const unsigned int index = field.index();
    const bool indexed = index != entry::invalid_index();
    const FieldDescriptor& descriptor =
        find_field(message, indexed ? field.array().name() : field.name(), reported);
    const int kind = descriptor.cpp_type();

    if (descriptor.is_repeated()) {
        if (!indexed)
            throw missing_index(kind, reported);
        require_kind(kind, requested, way, reported);
        const int size = message.GetReflection()->FieldSize(message, &descriptor);
        if (index >= static_cast<unsigned int>(size))
            throw missing_elements(requested, reported, index, static_cast<unsigned int>(size));
        return {&descriptor, static_cast<int>(index)};
    }

    if (indexed)
        throw no_such_array(kind, reported, index);
    if (!message.GetReflection()->HasField(message, &descriptor))
        throw missing_value(kind, reported);
    require_kind(kind, requested, way, reported);
    return {&descriptor, -1};
}

int entry_type(const Message& message, const entry& field, const std::string& reported)
{
    // The index is not converted here, so an oversized one is no error.
    const entry& name = field.is_array() ? field.array() : field;
    return find_field(message, name.name(), reported).cpp_type();
}

const Message& entry_message(const Message& message, const entry& field,
                             const std::string& reported)
{
    const field_slot slot = resolve_entry(message, field, message_kind, direction::get, reported);
    const auto& reflection = *message.GetReflection();
    return slot.repeated() ? reflection.GetRepeatedMessage(message, slot.field, slot.index)
                           : reflection.GetMessage(message, slot.field);
}

Message& entry_message(Message& message, const entry& field, const std::string& reported)
{
    // The field is set (or the element exists), so the mutable accessors
    // hand out what is there and add nothing.
    const field_slot slot = resolve_entry(message, field, message_kind, direction::get, reported);
    const auto& reflection = *message.GetReflection();
    return slot.repeated() ? *reflection.MutableRepeatedMessage(&message, slot.field, slot.index)
                           : *reflection.MutableMessage(&message, slot.field);
}

void require_first_component(const path& field)
{
    if (field.empty() || field.name().front() == path::delimiter())
        throw field_not_found(field.name());
}

namespace {

// The parent of a path that has a first component is shorter and has the
// same first component, so the recursion ends at a single component.
template <typename M>
M& resolve_path_message(M& message, const path& field)
{
    require_first_component(field);
    if (field.is_entry())
        return entry_message(message, entry(field.name()), field.name());
    return entry_message(resolve_path_message(message, path(field.parent())),
                         entry(field.basename()), field.name());
}

} // namespace

const Message& path_message(const Message& message, const path& field)
{
    return resolve_path_message(message, field);
}

Message& path_message(Message& message, const path& field)
{
    return resolve_path_message(message, field);
}

} // namespace zarvo::introspection::detail
