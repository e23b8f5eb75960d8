#pragma once

#include "devicelib/errors/error_shapes.h"
#include "devicelib/export.h"
#include "devicelib/introspection/exception.h"

#include <stdexcept>
#include <string>

namespace zarvo::introspection {

// A property of a data type ("min", "max", "regex", "precision", "unit") has
// a value that cannot be used. Never thrown by itself.
class ZARVO_EXPORT bad_property : public std::logic_error, public exception {
public:
    bad_property(int data_type, const std::string& path, const std::string& name,
                 const std::string& key, const std::string& data);
    bad_property(int data_type, const std::string& path, const std::string& name,
                 const std::string& key, const std::string& data, const std::exception& cause);
    bad_property(const bad_property& other);
    bad_property& operator=(const bad_property&) = delete;

    std::exception& std_base() override;
    const std::exception& std_base() const override;

    // The property's name.
    const std::string& key() const;
    // The property's value as the table gives it.
    const std::string& data() const;

protected:
    ~bad_property() override;

private:
    std::string key_;
    std::string data_;
};

// A property that the data type needs is absent. Never thrown by itself.
class ZARVO_EXPORT missing_property : public std::logic_error, public exception {
public:
    missing_property(int data_type, const std::string& path, const std::string& name,
                     const std::string& key);
    missing_property(int data_type, const std::string& path, const std::string& name,
                     const std::string& key, const std::exception& cause);
    missing_property(const missing_property& other);
    missing_property& operator=(const missing_property&) = delete;

    std::exception& std_base() override;
    const std::exception& std_base() const override;

    // The missing property's name.
    const std::string& key() const;

protected:
    ~missing_property() override;

private:
    std::string key_;
};

// The classes below differ from their base only in the property they name.
#define ZARVO_INTROSPECTION_BAD_PROPERTY(class_name)                                               \
    class ZARVO_EXPORT class_name : public bad_property {                                          \
    public:                                                                                        \
        class_name(int data_type, const std::string& path, const std::string& name,                \
                   const std::string& data);                                                       \
        class_name(int data_type, const std::string& path, const std::string& name,                \
                   const std::string& data, const std::exception& cause);                          \
        class_name(const class_name& other);                                                       \
        class_name& operator=(const class_name&) = delete;                                         \
        ZARVO_ERROR_CONCRETE(class_name)                                                           \
    }

#define ZARVO_INTROSPECTION_MISSING_PROPERTY(class_name)                                           \
    class ZARVO_EXPORT class_name : public missing_property {                                      \
    public:                                                                                        \
        class_name(int data_type, const std::string& path, const std::string& name);               \
        class_name(int data_type, const std::string& path, const std::string& name,                \
                   const std::exception& cause);                                                   \
        class_name(const class_name& other);                                                       \
        class_name& operator=(const class_name&) = delete;                                         \
        ZARVO_ERROR_CONCRETE(class_name)                                                           \
    }

ZARVO_INTROSPECTION_BAD_PROPERTY(bad_minimum);
ZARVO_INTROSPECTION_BAD_PROPERTY(bad_maximum);
ZARVO_INTROSPECTION_BAD_PROPERTY(bad_regex);
ZARVO_INTROSPECTION_BAD_PROPERTY(bad_precision);
ZARVO_INTROSPECTION_BAD_PROPERTY(bad_unit);

ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_minimum);
ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_maximum);
ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_regex);
ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_precision);
ZARVO_INTROSPECTION_MISSING_PROPERTY(missing_unit);

#undef ZARVO_INTROSPECTION_BAD_PROPERTY
#undef ZARVO_INTROSPECTION_MISSING_PROPERTY

} // namespace zarvo::introspection
