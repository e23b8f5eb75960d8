#pragma once

// Reading and writing one field of any protocol-buffer message through its
// descriptor and reflection, named by an entry of the message itself ("year",
// "entries[1]") or by a dotted path through nested messages
// ("date.year", "entries[1].name").
//
// Kinds are the FieldDescriptor::CppType codes (1 int32 ... 10 message, see
// type2string). Every failure is an introspection error carrying the field's
// kind and the text that names it: the entry's whole text, or for a path the
// path up to the component that failed. A failing operation leaves the
// message as it was.
//
// Getters never fall back to a field's default: a singular field must be set
// to be read. Setters never add a field or create a sub-message: a singular
// field must be set to be overwritten, an element must exist.
//
// A path of one component names a message: get_path_type gives 10 for it
// without looking, get_path_message resolves it as an entry, and the value,
// enum and set operations refuse it; use the entry functions for top-level
// fields. A path that is empty or starts with '.' names no field.
//
// An index of more digits than an unsigned 32-bit number holds lets
// boost::bad_lexical_cast out of every operation except the type query of a
// last component.

#include "devicelib/export.h"
#include "devicelib/introspection/entry.h"
#include "devicelib/introspection/path.h"
#include "devicelib/introspection/type2string.h"

#include <string>

namespace google::protobuf {
class Message;
} // namespace google::protobuf

namespace zarvo::introspection {

// Kind of the named field. Only the name is looked at: no label, index or
// presence check, and the index of the component is never converted.
ZARVO_EXPORT int get_entry_type(const google::protobuf::Message& message, const entry& field);
ZARVO_EXPORT int get_path_type(const google::protobuf::Message& message, const path& field);

// The sub-message held by a set singular field or an existing element. The
// mutable forms never create one.
ZARVO_EXPORT google::protobuf::Message& get_entry_message(google::protobuf::Message& message,
                                                          const entry& field);
ZARVO_EXPORT const google::protobuf::Message&
get_entry_message(const google::protobuf::Message& message, const entry& field);
ZARVO_EXPORT google::protobuf::Message& get_path_message(google::protobuf::Message& message,
                                                         const path& field);
ZARVO_EXPORT const google::protobuf::Message&
get_path_message(const google::protobuf::Message& message, const path& field);

// T is one of bool, int, long long, unsigned int, unsigned long long, float,
// double, std::string (a copy) and const std::string& (a reference to the
// text held in the message, valid while that field is not changed).
template <typename T>
ZARVO_EXPORT T get_entry_value(const google::protobuf::Message& message, const entry& field);
template <typename T>
ZARVO_EXPORT T get_path_value(const google::protobuf::Message& message, const path& field);

// Number of the enum value held by the field.
ZARVO_EXPORT int get_entry_enum_int(const google::protobuf::Message& message, const entry& field);
ZARVO_EXPORT int get_path_enum_int(const google::protobuf::Message& message, const path& field);

// Number of the enum value held by the field; its name goes into name.
ZARVO_EXPORT int get_entry_enum_string(const google::protobuf::Message& message, const entry& field,
                                       std::string& name);
ZARVO_EXPORT int get_path_enum_string(const google::protobuf::Message& message, const path& field,
                                      std::string& name);

// T is one of bool, int, long long, unsigned int, unsigned long long, float,
// double and const std::string&; name it explicitly.
template <typename T>
ZARVO_EXPORT void set_entry_value(google::protobuf::Message& message, const entry& field, T value);
template <typename T>
ZARVO_EXPORT void set_path_value(google::protobuf::Message& message, const path& field, T value);

// Sets the enum value of that number; a number the field's enum type does not
// define gives bad_cast and changes nothing.
ZARVO_EXPORT void set_entry_enum_int(google::protobuf::Message& message, const entry& field,
                                     int number);
ZARVO_EXPORT void set_path_enum_int(google::protobuf::Message& message, const path& field,
                                    int number);

} // namespace zarvo::introspection
