#include "devicelib/introspection/value_errors.h"

#include "devicelib/introspection/cast_error.h"
#include "devicelib/introspection/number_text.h"
#include "devicelib/introspection/type2string.h"

#include <type_traits>

namespace zarvo::introspection {

namespace {

// Type code of each value kind (FieldDescriptor::CppType numbers).
template <typename T>
constexpr int kind_code()
{
    if constexpr (std::is_same_v<T, int>)
        return 1;
    else if constexpr (std::is_same_v<T, long long>)
        return 2;
    else if constexpr (std::is_same_v<T, unsigned int>)
        return 3;
    else if constexpr (std::is_same_v<T, unsigned long long>)
        return 4;
    else if constexpr (std::is_same_v<T, double>)
        return 5;
    else
        return 6;
}
constexpr int string_kind = 9;

template <typename T>
T& slot(detail::number& number)
{
    if constexpr (std::is_same_v<T, int>)
        return number.i;
    else if constexpr (std::is_same_v<T, long long>)
        return number.ll;
    else if constexpr (std::is_same_v<T, unsigned int>)
        return number.u;
    else if constexpr (std::is_same_v<T, unsigned long long>)
        return number.ull;
    else if constexpr (std::is_same_v<T, double>)
        return number.d;
    else
        return number.f;
}

template <typename T>
T get(const detail::number& number)
{
    detail::number copy = number;
    return slot<T>(copy);
}

template <typename T>
detail::held_value hold(T value)
{
    detail::number number{};
    slot<T>(number) = value;
    return {kind_code<T>(), number, detail::to_text(value)};
}

detail::held_value hold(const std::string& value)
{
    detail::number number{};
    number.ull = 0;
    return {string_kind, number, value};
}

// Character counts, the limits of a string value.
detail::held_value hold_count(unsigned int count)
{
    return hold(count);
}

// "int32 value 25", "string value abcdef": how a value opens its texts.
std::string kind_head(const detail::held_value& value)
{
    return std::string(type2string(value.kind)) + " value " + value.text;
}

std::string range_text(const std::string& head, const std::string& path, const std::string& name,
                       const detail::held_value& minimum, const detail::held_value& maximum)
{
    return head + " at '" + path + "' exceeds range from " + minimum.text + " to " + maximum.text +
           " allowed by type " + name + ".";
}

// The string form quotes the value; the path is left unquoted at its end.
std::string regex_head(const detail::held_value& value)
{
    return value.kind == string_kind ? "string value '" + value.text + "'" : kind_head(value);
}

} // namespace

// invalid_value

invalid_value::invalid_value(const detail::held_value& value, const std::string& path,
                             const std::string& name, const std::string& text)
    : std::runtime_error(text)
    , introspection::exception(value.kind, path, name)
    , number_(value.value)
    , text_(value.text)
{
}

#define ZARVO_INVALID_VALUE(T)                                                                     \
    invalid_value::invalid_value(T value, const std::string& path, const std::string& name,        \
                                 const std::string& text)                                          \
        : invalid_value(hold(value), path, name, text)                                             \
    {                                                                                              \
    }                                                                                              \
    invalid_value::invalid_value(T value, const std::string& path, const std::string& name,        \
                                 const std::string& text, const std::exception&)                   \
        : invalid_value(hold(value), path, name, text)                                             \
    {                                                                                              \
    }
ZARVO_INVALID_VALUE(int)
ZARVO_INVALID_VALUE(long long)
ZARVO_INVALID_VALUE(unsigned int)
ZARVO_INVALID_VALUE(unsigned long long)
ZARVO_INVALID_VALUE(float)
ZARVO_INVALID_VALUE(double)
ZARVO_INVALID_VALUE(const std::string&)
#undef ZARVO_INVALID_VALUE

invalid_value::invalid_value(const invalid_value&) = default;
invalid_value::~invalid_value() = default;

std::exception& invalid_value::std_base()
{
    return *this;
}
const std::exception& invalid_value::std_base() const
{
    return *this;
}

template <typename T>
T invalid_value::value() const
{
    if (data_type() == kind_code<T>())
        return get<T>(number_);
    T converted{};
    if (!detail::from_text(text_, converted))
        throw bad_cast(kind_code<T>(), data_type(), path());
    return converted;
}

template <>
const std::string& invalid_value::value<const std::string&>() const
{
    return text_;
}

template int invalid_value::value<int>() const;
template long long invalid_value::value<long long>() const;
template unsigned int invalid_value::value<unsigned int>() const;
template unsigned long long invalid_value::value<unsigned long long>() const;
template float invalid_value::value<float>() const;
template double invalid_value::value<double>() const;

const std::string& invalid_value::string_value() const
{
    return text_;
}

// limit_exceeded

limit_exceeded::limit_exceeded(const detail::held_value& value, const std::string& path,
                               const std::string& name, const detail::held_value& minimum,
                               const detail::held_value& maximum, const std::string& head)
    : invalid_value(value, path, name, range_text(head, path, name, minimum, maximum))
    , minimum_(minimum.value)
    , maximum_(maximum.value)
{
}

#define ZARVO_LIMIT_EXCEEDED(T)                                                                    \
    limit_exceeded::limit_exceeded(T value, const std::string& path, const std::string& name,      \
                                   T minimum, T maximum)                                           \
        : limit_exceeded(hold(value), path, name, hold(minimum), hold(maximum),                    \
                         kind_head(hold(value)))                                                   \
    {                                                                                              \
    }                                                                                              \
    limit_exceeded::limit_exceeded(T value, const std::string& path, const std::string& name,      \
                                   T minimum, T maximum, const std::exception&)                    \
        : limit_exceeded(value, path, name, minimum, maximum)                                      \
    {                                                                                              \
    }
ZARVO_LIMIT_EXCEEDED(int)
ZARVO_LIMIT_EXCEEDED(long long)
ZARVO_LIMIT_EXCEEDED(unsigned int)
ZARVO_LIMIT_EXCEEDED(unsigned long long)
ZARVO_LIMIT_EXCEEDED(float)
ZARVO_LIMIT_EXCEEDED(double)
#undef ZARVO_LIMIT_EXCEEDED

limit_exceeded::limit_exceeded(const std::string& value, const std::string& path,
                               const std::string& name, unsigned int minimum, unsigned int maximum)
    : limit_exceeded(hold(value), path, name, hold_count(minimum), hold_count(maximum),
                     kind_head(hold(value)))
{
}

// Built with a cause, the string form reports the byte count instead.
limit_exceeded::limit_exceeded(const std::string& value, const std::string& path,
                               const std::string& name, unsigned int minimum, unsigned int maximum,
                               const std::exception&)
    : limit_exceeded(hold(value), path, name, hold_count(minimum), hold_count(maximum),
                     "Character count " +
                         detail::to_text(static_cast<unsigned long long>(value.size())))
{
}

limit_exceeded::limit_exceeded(const limit_exceeded&) = default;
limit_exceeded::~limit_exceeded() = default;

template <typename T>
T limit_exceeded::limit(const detail::number& limit) const
{
    const bool count = std::is_same_v<T, unsigned int> && data_type() == string_kind;
    if (data_type() != kind_code<T>() && !count)
        throw bad_cast(kind_code<T>(), data_type(), path(), value_type());
    return get<T>(limit);
}

template <typename T>
T limit_exceeded::minimum() const
{
    return limit<T>(minimum_);
}

template <typename T>
T limit_exceeded::maximum() const
{
    return limit<T>(maximum_);
}

#define ZARVO_LIMIT(T)                                                                             \
    template T limit_exceeded::minimum<T>() const;                                                 \
    template T limit_exceeded::maximum<T>() const;
ZARVO_LIMIT(int)
ZARVO_LIMIT(long long)
ZARVO_LIMIT(unsigned int)
ZARVO_LIMIT(unsigned long long)
ZARVO_LIMIT(float)
ZARVO_LIMIT(double)
#undef ZARVO_LIMIT

// regex_mismatch

regex_mismatch::regex_mismatch(const detail::held_value& value, const std::string& path,
                               const std::string& name, const std::string& expression,
                               const std::string& head)
    : invalid_value(value, path, name,
                    head + " at '" + path + " do not comply to regular expression '" + expression +
                        "' required by type " + name + ".")
    , expression_(expression)
{
}

#define ZARVO_REGEX_MISMATCH(T)                                                                    \
    regex_mismatch::regex_mismatch(T value, const std::string& path, const std::string& name,      \
                                   const std::string& expression)                                  \
        : regex_mismatch(hold(value), path, name, expression, regex_head(hold(value)))             \
    {                                                                                              \
    }                                                                                              \
    regex_mismatch::regex_mismatch(T value, const std::string& path, const std::string& name,      \
                                   const std::string& expression, const std::exception&)           \
        : regex_mismatch(value, path, name, expression)                                            \
    {                                                                                              \
    }
ZARVO_REGEX_MISMATCH(int)
ZARVO_REGEX_MISMATCH(long long)
ZARVO_REGEX_MISMATCH(unsigned int)
ZARVO_REGEX_MISMATCH(unsigned long long)
ZARVO_REGEX_MISMATCH(float)
ZARVO_REGEX_MISMATCH(double)
ZARVO_REGEX_MISMATCH(const std::string&)
#undef ZARVO_REGEX_MISMATCH

regex_mismatch::regex_mismatch(const regex_mismatch&) = default;
regex_mismatch::~regex_mismatch() = default;

const std::string& regex_mismatch::expression() const
{
    return expression_;
}

} // namespace zarvo::introspection
