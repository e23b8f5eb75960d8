#include "devicelib/introspection/validator.h"

#include "devicelib/introspection/type_errors.h"

#include <google/protobuf/descriptor.h>

namespace zarvo::introspection {

namespace {
using google::protobuf::FieldDescriptor;
} // namespace

validator::validator(int type, const std::string& path, const std::string& name,
                     detail::properties& entry, auditor& audit, unsigned& flags)
    : type_(type)
    , name_(name)
{
    detail::build_context context{type, path, name, audit, flags};
    detail::read_property(context, entry, detail::property::unit, [this](const std::string& text) {
        unit_ = text;
        return true;
    });
}

validator::~validator() = default;

unsigned validator::mismatch(int value_type, const std::string& path, auditor& audit,
                             unsigned flags) const
{
    if (!audit.type_mismatch(value_type, type_, path, name_, flags))
        throw type_mismatch(value_type, type_, path, name_);
    return flags | issue::type_mismatch;
}

unsigned validator::check(const std::string&, const std::string& path, auditor& audit,
                          unsigned flags) const
{
    return mismatch(FieldDescriptor::CPPTYPE_STRING, path, audit, flags);
}
unsigned validator::check(double, const std::string& path, auditor& audit, unsigned flags) const
{
    return mismatch(FieldDescriptor::CPPTYPE_DOUBLE, path, audit, flags);
}
unsigned validator::check(float, const std::string& path, auditor& audit, unsigned flags) const
{
    return mismatch(FieldDescriptor::CPPTYPE_FLOAT, path, audit, flags);
}
unsigned validator::check(unsigned long long, const std::string& path, auditor& audit,
                          unsigned flags) const
{
    return mismatch(FieldDescriptor::CPPTYPE_UINT64, path, audit, flags);
}
unsigned validator::check(long long, const std::string& path, auditor& audit, unsigned flags) const
{
    return mismatch(FieldDescriptor::CPPTYPE_INT64, path, audit, flags);
}
unsigned validator::check(unsigned int, const std::string& path, auditor& audit,
                          unsigned flags) const
{
    return mismatch(FieldDescriptor::CPPTYPE_UINT32, path, audit, flags);
}
unsigned validator::check(int, const std::string& path, auditor& audit, unsigned flags) const
{
    return mismatch(FieldDescriptor::CPPTYPE_INT32, path, audit, flags);
}

} // namespace zarvo::introspection
