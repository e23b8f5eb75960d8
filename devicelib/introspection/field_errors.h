#pragma once

#include "devicelib/errors/error_shapes.h"
#include "devicelib/errors/exception.h"
#include "devicelib/export.h"
#include "devicelib/introspection/exception.h"

#include <string>

namespace zarvo::introspection {

// A field that must hold a value is not set. object_id() is the field path.
class ZARVO_EXPORT missing_value : public zarvo::not_existing, public exception {
public:
    missing_value(int data_type, const std::string& path);
    missing_value(int data_type, const std::string& path, const std::string& name);
    missing_value(int data_type, const std::string& path, const std::exception& cause);
    missing_value(int data_type, const std::string& path, const std::string& name,
                  const std::exception& cause);
    missing_value(const missing_value& other);
    missing_value& operator=(const missing_value&) = delete;
    ZARVO_ERROR_CONCRETE(missing_value)

    const std::string& object_id() const override;
};

// An index beyond the end of a repeated field.
class ZARVO_EXPORT missing_elements : public missing_value {
public:
    missing_elements(int data_type, const std::string& path, unsigned int index,
                     unsigned int array_size);
    missing_elements(int data_type, const std::string& path, unsigned int index,
                     unsigned int array_size, const std::exception& cause);
    missing_elements(const missing_elements& other);
    missing_elements& operator=(const missing_elements&) = delete;
    ZARVO_ERROR_CONCRETE(missing_elements)

    unsigned int index() const;
    unsigned int array_size() const;
    // Elements missing up to and including the index: index - array_size + 1.
    unsigned int count() const;

private:
    unsigned int index_;
    unsigned int array_size_;
};

// The message has no field of the name given. object_id() is the path.
class ZARVO_EXPORT field_not_found : public zarvo::not_existing, public exception {
public:
    explicit field_not_found(const std::string& path);
    field_not_found(int data_type, const std::string& path, const char* text);
    field_not_found(int data_type, const std::string& path, const std::string& text);
    field_not_found(const std::string& path, const std::exception& cause);
    field_not_found(int data_type, const std::string& path, const char* text,
                    const std::exception& cause);
    field_not_found(int data_type, const std::string& path, const std::string& text,
                    const std::exception& cause);
    field_not_found(const field_not_found& other);
    field_not_found& operator=(const field_not_found&) = delete;
    ZARVO_ERROR_CONCRETE(field_not_found)

    const std::string& object_id() const override;
};

// A repeated field named without an index.
class ZARVO_EXPORT missing_index : public field_not_found {
public:
    missing_index(int data_type, const std::string& path);
    missing_index(int data_type, const std::string& path, const std::exception& cause);
    missing_index(const missing_index& other);
    missing_index& operator=(const missing_index&) = delete;
    ZARVO_ERROR_CONCRETE(missing_index)
};

// An index given to a field that is not repeated.
class ZARVO_EXPORT no_such_array : public field_not_found {
public:
    no_such_array(int data_type, const std::string& path, unsigned int index);
    no_such_array(int data_type, const std::string& path, unsigned int index,
                  const std::exception& cause);
    no_such_array(const no_such_array& other);
    no_such_array& operator=(const no_such_array&) = delete;
    ZARVO_ERROR_CONCRETE(no_such_array)

    unsigned int index() const;

private:
    unsigned int index_;
};

} // namespace zarvo::introspection
