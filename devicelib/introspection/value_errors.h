#pragma once

#include "devicelib/errors/error_shapes.h"
#include "devicelib/export.h"
#include "devicelib/introspection/exception.h"

#include <stdexcept>
#include <string>

namespace zarvo::introspection {

namespace detail {

// One storage for a value of any of the six numeric kinds.
union number {
    int i;
    long long ll;
    unsigned int u;
    unsigned long long ull;
    float f;
    double d;
};

} // namespace detail

// A field's value breaks a rule of its data type. Never thrown by itself.
// Keeps the value both as a number of its kind (0 for a string) and as text.
class ZARVO_EXPORT invalid_value : public std::runtime_error, public exception {
public:
    invalid_value(int value, const std::string& path, const std::string& name,
                  const std::string& text);
    invalid_value(long long value, const std::string& path, const std::string& name,
                  const std::string& text);
    invalid_value(unsigned int value, const std::string& path, const std::string& name,
                  const std::string& text);
    invalid_value(unsigned long long value, const std::string& path, const std::string& name,
                  const std::string& text);
    invalid_value(float value, const std::string& path, const std::string& name,
                  const std::string& text);
    invalid_value(double value, const std::string& path, const std::string& name,
                  const std::string& text);
    invalid_value(const std::string& value, const std::string& path, const std::string& name,
                  const std::string& text);
    invalid_value(int value, const std::string& path, const std::string& name,
                  const std::string& text, const std::exception& cause);
    invalid_value(long long value, const std::string& path, const std::string& name,
                  const std::string& text, const std::exception& cause);
    invalid_value(unsigned int value, const std::string& path, const std::string& name,
                  const std::string& text, const std::exception& cause);
    invalid_value(unsigned long long value, const std::string& path, const std::string& name,
                  const std::string& text, const std::exception& cause);
    invalid_value(float value, const std::string& path, const std::string& name,
                  const std::string& text, const std::exception& cause);
    invalid_value(double value, const std::string& path, const std::string& name,
                  const std::string& text, const std::exception& cause);
    invalid_value(const std::string& value, const std::string& path, const std::string& name,
                  const std::string& text, const std::exception& cause);
    invalid_value(const invalid_value& other);
    invalid_value& operator=(const invalid_value&) = delete;

    std::exception& std_base() override;
    const std::exception& std_base() const override;

    // The value as a T: the kept number when T is the value's kind, else the
    // value's text read as a T. Throws bad_cast when the text is no T.
    // T is one of int, long long, unsigned int, unsigned long long, float,
    // double, or const std::string& (the text).
    template <typename T>
    T value() const;
    // The value as text: a string value itself, a number as written in texts.
    const std::string& string_value() const;

protected:
    ~invalid_value() override;

private:
    detail::number number_;
    std::string text_;
};

template <>
const std::string& invalid_value::value<const std::string&>() const;
extern template int invalid_value::value<int>() const;
extern template long long invalid_value::value<long long>() const;
extern template unsigned int invalid_value::value<unsigned int>() const;
extern template unsigned long long invalid_value::value<unsigned long long>() const;
extern template float invalid_value::value<float>() const;
extern template double invalid_value::value<double>() const;

// The value lies outside the inclusive limits of its data type. The limits
// are of the value's kind; for a string they are character counts. The
// string form built with a cause reports the value's length in bytes.
class ZARVO_EXPORT limit_exceeded : public invalid_value {
public:
    limit_exceeded(int value, const std::string& path, const std::string& name, int minimum,
                   int maximum);
    limit_exceeded(long long value, const std::string& path, const std::string& name,
                   long long minimum, long long maximum);
    limit_exceeded(unsigned int value, const std::string& path, const std::string& name,
                   unsigned int minimum, unsigned int maximum);
    limit_exceeded(unsigned long long value, const std::string& path, const std::string& name,
                   unsigned long long minimum, unsigned long long maximum);
    limit_exceeded(float value, const std::string& path, const std::string& name, float minimum,
                   float maximum);
    limit_exceeded(double value, const std::string& path, const std::string& name, double minimum,
                   double maximum);
    limit_exceeded(const std::string& value, const std::string& path, const std::string& name,
                   unsigned int minimum, unsigned int maximum);
    limit_exceeded(int value, const std::string& path, const std::string& name, int minimum,
                   int maximum, const std::exception& cause);
    limit_exceeded(long long value, const std::string& path, const std::string& name,
                   long long minimum, long long maximum, const std::exception& cause);
    limit_exceeded(unsigned int value, const std::string& path, const std::string& name,
                   unsigned int minimum, unsigned int maximum, const std::exception& cause);
    limit_exceeded(unsigned long long value, const std::string& path, const std::string& name,
                   unsigned long long minimum, unsigned long long maximum,
                   const std::exception& cause);
    limit_exceeded(float value, const std::string& path, const std::string& name, float minimum,
                   float maximum, const std::exception& cause);
    limit_exceeded(double value, const std::string& path, const std::string& name, double minimum,
                   double maximum, const std::exception& cause);
    limit_exceeded(const std::string& value, const std::string& path, const std::string& name,
                   unsigned int minimum, unsigned int maximum, const std::exception& cause);
    limit_exceeded(const limit_exceeded& other);
    limit_exceeded& operator=(const limit_exceeded&) = delete;
    ZARVO_ERROR_CONCRETE(limit_exceeded)

