#pragma once

#include "devicelib/introspection/validator.h"
#include "devicelib/introspection/value_expression.h"

namespace zarvo::introspection {

// Inclusive limits and an optional expression for one numeric value type T:
// int, long long, unsigned int, unsigned long long, float or double.
//
// Reads "unit", "min", "max", "regex" and "precision" in that order, each as
// a T in the classic number form. For an unsigned T a negative integer
// minimum reads as 0; a negative maximum or precision is unusable. Missing
// and unusable limits fall back to T's lowest and highest finite values.
//
// A check reports a value outside the limits, and a float or double NaN, as
// limit_exceeded; then, with an expression, a value whose text (the classic
// form) does not match it as regex_mismatch. Both steps always run.
template <typename T>
class numeric_validator final : public validator {
public:
    numeric_validator(int type, const std::string& path, const std::string& name,
                      detail::properties& entry, auditor& audit, unsigned& flags);
    ~numeric_validator() override;

    using validator::check;
    unsigned check(T value, const std::string& path, auditor& audit, unsigned flags) const override;

    T minimum() const { return minimum_; }
    T maximum() const { return maximum_; }
    // Kept as the table gives it (0 when missing); no check uses it.
    T precision() const { return precision_; }
    const detail::value_expression& expression() const { return expression_; }

private:
    T minimum_;
    T maximum_;
    T precision_{};
    detail::value_expression expression_;
};

extern template class numeric_validator<int>;
extern template class numeric_validator<long long>;
extern template class numeric_validator<unsigned int>;
extern template class numeric_validator<unsigned long long>;
extern template class numeric_validator<float>;
extern template class numeric_validator<double>;

} // namespace zarvo::introspection
