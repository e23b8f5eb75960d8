#include "devicelib/introspection/validate.h"

#include "devicelib/errors/general_errors.h"
#include "devicelib/introspection/data_type_registry.h"
#include "devicelib/introspection/field_errors.h"
#include "devicelib/introspection/type_errors.h"
#include "devicelib/introspection/validate_fields.h"
#include "devicelib/introspection/validation_canceled.h"
#include "devicelib/introspection/value_traits.h"

#include <google/protobuf/descriptor.pb.h>
#include <google/protobuf/message.h>

namespace zarvo::introspection {

namespace {

using google::protobuf::Descriptor;
using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;

const std::string inherited_marker = "INHERITED";

// Runs the validator's check of the field's own value type on the value (or
// on element index) of a scalar field.
template <typename T>
unsigned check_as(const validator& check, const Reflection& reflection, const Message& message,
                  const FieldDescriptor* field, int index, const std::string& path, auditor& audit,
                  unsigned flags)
{
    using traits = detail::value_traits<T>;
    const T value = index < 0 ? traits::get(reflection, message, field)
                              : traits::get(reflection, message, field, index);
    return check.check(value, path, audit, flags);
}

unsigned check_value(const validator& check, const Reflection& reflection, const Message& message,
                     const FieldDescriptor* field, int index, const std::string& path,
                     auditor& audit, unsigned flags)
{
    switch (field->cpp_type()) {
    case FieldDescriptor::CPPTYPE_INT32:
        return check_as<int>(check, reflection, message, field, index, path, audit, flags);
    case FieldDescriptor::CPPTYPE_INT64:
        return check_as<long long>(check, reflection, message, field, index, path, audit, flags);
    case FieldDescriptor::CPPTYPE_UINT32:
        return check_as<unsigned int>(check, reflection, message, field, index, path, audit, flags);
    case FieldDescriptor::CPPTYPE_UINT64:
        return check_as<unsigned long long>(check, reflection, message, field, index, path, audit,
                                            flags);
    case FieldDescriptor::CPPTYPE_DOUBLE:
        return check_as<double>(check, reflection, message, field, index, path, audit, flags);
    case FieldDescriptor::CPPTYPE_FLOAT:
        return check_as<float>(check, reflection, message, field, index, path, audit, flags);
    default: { // string, the only other kind that gets a validator
        std::string scratch;
        const std::string& value =
            index < 0 ? reflection.GetStringReference(message, field, &scratch)
                      : reflection.GetRepeatedStringReference(message, field, index, &scratch);
        return check.check(value, path, audit, flags);
    }
    }
}

// bool and enum fields, which cannot carry a data type.
bool is_flag(int type)
{
    return type == FieldDescriptor::CPPTYPE_BOOL || type == FieldDescriptor::CPPTYPE_ENUM;
}

// The numeric and string fields, whose values validators check.
bool is_value(int type)
{
    return (type >= FieldDescriptor::CPPTYPE_INT32 && type <= FieldDescriptor::CPPTYPE_FLOAT) ||
           type == FieldDescriptor::CPPTYPE_STRING;
}

[[noreturn]] void throw_invalid_type(int type)
{
    throw invalid_function("Invalid type " + std::to_string(type) + ".");
}

// One walk: the auditor and registry, and the rules applied at every level.
class walk {
public:
    walk(auditor& audit, data_type_registry& registry)
        : audit_(audit)
        , registry_(registry)
    {
    }

    unsigned message(const Message& message, const path& prefix, const std::string& inherited,
                     unsigned flags, unsigned int depth);

private:
    struct field_info {
        const FieldDescriptor* descriptor;
        int type;
        const std::string& own;       // from the field's option
        const std::string& effective; // the inherited one for an INHERITED field
        bool inherits;
        path at;
    };

    unsigned singular(const Message& message, const field_info& field, unsigned flags,
                      unsigned int depth);
    unsigned repeated(const Message& message, const field_info& field, unsigned flags,
                      unsigned int depth);
    unsigned untyped(const field_info& field, unsigned flags);

    // Each element of a repeated field at its path "field[j]", bracketed by
    // indenting and outdenting; visit(j, element path, flags) gives the flags.
    template <typename Visit>
    unsigned elements(const field_info& field, int size, unsigned flags, Visit visit)
    {
        for (int j = 0; j < size; ++j) {
            const path element = field.at[j];
            indent(field.type, element.name(), field.effective, flags);
            flags = visit(j, element, flags);
            outdent(field.type, element.name(), field.effective, flags);
        }
        return flags;
    }

    void indent(int type, const std::string& at, const std::string& name, unsigned flags)
    {
        if (!audit_.indenting(type, at, name, flags))
            throw validation_canceled(type, at, name);
    }
    void outdent(int type, const std::string& at, const std::string& name, unsigned flags)
    {
        if (!audit_.outdenting(type, at, name, flags))
            throw validation_canceled(type, at, name);
    }
    unsigned mismatch(int type, const std::string& at, const std::string& name, unsigned flags)
    {
        if (!audit_.type_mismatch(type, 0, at, name, flags))
            throw type_mismatch(type, at, name);
        return flags | issue::type_mismatch;
    }