    // The limits as a T, which must be the value's kind (unsigned int also
    // for a string value); nothing is converted. Throws bad_cast otherwise.
    template <typename T>
    T minimum() const;
    template <typename T>
    T maximum() const;

private:
    template <typename T>
    T limit(const detail::number& limit) const;

    detail::number minimum_;
    detail::number maximum_;
};

#define ZARVO_INTROSPECTION_LIMIT(T)                                                               \
    extern template T limit_exceeded::minimum<T>() const;                                          \
    extern template T limit_exceeded::maximum<T>() const
ZARVO_INTROSPECTION_LIMIT(int);
ZARVO_INTROSPECTION_LIMIT(long long);
ZARVO_INTROSPECTION_LIMIT(unsigned int);
ZARVO_INTROSPECTION_LIMIT(unsigned long long);
ZARVO_INTROSPECTION_LIMIT(float);
ZARVO_INTROSPECTION_LIMIT(double);
#undef ZARVO_INTROSPECTION_LIMIT

// The value does not match the regular expression of its data type.
class ZARVO_EXPORT regex_mismatch : public invalid_value {
public:
    regex_mismatch(int value, const std::string& path, const std::string& name,
                   const std::string& expression);
    regex_mismatch(long long value, const std::string& path, const std::string& name,
                   const std::string& expression);
    regex_mismatch(unsigned int value, const std::string& path, const std::string& name,
                   const std::string& expression);
    regex_mismatch(unsigned long long value, const std::string& path, const std::string& name,
                   const std::string& expression);
    regex_mismatch(float value, const std::string& path, const std::string& name,
                   const std::string& expression);
    regex_mismatch(double value, const std::string& path, const std::string& name,
                   const std::string& expression);
    regex_mismatch(const std::string& value, const std::string& path, const std::string& name,
                   const std::string& expression);
    regex_mismatch(int value, const std::string& path, const std::string& name,
                   const std::string& expression, const std::exception& cause);
    regex_mismatch(long long value, const std::string& path, const std::string& name,
                   const std::string& expression, const std::exception& cause);
    regex_mismatch(unsigned int value, const std::string& path, const std::string& name,
                   const std::string& expression, const std::exception& cause);
    regex_mismatch(unsigned long long value, const std::string& path, const std::string& name,
                   const std::string& expression, const std::exception& cause);
    regex_mismatch(float value, const std::string& path, const std::string& name,
                   const std::string& expression, const std::exception& cause);
    regex_mismatch(double value, const std::string& path, const std::string& name,
                   const std::string& expression, const std::exception& cause);
    regex_mismatch(const std::string& value, const std::string& path, const std::string& name,
                   const std::string& expression, const std::exception& cause);
    regex_mismatch(const regex_mismatch& other);
    regex_mismatch& operator=(const regex_mismatch&) = delete;
    ZARVO_ERROR_CONCRETE(regex_mismatch)

    const std::string& expression() const;

private:
    std::string expression_;
};

} // namespace zarvo::introspection
