#pragma once

#include "devicelib/export.h"
#include "devicelib/introspection/auditor.h"

#include <string>

namespace google::protobuf {
class Message;
} // namespace google::protobuf

namespace zarvo::introspection {

// Checks every set field of the message, recursively, against the data type
// that its `type` option names: the inclusive limits and, where the value-type
// table gives one, the regular expression. Every issue met is put to the
// auditor. Returns the bits of the issues it accepted (issue::...), or throws
// the introspection error of the first issue it refused; the flags gathered
// up to then are lost.
//
// A field marked INHERITED takes the data type handed down to its message;
// the second form hands the name given to the top-level message, which must
// take it up with an INHERITED field or is reported as a type mismatch.
//
// Messages nested more than 100 levels below the top throw
// zarvo::invalid_function. The message is never changed and must not be
// changed by another thread meanwhile.
ZARVO_EXPORT unsigned validate(const google::protobuf::Message& message, auditor& audit);
ZARVO_EXPORT unsigned validate(const google::protobuf::Message& message, const std::string& name,
                               auditor& audit);

} // namespace zarvo::introspection