    auditor& audit_;
    data_type_registry& registry_;
};

unsigned walk::message(const Message& message, const path& prefix, const std::string& inherited,
                       unsigned flags, unsigned int depth)
{
    if (depth > max_validation_depth)
        throw invalid_function("Message nesting deeper than " +
                               std::to_string(max_validation_depth) + " levels.");
    const Descriptor* type = message.GetDescriptor();
    bool taken_up = false;
    for (int i = 0; i < type->field_count(); ++i) {
        const FieldDescriptor* descriptor = type->field(i);
        const std::string& own = data_type_of(descriptor);
        const bool inherits = own == inherited_marker;
        taken_up = taken_up || inherits;
        const field_info field{descriptor, descriptor->cpp_type(),
                               own,        inherits ? inherited : own,
                               inherits,   path(prefix / descriptor->name())};
        switch (descriptor->label()) {
        case FieldDescriptor::LABEL_OPTIONAL:
        case FieldDescriptor::LABEL_REQUIRED:
            flags = singular(message, field, flags, depth);
            break;
        case FieldDescriptor::LABEL_REPEATED:
            flags = repeated(message, field, flags, depth);
            break;
        default:
            throw invalid_function("Invalid label " + std::to_string(descriptor->label()) + ".");
        }
    }
    // A data type handed to a message that no INHERITED field takes up.
    if (!inherited.empty() && !taken_up) {
        if (!audit_.type_mismatch(FieldDescriptor::CPPTYPE_MESSAGE, 0, prefix.name(), inherited,
                                  flags))
            throw type_mismatch(FieldDescriptor::CPPTYPE_MESSAGE, prefix.name(), inherited);
        flags |= issue::type_mismatch;
    }
    return flags;
}

// A numeric or string field without a data type, reported once.
unsigned walk::untyped(const field_info& field, unsigned flags)
{
    const std::string& at = field.at.name();
    if (field.inherits) {
        if (!audit_.unknown_type(field.type, at, field.own, flags))
            throw unknown_type(field.type, at, field.own);
        return flags | issue::unknown_type;
    }
    if (!audit_.missing_type(field.type, at, flags))
        throw missing_type(field.type, at);
    return flags | issue::missing_type;
}

unsigned walk::singular(const Message& message, const field_info& field, unsigned flags,
                        unsigned int depth)
{
    const Reflection& reflection = *message.GetReflection();
    const std::string& at = field.at.name();
    if (!reflection.HasField(message, field.descriptor)) {
        if (!field.descriptor->is_required())
            return flags;
        if (!audit_.missing_value(field.type, at, field.effective, flags)) {
            if (field.effective.empty())
                throw missing_value(field.type, at);
            throw missing_value(field.type, at, field.effective);
        }
        return flags | issue::missing_value;
    }

    indent(field.type, at, field.effective, flags);
    if (field.type == FieldDescriptor::CPPTYPE_MESSAGE) {
        flags = this->message(reflection.GetMessage(message, field.descriptor), field.at,
                              field.effective, flags, depth + 1);
    } else if (is_flag(field.type)) {
        if (!field.own.empty())
            flags = mismatch(field.type, at, field.effective, flags);
    } else if (!is_value(field.type)) {
        throw_invalid_type(field.type);
    } else if (field.effective.empty()) {
        flags = untyped(field, flags);
    } else if (const validator* check =
                   registry_.get_validator(field.type, at, field.effective, audit_, flags)) {
        flags = check_value(*check, reflection, message, field.descriptor, -1, at, audit_, flags);
    }
    outdent(field.type, at, field.effective, flags);
    return flags;
}

unsigned walk::repeated(const Message& message, const field_info& field, unsigned flags,
                        unsigned int depth)
{
    const Reflection& reflection = *message.GetReflection();
    const int size = reflection.FieldSize(message, field.descriptor);
    if (field.type == FieldDescriptor::CPPTYPE_MESSAGE) {
        return elements(field, size, flags, [&](int j, const path& element, unsigned so_far) {
            return this->message(reflection.GetRepeatedMessage(message, field.descriptor, j),
                                 element, field.effective, so_far, depth + 1);
        });
    }
    if (is_flag(field.type)) {
        if (field.own.empty())
            return flags;
        return elements(field, size, flags, [&](int, const path& element, unsigned so_far) {
            return mismatch(field.type, element.name(), field.effective, so_far);
        });
    }
    if (!is_value(field.type))
        throw_invalid_type(field.type);
    if (field.effective.empty())
        return untyped(field, flags);
    // One lookup for the whole field, also when it is empty.
    const validator* check =
        registry_.get_validator(field.type, field.at.name(), field.effective, audit_, flags);
    if (!check)
        return flags;
    return elements(field, size, flags, [&](int j, const path& element, unsigned so_far) {
        return check_value(*check, reflection, message, field.descriptor, j, element.name(), audit_,
                           so_far);
    });
}

} // namespace

const std::string& data_type_of(const FieldDescriptor* field)
{
    static const std::string none;
    // The option is an extension of FieldOptions, looked up once by name.
    static const FieldDescriptor* const option = google::protobuf::FieldOptions::default_instance()
                                                     .GetReflection()
                                                     ->FindKnownExtensionByName("type");
    if (!option)
        return none;
    const Message& options = field->options();
    const auto* value = options.GetReflection()->GetEnum(options, option);
    return value->number() == 0 ? none : value->name();
}

unsigned validate_fields(const Message& message, const path& prefix, const std::string& inherited,
                         auditor& audit, unsigned flags, data_type_registry& registry,
                         unsigned int depth)
{
    return walk(audit, registry).message(message, prefix, inherited, flags, depth);
}

unsigned validate(const Message& message, auditor& audit, data_type_registry& registry)
{
    return validate_fields(message, path(), std::string(), audit, 0, registry);
}

unsigned validate(const Message& message, const std::string& name, auditor& audit,
                  data_type_registry& registry)
{
    return validate_fields(message, path(), name, audit, 0, registry);
}

unsigned validate(const Message& message, auditor& audit)
{
    return validate(message, audit, data_type_registry::instance());
}

unsigned validate(const Message& message, const std::string& name, auditor& audit)
{
    return validate(message, name, audit, data_type_registry::instance());
}

} // namespace zarvo::introspection
