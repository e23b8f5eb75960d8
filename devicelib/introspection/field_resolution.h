#pragma once

// Finding the field that an entry or path names, with every check made
// before reflection is asked for anything: the runtime treats a call on a
// field of the wrong label or kind, or an index out of range, as a fatal
// error.

#include "devicelib/introspection/entry.h"
#include "devicelib/introspection/path.h"
#include "devicelib/introspection/type_errors.h"

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include <string>

namespace zarvo::introspection::detail {

// Which way the value goes; type_mismatch names the two kinds in the order
// of the transfer (field kind first when reading, requested kind first when
// writing).
enum class direction { get, set };

// A field that may be used as requested: for a singular field it is set, for
// a repeated one the element exists.
struct field_slot {
    const google::protobuf::FieldDescriptor* field;
    int index; // element of a repeated field; -1 for a singular one

    bool repeated() const { return index >= 0; }
};

// Checks the entry against the message for the requested kind. The order of
// the checks is part of the interface: a repeated field needs an index, then
// the kind, then the element; a singular field must have no index, then be
// set, then be of the kind. Errors report the text given.
field_slot resolve_entry(const google::protobuf::Message& message, const entry& field,
                         int requested, direction way, const std::string& reported);

int entry_type(const google::protobuf::Message& message, const entry& field,
               const std::string& reported);

const google::protobuf::Message& entry_message(const google::protobuf::Message& message,
                                               const entry& field, const std::string& reported);
google::protobuf::Message& entry_message(google::protobuf::Message& message, const entry& field,
                                         const std::string& reported);

// A path that is empty or starts with '.' has no first component; its parent
// chain never ends. Such a path is refused with field_not_found.
void require_first_component(const path& field);

// The sub-message that the path names, resolved from the first component on;
// each step reports the path up to its own component. The mutable form uses
// only fields that are already set.
const google::protobuf::Message& path_message(const google::protobuf::Message& message,
                                              const path& field);
google::protobuf::Message& path_message(google::protobuf::Message& message, const path& field);

// Runs an entry operation on the last component of a path of at least two
// components, inside the message that its parent names, reporting the whole
// path. A single component names a message, which no value operation takes.
template <typename M, typename Operation>
decltype(auto) at_last_component(M& message, const path& field, int requested, Operation operation)
{
    require_first_component(field);
    if (field.is_entry())
        throw type_mismatch(google::protobuf::FieldDescriptor::CPPTYPE_MESSAGE, requested,
                            field.name());
    return operation(path_message(message, path(field.parent())), entry(field.basename()),
                     field.name());
}

} // namespace zarvo::introspection::detail
