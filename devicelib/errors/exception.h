#pragma once

// The root of the library's error hierarchy: the common base, the five
// categories that say on which side a failure lies, and the three
// intermediate classes that concrete errors share.
//
// Every library error carries one standard exception (its "standard part",
// which holds the text) and derives from zarvo::exception, so a client can
// catch all of them with one handler. Categories and intermediates derive
// virtually, so an error with two library bases still has exactly one
// zarvo::exception part.

#include "devicelib/export.h"

#include <stdexcept>
#include <string>

namespace zarvo {

class ZARVO_EXPORT exception {
public:
    exception() noexcept = default;
    // A cause is accepted for the caller's convenience and never kept.
    explicit exception(const std::exception&) noexcept {}
    exception(const exception&) noexcept = default;
    exception& operator=(const exception&) noexcept = default;

    virtual const std::exception& std_base() const = 0;
    virtual std::exception& std_base() = 0;

    bool is_logic_error() const;
    bool is_runtime_error() const;

protected:
    virtual ~exception();
};

// Categories: abstract, no data, no text of their own.
#define ZARVO_DECLARE_ERROR_CATEGORY(name)                                                         \
    class ZARVO_EXPORT name : public virtual exception {                                           \
    public:                                                                                        \
        name() noexcept = default;                                                                 \
        explicit name(const std::exception&) noexcept {}                                           \
        name(const name&) noexcept = default;                                                      \
        name& operator=(const name&) noexcept { return *this; }                                    \
                                                                                                   \
    protected:                                                                                     \
        ~name() override;                                                                          \
    }

// The device's answer was malformed, unexpected, unsupported or inconsistent.
ZARVO_DECLARE_ERROR_CATEGORY(protocol_error);
// The device failed to carry out the request.
ZARVO_DECLARE_ERROR_CATEGORY(device_error);
// The device refused the host's request.
ZARVO_DECLARE_ERROR_CATEGORY(host_error);
// The link failed or the operation did not complete on it.
ZARVO_DECLARE_ERROR_CATEGORY(connection_error);
// The host system refused a resource.
ZARVO_DECLARE_ERROR_CATEGORY(system_error);

#undef ZARVO_DECLARE_ERROR_CATEGORY

// Something is held by someone else (the device, another process).
class ZARVO_EXPORT sharing_error : public std::runtime_error, public virtual exception {
public:
    // A null text counts as the empty text.
    explicit sharing_error(const char* text);
    explicit sharing_error(const std::string& text);
    sharing_error(const sharing_error&) = default;
    sharing_error& operator=(const sharing_error&) = default;
    ~sharing_error() override;
};

// The thing a request names does not exist; object_id() says which.
class ZARVO_EXPORT not_existing : public std::runtime_error, public virtual exception {
public:
    explicit not_existing(const char* text);
    explicit not_existing(const std::string& text);
    not_existing(const char* text, const std::exception& cause);
    not_existing(const std::string& text, const std::exception& cause);
    not_existing(const not_existing&) = default;
    not_existing& operator=(const not_existing&) = default;

    virtual const std::string& object_id() const = 0;

protected:
    ~not_existing() override;
};

// The operation was stopped before it completed.
class ZARVO_EXPORT interrupted : public std::runtime_error, public virtual exception {
public:
    explicit interrupted(const char* text);
    explicit interrupted(const std::string& text);
    interrupted(const char* text, const std::exception& cause);
    interrupted(const std::string& text, const std::exception& cause);
    interrupted(const interrupted&) = default;
    interrupted& operator=(const interrupted&) = default;

protected:
    ~interrupted() override;
};

} // namespace zarvo
