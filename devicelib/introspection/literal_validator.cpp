#include "devicelib/introspection/literal_validator.h"

#include "devicelib/introspection/value_errors.h"

#include <limits>

namespace zarvo::introspection {

literal_validator::literal_validator(int type, const std::string& path, const std::string& name,
                                     detail::properties& entry, auditor& audit, unsigned& flags)
    : validator(type, path, name, entry, audit, flags)
    , maximum_(std::numeric_limits<unsigned int>::max())
{
    detail::build_context context{type, path, name, audit, flags};
    detail::read_limits(context, entry, minimum_, maximum_);
    expression_.read(context, entry);
}

literal_validator::~literal_validator() = default;

unsigned literal_validator::check(const std::string& value, const std::string& path, auditor& audit,
                                  unsigned flags) const
{
    if (value.size() < minimum_ || value.size() > maximum_) {
        if (!audit.limit_exceeded(value, path, name(), minimum_, maximum_, flags))
            throw limit_exceeded(value, path, name(), minimum_, maximum_);
        flags |= issue::limit_exceeded;
    }
    if (!expression_.matches(value)) {
        if (!audit.regex_mismatch(value, path, name(), expression_.source(), flags))
            throw regex_mismatch(value, path, name(), expression_.source());
        flags |= issue::regex_mismatch;
    }
    return flags;
}

} // namespace zarvo::introspection
