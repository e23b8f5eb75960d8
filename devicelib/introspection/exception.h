#pragma once

#include "devicelib/errors/exception.h"
#include "devicelib/export.h"

#include <exception>
#include <string>

namespace zarvo::introspection {

// Category of every error about a message's fields, their types, values and
// the data types that govern them. It carries what identifies the field; the
// concrete class brings the standard part and the text. A cause given to any
// constructor is accepted and not kept.
class ZARVO_EXPORT exception : public virtual zarvo::exception {
public:
    explicit exception(const std::string& path);
    exception(int data_type, const std::string& path);
    exception(int data_type, const std::string& path, const std::string& value_type);
    exception(const std::string& path, const std::exception& cause);
    exception(int data_type, const std::string& path, const std::exception& cause);
    exception(int data_type, const std::string& path, const std::string& value_type,
              const std::exception& cause);
    exception(const exception& other);
    exception& operator=(const exception&) = delete;

    // Field type code (a FieldDescriptor::CppType value), 0 when unknown.
    int data_type() const;
    // Dotted field path or entry text; may be empty.
    const std::string& path() const;
    // Name of the data type the field was validated against; may be empty.
    const std::string& value_type() const;

protected:
    ~exception() override;

private:
    int data_type_;
    std::string path_;
    std::string value_type_;
};

} // namespace zarvo::introspection
