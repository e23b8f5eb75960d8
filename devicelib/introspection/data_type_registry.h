#pragma once

#include "devicelib/introspection/auditor.h"
#include "devicelib/introspection/validator.h"
#include "devicelib/introspection/value_type_table.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zarvo::introspection {

// Turns data type names into validators: loads the value-type table on the
// first lookup, builds a data type's validator the first time a field meets
// it and keeps it for the registry's life. Internal to the library.
//
// The cache is keyed by the data type name alone, so a validator serves the
// field type of the first field it was built for; a field of another type
// gets a type mismatch from its check.
//
// Lookups run under one mutex, and so do the auditor callbacks made while a
// validator is built. Each thread also remembers the validators it has been
// given, so that validations on several threads do not queue for each other
// once their data types are built. A lookup made from a build callback (a
// validation started inside a lookup on the same thread) would wait for
// itself: it throws zarvo::invalid_function instead, at once.
class data_type_registry {
public:
    explicit data_type_registry(table_source source);
    ~data_type_registry();
    data_type_registry(const data_type_registry&) = delete;
    data_type_registry& operator=(const data_type_registry&) = delete;

    // The registry over the built-in table that validate() uses. It is never
    // destroyed, so its validators outlive every thread.
    static data_type_registry& instance();

    // The validator of the named data type for a field of the given type
    // code at path (used in reports only), or null when the name is not in
    // the table and the auditor accepted that (nothing is kept then, so the
    // next lookup asks again). Issues the auditor accepts add their bits to
    // flags; a refused one throws its error.
    //
    // A cached validator is returned with no report. A throw (a table that
    // does not load, a refused issue, a failing callback) changes nothing:
    // the next lookup loads or builds again.
    const validator* get_validator(int type, const std::string& path, const std::string& name,
                                   auditor& audit, unsigned& flags);

private:
    const validator* find_or_build(int type, const std::string& path, const std::string& name,
                                   auditor& audit, unsigned& flags);

    table_source source_;
    // Tells this registry's entries in the threads' memories from others'.
    const std::uint64_t id_;
    std::mutex mutex_;
    // Empty until a load succeeds. Entries move out as their validators are
    // built; a refused build leaves its entry for a later attempt.
    std::optional<value_type_table> table_;
    std::map<std::string, std::unique_ptr<validator>> cache_;
};

} // namespace zarvo::introspection
