#include "devicelib/introspection/value_errors.h"

#include "devicelib/errors/error_definitions.h"

#include "devicelib/introspection/cast_error.h"
#include "devicelib/introspection/number_text.h"
#include "devicelib/introspection/type2string.h"

#include <type_traits>

namespace zarvo::introspection {

namespace {

constexpr int string_kind = 9;

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
T get(detail::number number)
{
    return slot<T>(number);
}

// The kind code, stored number and text of a value; a string keeps 0.
template <typename T>
int kind_of(T)
{
    return kind_code<T>();
}
int kind_of(const std::string&)
{
    return string_kind;
}

template <typename T>
detail::number number_of(T value)
{
    detail::number number{};
    slot<T>(number) = value;
    return number;
}
detail::number number_of(const std::string&)
{
    return number_of(0ULL);
}

template <typename T>
std::string text_of(T value)
{
    return detail::to_text(value);
}
const std::string& text_of(const std::string& value)
{
    return value;
}

// "int32 value 25", "string value abcdef": how a value opens its texts.
template <typename T>
std::string kind_head(const T& value)
{
    return std::string(type2string(kind_of(value))) + " value " + text_of(value);
}

// A string is quoted here; the path is left unquoted at its end.
template <typename T>
std::string regex_head(const T& value)
{
    return kind_head(value);
}
std::string regex_head(const std::string& value)
{
    return "string value '" + value + "'";
}

template <typename Limit>
std::string range_text(const std::string& head, const std::string& path, const std::string& name,
                       Limit minimum, Limit maximum)
{
    return head + " at '" + path + "' exceeds range from " + text_of(minimum) + " to " +
           text_of(maximum) + " allowed by type " + name + ".";
}

template <typename T>
std::string regex_text(const T& value, const std::string& path, const std::string& name,
                       const std::string& expression)
{
    return regex_head(value) + " at '" + path + " do not comply to regular expression '" +
           expression + "' required by type " + name + ".";
}

} // namespace

// invalid_value

#define ZARVO_INVALID_VALUE(T)                                                                     \
    invalid_value::invalid_value(T value, const std::string& path, const std::string& name,        \
                                 const std::string& text)                                          \
        : std::runtime_error(text)                                                                 \
        , introspection::exception(kind_of(value), path, name)                                     \
        , number_(number_of(value))                                                                \
        , text_(text_of(value))                                                                    \
    {                                                                                              \
    }                                                                                              \
    invalid_value::invalid_value(T value, const std::string& path, const std::string& name,        \
                                 const std::string& text, const std::exception&)                   \
        : invalid_value(value, path, name, text)                                                   \
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
ZARVO_DEFINE_ERROR_CONCRETE(invalid_value, std::runtime_error)

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

#define ZARVO_LIMIT_EXCEEDED(T, Limit)                                                             \
    limit_exceeded::limit_exceeded(T value, const std::string& path, const std::string& name,      \
                                   Limit minimum, Limit maximum)                                   \
        : invalid_value(value, path, name,                                                         \
                        range_text(kind_head(value), path, name, minimum, maximum))                \
        , minimum_(number_of(minimum))                                                             \
        , maximum_(number_of(maximum))                                                             \
    {                                                                                              \
    }
ZARVO_LIMIT_EXCEEDED(int, int)
ZARVO_LIMIT_EXCEEDED(long long, long long)
ZARVO_LIMIT_EXCEEDED(unsigned int, unsigned int)
ZARVO_LIMIT_EXCEEDED(unsigned long long, unsigned long long)
ZARVO_LIMIT_EXCEEDED(float, float)
ZARVO_LIMIT_EXCEEDED(double, double)
ZARVO_LIMIT_EXCEEDED(const std::string&, unsigned int)
#undef ZARVO_LIMIT_EXCEEDED

#define ZARVO_LIMIT_EXCEEDED_TWIN(T)                                                               \
    limit_exceeded::limit_exceeded(T value, const std::string& path, const std::string& name,      \
                                   T minimum, T maximum, const std::exception&)                    \
        : limit_exceeded(value, path, name, minimum, maximum)                                      \
    {                                                                                              \
    }
ZARVO_LIMIT_EXCEEDED_TWIN(int)
ZARVO_LIMIT_EXCEEDED_TWIN(long long)
ZARVO_LIMIT_EXCEEDED_TWIN(unsigned int)
ZARVO_LIMIT_EXCEEDED_TWIN(unsigned long long)
ZARVO_LIMIT_EXCEEDED_TWIN(float)
ZARVO_LIMIT_EXCEEDED_TWIN(double)
#undef ZARVO_LIMIT_EXCEEDED_TWIN

// Built with a cause, the string form reports the byte count instead.
limit_exceeded::limit_exceeded(const std::string& value, const std::string& path,
                               const std::string& name, unsigned int minimum, unsigned int maximum,
                               const std::exception&)
    : invalid_value(value, path, name,
                    range_text("Character count " +
                                   detail::to_text(static_cast<unsigned long long>(value.size())),
                               path, name, minimum, maximum))
    , minimum_(number_of(minimum))
    , maximum_(number_of(maximum))
{
}

limit_exceeded::limit_exceeded(const limit_exceeded&) = default;
ZARVO_DEFINE_ERROR_CONCRETE(limit_exceeded, std::runtime_error)

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

#define ZARVO_REGEX_MISMATCH(T)                                                                    \
    regex_mismatch::regex_mismatch(T value, const std::string& path, const std::string& name,      \
                                   const std::string& expression)                                  \
        : invalid_value(value, path, name, regex_text(value, path, name, expression))              \
        , expression_(expression)                                                                  \
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
ZARVO_DEFINE_ERROR_CONCRETE(regex_mismatch, std::runtime_error)

const std::string& regex_mismatch::expression() const
{
    return expression_;
}

} // namespace zarvo::introspection
