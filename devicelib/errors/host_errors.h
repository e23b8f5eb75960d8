#pragma once

// Errors for requests the device refused (answers 100 to 107).

#include "devicelib/errors/error_shapes.h"
#include "devicelib/errors/exception.h"

#include <stdexcept>
#include <string>

namespace zarvo {

class ZARVO_EXPORT unidentified_host_error : public std::logic_error, public host_error {
public:
    ZARVO_ERROR_SHAPES_PLAIN(unidentified_host_error)
    ZARVO_ERROR_CONCRETE(unidentified_host_error)
};

// The detail names the command.
class ZARVO_EXPORT invalid_command : public std::logic_error, public host_error {
public:
    ZARVO_ERROR_SHAPES_ALL(invalid_command)
    ZARVO_ERROR_CONCRETE(invalid_command)
};

// The detail names the parameter.
class ZARVO_EXPORT invalid_parameter : public std::logic_error, public host_error {
public:
    ZARVO_ERROR_SHAPES_ALL(invalid_parameter)
    ZARVO_ERROR_CONCRETE(invalid_parameter)
};

// The detail is the device path; it is kept and returned by path().
class ZARVO_EXPORT no_such_file_or_directory : public not_existing, public host_error {
public:
    ZARVO_ERROR_SHAPES_ALL(no_such_file_or_directory)
    ZARVO_ERROR_CONCRETE(no_such_file_or_directory)
    no_such_file_or_directory(const no_such_file_or_directory&) = default;
    no_such_file_or_directory& operator=(const no_such_file_or_directory&) = delete;

    const std::string& path() const { return path_; }
    const std::string& object_id() const override;

private:
    std::string path_;
};

// The detail names the operation.
class ZARVO_EXPORT operation_not_permitted : public std::logic_error, public host_error {
public:
    ZARVO_ERROR_SHAPES_ALL(operation_not_permitted)
    ZARVO_ERROR_CONCRETE(operation_not_permitted)
};

// The detail is the device path: it is stored, not shown in the text.
class ZARVO_EXPORT directory_exists : public operation_not_permitted {
public:
    ZARVO_ERROR_SHAPES_ALL(directory_exists)
    ZARVO_ERROR_CONCRETE(directory_exists)
    directory_exists(const directory_exists&) = default;
    directory_exists& operator=(const directory_exists&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The detail is the device path: it is stored, not shown in the text.
class ZARVO_EXPORT file_exists : public operation_not_permitted {
public:
    ZARVO_ERROR_SHAPES_ALL(file_exists)
    ZARVO_ERROR_CONCRETE(file_exists)
    file_exists(const file_exists&) = default;
    file_exists& operator=(const file_exists&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A user's directory "/U/<n>" does not exist.
class ZARVO_EXPORT no_such_user : public no_such_file_or_directory {
public:
    ZARVO_ERROR_SHAPES_PLAIN(no_such_user)
    explicit no_such_user(unsigned int user_id);
    no_such_user(unsigned int user_id, const std::exception& cause);
    ZARVO_ERROR_CONCRETE(no_such_user)
    no_such_user(const no_such_user&) = default;
    no_such_user& operator=(const no_such_user&) = delete;

    unsigned int user_id() const { return user_id_; }

private:
    unsigned int user_id_ = 0;
};

} // namespace zarvo
