#include "devicelib/errors/host_errors.h"

#include "devicelib/errors/error_definitions.h"

namespace zarvo {

namespace {
const char* const not_permitted = "Operation not permitted.";

std::string stored(const char* detail)
{
    return detail ? detail : "";
}

std::string user_path(unsigned int user_id)
{
    return "/U/" + std::to_string(user_id);
}
} // namespace

ZARVO_DEFINE_ERROR_CONCRETE(unidentified_host_error, std::logic_error)
ZARVO_DEFINE_ERROR_PLAIN(unidentified_host_error, std::logic_error, "Unidentified host error.",
                         "Unidentified host error.", ZARVO_NO_WARNING)

ZARVO_DEFINE_ERROR_CONCRETE(invalid_command, std::logic_error)
ZARVO_DEFINE_ERROR_PLAIN(invalid_command, std::logic_error, "Undefined invalid command.",
                         "Undefined invalid command.",
                         ZARVO_TRACE("zarvo::invalid_command::invalid_command",
                                     "WARNING: Command not specified!"))
ZARVO_DEFINE_ERROR_DETAIL(invalid_command, std::logic_error, "Invalid command '", "'.")

ZARVO_DEFINE_ERROR_CONCRETE(invalid_parameter, std::logic_error)
ZARVO_DEFINE_ERROR_PLAIN(invalid_parameter, std::logic_error, "Invalid parameter.",
                         "Invalid parameter",
                         ZARVO_TRACE("zarvo::invalid_parameter::invalid_parameter",
                                     "WARNING: Parameter not specified!"))
ZARVO_DEFINE_ERROR_DETAIL(invalid_parameter, std::logic_error, "Invalid parameter '", "'.")

ZARVO_DEFINE_ERROR_CONCRETE(operation_not_permitted, std::logic_error)
ZARVO_DEFINE_ERROR_PLAIN(operation_not_permitted, std::logic_error, not_permitted, not_permitted,
                         ZARVO_NO_WARNING)
ZARVO_DEFINE_ERROR_DETAIL(operation_not_permitted, std::logic_error, "Operation '",
                          "' not permitted.")

// no_such_file_or_directory: the const char* form says "do not exist.", the
// others "do not exists."; callers may match either text, so both stay.

ZARVO_DEFINE_ERROR_CONCRETE(no_such_file_or_directory, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(no_such_file_or_directory, not_existing, "No such file or directory.",
                         "No such file or directory.",
                         ZARVO_TRACE("zarvo::no_such_file_or_directory::no_such_file_or_directory",
                                     "WARNING: Path not specified!"))

no_such_file_or_directory::no_such_file_or_directory(const char* path)
    : not_existing(detail::compose("Path '", path, "' do not exist."))
    , path_(stored(path))
{
}

no_such_file_or_directory::no_such_file_or_directory(const std::string& path)
    : not_existing(detail::compose("Path '", path, "' do not exists."))
    , path_(path)
{
}

no_such_file_or_directory::no_such_file_or_directory(const char* path, const std::exception&)
    : not_existing(detail::compose("Path '", path, "' do not exists."))
    , path_(stored(path))
{
}

no_such_file_or_directory::no_such_file_or_directory(const std::string& path, const std::exception&)
    : no_such_file_or_directory(path)
{
}

const std::string& no_such_file_or_directory::object_id() const
{
    return path_;
}

// file_exists and directory_exists show the generic text and only store the
// path they are given.
#define ZARVO_DEFINE_PATH_KEEPING_ERROR(cls)                                                       \
    ZARVO_DEFINE_ERROR_CONCRETE(cls, std::logic_error)                                             \
    cls::cls()                                                                                     \
    {                                                                                              \
        ZARVO_TRACE("zarvo::" #cls "::" #cls, "Path not specified.");                              \
    }                                                                                              \
    cls::cls(const std::exception& cause)                                                          \
        : operation_not_permitted(cause)                                                           \
    {                                                                                              \
        ZARVO_TRACE("zarvo::" #cls "::" #cls, "Path not specified.");                              \
    }                                                                                              \
    cls::cls(const char* path)                                                                     \
        : path_(stored(path))                                                                      \
    {                                                                                              \
    }                                                                                              \
    cls::cls(const std::string& path)                                                              \
        : path_(path)                                                                              \
    {                                                                                              \
    }                                                                                              \
    cls::cls(const char* path, const std::exception& cause)                                        \
        : operation_not_permitted(cause)                                                           \
        , path_(stored(path))                                                                      \
    {                                                                                              \
    }                                                                                              \
    cls::cls(const std::string& path, const std::exception& cause)                                 \
        : operation_not_permitted(cause)                                                           \
        , path_(path)                                                                              \
    {                                                                                              \
    }

ZARVO_DEFINE_PATH_KEEPING_ERROR(directory_exists)
ZARVO_DEFINE_PATH_KEEPING_ERROR(file_exists)

#undef ZARVO_DEFINE_PATH_KEEPING_ERROR

ZARVO_DEFINE_ERROR_CONCRETE(no_such_user, std::runtime_error)

no_such_user::no_such_user()
{
    ZARVO_TRACE("zarvo::no_such_user::no_such_user", "WARNING: User identifier not specified!");
}

no_such_user::no_such_user(const std::exception& cause)
    : no_such_file_or_directory(cause)
{
    ZARVO_TRACE("zarvo::no_such_user::no_such_user", "WARNING: User identifier not specified!");
}

no_such_user::no_such_user(unsigned int user_id)
    : no_such_file_or_directory(user_path(user_id))
    , user_id_(user_id)
{
}

no_such_user::no_such_user(unsigned int user_id, const std::exception& cause)
    : no_such_file_or_directory(user_path(user_id), cause)
    , user_id_(user_id)
{
}

} // namespace zarvo
