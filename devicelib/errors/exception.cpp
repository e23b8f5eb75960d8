#include "devicelib/errors/exception.h"

#include "devicelib/errors/error_definitions.h"

#include <typeinfo>

namespace zarvo {

namespace {
const char* text_or_empty(const char* text)
{
    return text ? text : "";
}
} // namespace

exception::~exception() = default;

bool exception::is_logic_error() const
{
    return dynamic_cast<const std::logic_error*>(&std_base()) != nullptr;
}

bool exception::is_runtime_error() const
{
    return dynamic_cast<const std::runtime_error*>(&std_base()) != nullptr;
}

protocol_error::~protocol_error() = default;
device_error::~device_error() = default;
host_error::~host_error() = default;
connection_error::~connection_error() = default;
system_error::~system_error() = default;

sharing_error::sharing_error(const char* text)
    : std::runtime_error(text_or_empty(text))
{
}

sharing_error::sharing_error(const std::string& text)
    : std::runtime_error(text)
{
}

sharing_error::~sharing_error() = default;

// The intermediates take a text, used unchanged, and optionally a cause,
// which is not kept.
#define ZARVO_DEFINE_TEXT_CONSTRUCTORS(cls)                                                        \
    cls::cls(const char* text)                                                                     \
        : std::runtime_error(text_or_empty(text))                                                  \
    {                                                                                              \
    }                                                                                              \
    cls::cls(const std::string& text)                                                              \
        : std::runtime_error(text)                                                                 \
    {                                                                                              \
    }                                                                                              \
    cls::cls(const char* text, const std::exception&)                                              \
        : cls(text)                                                                                \
    {                                                                                              \
    }                                                                                              \
    cls::cls(const std::string& text, const std::exception&)                                       \
        : cls(text)                                                                                \
    {                                                                                              \
    }                                                                                              \
    cls::~cls() = default;

ZARVO_DEFINE_TEXT_CONSTRUCTORS(not_existing)
ZARVO_DEFINE_TEXT_CONSTRUCTORS(interrupted)

#undef ZARVO_DEFINE_TEXT_CONSTRUCTORS

namespace detail {

std::string compose(const char* prefix, const char* detail, const char* suffix)
{
    std::string text = prefix;
    text += text_or_empty(detail);
    text += suffix;
    return text;
}

std::string compose(const char* prefix, const std::string& detail, const char* suffix)
{
    std::string text = prefix;
    text += detail;
    text += suffix;
    return text;
}

} // namespace detail

} // namespace zarvo
