#pragma once

#include "devicelib/errors/error_shapes.h"
#include "devicelib/export.h"
#include "devicelib/introspection/exception.h"

#include <map>
#include <stdexcept>
#include <string>

namespace zarvo::introspection {

// A field's type or the data type named for it is missing, unknown or does
// not fit. Never thrown by itself; the caller's text is used unchanged.
class ZARVO_EXPORT bad_type : public std::logic_error, public exception {
public:
    bad_type(int data_type, const std::string& path, const char* text);
    bad_type(int data_type, const std::string& path, const std::string& name, const char* text);
    bad_type(int data_type, const std::string& path, const std::string& text);
    bad_type(int data_type, const std::string& path, const std::string& name,
             const std::string& text);
    bad_type(int data_type, const std::string& path, const char* text, const std::exception& cause);
    bad_type(int data_type, const std::string& path, const std::string& name, const char* text,
             const std::exception& cause);
    bad_type(int data_type, const std::string& path, const std::string& text,
             const std::exception& cause);
    bad_type(int data_type, const std::string& path, const std::string& name,
             const std::string& text, const std::exception& cause);
    bad_type(const bad_type& other);
    bad_type& operator=(const bad_type&) = delete;

    std::exception& std_base() override;
    const std::exception& std_base() const override;

protected:
    ~bad_type() override;
};

// The field carries no type option.
class ZARVO_EXPORT missing_type : public bad_type {
public:
    missing_type(int data_type, const std::string& path);
    missing_type(int data_type, const std::string& path, const std::exception& cause);
    missing_type(const missing_type& other);
    missing_type& operator=(const missing_type&) = delete;
    ZARVO_ERROR_CONCRETE(missing_type)
};

// The data type named for the field is not in the value-type table.
class ZARVO_EXPORT unknown_type : public bad_type {
public:
    unknown_type(int data_type, const std::string& path, const std::string& name);
    unknown_type(int data_type, const std::string& path, const std::string& name,
                 const std::exception& cause);
    unknown_type(const unknown_type& other);
    unknown_type& operator=(const unknown_type&) = delete;
    ZARVO_ERROR_CONCRETE(unknown_type)
};

// The field's type is not the one asked for, or cannot carry the data type.
// The form from two type codes reads differently when built with a cause.
class ZARVO_EXPORT type_mismatch : public bad_type {
public:
    type_mismatch(int data_type, int expected_type, const std::string& path);
    type_mismatch(int data_type, const std::string& path, const std::string& name);
    type_mismatch(int data_type, int expected_type, const std::string& path,
                  const std::string& name);
    type_mismatch(int data_type, int expected_type, const std::string& path,
                  const std::exception& cause);
    type_mismatch(int data_type, const std::string& path, const std::string& name,
                  const std::exception& cause);
    type_mismatch(int data_type, int expected_type, const std::string& path,
                  const std::string& name, const std::exception& cause);
    type_mismatch(const type_mismatch& other);
    type_mismatch& operator=(const type_mismatch&) = delete;
    ZARVO_ERROR_CONCRETE(type_mismatch)

    // The type code that was expected; 0 for the forms without one.
    int expected_type() const;

private:
    int expected_type_;
};

// The value-type table gives a data type properties it does not support.
class ZARVO_EXPORT unsupported_properties : public bad_type {
public:
    using property_map = std::map<std::string, std::string>;

    unsupported_properties(int data_type, const std::string& path, const std::string& name,
                           const property_map& properties);
    unsupported_properties(int data_type, const std::string& path, const std::string& name,
                           const property_map& properties, const std::exception& cause);
    unsupported_properties(const unsupported_properties& other);
    unsupported_properties& operator=(const unsupported_properties&) = delete;
    ZARVO_ERROR_CONCRETE(unsupported_properties)

    // Property name to its value text, ordered by name.
    const property_map& properties() const;

private:
    property_map properties_;
};

} // namespace zarvo::introspection
