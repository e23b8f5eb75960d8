#pragma once

#include "devicelib/introspection/validator.h"
#include "devicelib/introspection/value_expression.h"

namespace zarvo::introspection {

// Length limits in bytes (inclusive) and an optional expression for string
// fields. Reads "unit", "min", "max" and "regex", the limits as unsigned
// numbers (a negative integer minimum reads as 0); it reads no precision, so
// an entry that gives one leaves it over for the registry to report.
class literal_validator final : public validator {
public:
    literal_validator(int type, const std::string& path, const std::string& name,
                      detail::properties& entry, auditor& audit, unsigned& flags);
    ~literal_validator() override;

    using validator::check;
    unsigned check(const std::string& value, const std::string& path, auditor& audit,
                   unsigned flags) const override;

    unsigned int minimum() const { return minimum_; }
    unsigned int maximum() const { return maximum_; }
    const detail::value_expression& expression() const { return expression_; }

private:
    unsigned int minimum_ = 0;
    unsigned int maximum_;
    detail::value_expression expression_;
};

} // namespace zarvo::introspection
