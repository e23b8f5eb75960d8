#pragma once

// Definition helpers for the concrete error classes (library-internal).
// The text of an error is settled before the error exists: a fixed text, or
// prefix + detail + suffix with the detail inserted unchanged (no quoting,
// escaping or trimming). Replacement texts use an empty prefix and suffix.

#include "devicelib/trace/trace.h"

#include <string>

namespace zarvo::detail {

std::string compose(const char* prefix, const char* detail, const char* suffix);
std::string compose(const char* prefix, const std::string& detail, const char* suffix);

} // namespace zarvo::detail

#define ZARVO_DEFINE_ERROR_CONCRETE(cls, std_part)                                                 \
    cls::~cls() = default;                                                                         \
    const std::exception& cls::std_base() const                                                    \
    {                                                                                              \
        return static_cast<const std_part&>(*this);                                                \
    }                                                                                              \
    std::exception& cls::std_base()                                                                \
    {                                                                                              \
        return static_cast<std_part&>(*this);                                                      \
    }

// Shapes 1 and 2; `warn` runs after the parts are built (a trace, or nothing).
#define ZARVO_DEFINE_ERROR_PLAIN(cls, base, plain, with_cause, warn)                               \
    cls::cls()                                                                                     \
        : base(plain)                                                                              \
    {                                                                                              \
        warn;                                                                                      \
    }                                                                                              \
    cls::cls(const std::exception&)                                                                \
        : base(with_cause)                                                                         \
    {                                                                                              \
        warn;                                                                                      \
    }

// Shapes 3 and 5.
#define ZARVO_DEFINE_ERROR_CSTR(cls, base, prefix, suffix)                                         \
    cls::cls(const char* d)                                                                        \
        : base(::zarvo::detail::compose(prefix, d, suffix))                                        \
    {                                                                                              \
    }                                                                                              \
    cls::cls(const char* d, const std::exception&)                                                 \
        : base(::zarvo::detail::compose(prefix, d, suffix))                                        \
    {                                                                                              \
    }

// Shapes 4 and 6.
#define ZARVO_DEFINE_ERROR_STRING(cls, base, prefix, suffix)                                       \
    cls::cls(const std::string& d)                                                                 \
        : base(::zarvo::detail::compose(prefix, d, suffix))                                        \
    {                                                                                              \
    }                                                                                              \
    cls::cls(const std::string& d, const std::exception&)                                          \
        : base(::zarvo::detail::compose(prefix, d, suffix))                                        \
    {                                                                                              \
    }

// Shapes 3 to 6.
#define ZARVO_DEFINE_ERROR_DETAIL(cls, base, prefix, suffix)                                       \
    ZARVO_DEFINE_ERROR_CSTR(cls, base, prefix, suffix)                                             \
    ZARVO_DEFINE_ERROR_STRING(cls, base, prefix, suffix)

// No warning for shapes 1 and 2.
#define ZARVO_NO_WARNING static_cast<void>(0)
