#pragma once

#include "devicelib/errors/error_shapes.h"
#include "devicelib/export.h"
#include "devicelib/introspection/exception.h"

#include <string>
#include <typeinfo>

namespace zarvo::introspection {

// A value or limit cannot be read as the type asked for, or an enumeration
// number is not one of the field's enumeration. The source type is the
// category's data_type.
class ZARVO_EXPORT bad_cast : public std::bad_cast, public exception {
public:
    bad_cast(int to_type, int from_type, const std::string& path);
    bad_cast(int to_type, int from_type, const std::string& path, const std::string& name);
    bad_cast(const std::string& path, const std::string& enumeration, int value);
    bad_cast(int to_type, int from_type, const std::string& path, const std::exception& cause);
    bad_cast(int to_type, int from_type, const std::string& path, const std::string& name,
             const std::exception& cause);
    bad_cast(const std::string& path, const std::string& enumeration, int value,
             const std::exception& cause);
    bad_cast(const bad_cast& other);
    bad_cast& operator=(const bad_cast&) = delete;
    ZARVO_ERROR_CONCRETE(bad_cast)

    // std::bad_cast takes no text; this one returns its own.
    const char* what() const noexcept override;

    int from_type() const;
    // Target type code; 0 for an enumeration number.
    int to_type() const;

private:
    int to_type_;
    std::string text_;
};

} // namespace zarvo::introspection
