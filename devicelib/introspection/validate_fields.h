#pragma once

#include "devicelib/introspection/auditor.h"
#include "devicelib/introspection/path.h"

#include <string>

namespace google::protobuf {
class FieldDescriptor;
class Message;
} // namespace google::protobuf

// The validation walk over a registry of one's choosing. Internal to the
// library.
namespace zarvo::introspection {

class data_type_registry;

// The field's own data type: the name of the value of its `type` option,
// empty for UNDEFINED (also what a field without the option reads as).
const std::string& data_type_of(const google::protobuf::FieldDescriptor* field);

// Deepest nesting of messages below the top-level one that a walk follows.
constexpr unsigned int max_validation_depth = 100;

// Walks the fields of a message that stands at prefix (empty at the top),
// with the data type handed down to it (empty when none), depth levels below
// the top-level message. Returns flags with the bits of accepted issues added.
unsigned validate_fields(const google::protobuf::Message& message, const path& prefix,
                         const std::string& inherited, auditor& audit, unsigned flags,
                         data_type_registry& registry, unsigned int depth = 0);

unsigned validate(const google::protobuf::Message& message, auditor& audit,
                  data_type_registry& registry);
unsigned validate(const google::protobuf::Message& message, const std::string& name, auditor& audit,
                  data_type_registry& registry);

} // namespace zarvo::introspection
