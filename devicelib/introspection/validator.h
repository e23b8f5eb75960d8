#pragma once

#include "devicelib/introspection/auditor.h"
#include "devicelib/introspection/property_reader.h"

#include <string>

// Validators: the limits of one data type, read from its entry of the
// value-type table, and the checks of field values against them. Built by the
// data type registry for the field type of the first field that meets the
// data type; never changed afterwards, so any thread may check with one.
// Internal to the library.
namespace zarvo::introspection {

// Checks a value of each field type. The base class answers every check with
// a type mismatch; a derived class overrides the check of its own value type.
// Each check takes the result flags so far and returns them with the bits of
// the issues the auditor accepted; a refused issue throws its error.
class validator {
public:
    virtual ~validator();
    validator(const validator&) = delete;
    validator& operator=(const validator&) = delete;

    virtual unsigned check(const std::string& value, const std::string& path, auditor& audit,
                           unsigned flags) const;
    virtual unsigned check(double value, const std::string& path, auditor& audit,
                           unsigned flags) const;
    virtual unsigned check(float value, const std::string& path, auditor& audit,
                           unsigned flags) const;
    virtual unsigned check(unsigned long long value, const std::string& path, auditor& audit,
                           unsigned flags) const;
    virtual unsigned check(long long value, const std::string& path, auditor& audit,
                           unsigned flags) const;
    virtual unsigned check(unsigned int value, const std::string& path, auditor& audit,
                           unsigned flags) const;
    virtual unsigned check(int value, const std::string& path, auditor& audit,
                           unsigned flags) const;

    // The field type code the validator was built for.
    int type() const { return type_; }
    const std::string& name() const { return name_; }
    // Kept as the table gives it; no check uses it.
    const std::string& unit() const { return unit_; }

protected:
    // Reads "unit" from the entry (see detail::read_property).
    validator(int type, const std::string& path, const std::string& name, detail::properties& entry,
              auditor& audit, unsigned& flags);

private:
    unsigned mismatch(int value_type, const std::string& path, auditor& audit,
                      unsigned flags) const;

    int type_;
    std::string name_;
    std::string unit_;
};

} // namespace zarvo::introspection
