#include "devicelib/introspection/numeric_validator.h"

#include "devicelib/introspection/number_text.h"
#include "devicelib/introspection/value_errors.h"

#include <cmath>
#include <limits>
#include <type_traits>

namespace zarvo::introspection {

template <typename T>
numeric_validator<T>::numeric_validator(int type, const std::string& path, const std::string& name,
                                        detail::properties& entry, auditor& audit, unsigned& flags)
    : validator(type, path, name, entry, audit, flags)
    , minimum_(std::numeric_limits<T>::lowest())
    , maximum_(std::numeric_limits<T>::max())
{
    detail::build_context context{type, path, name, audit, flags};
    detail::read_limits(context, entry, minimum_, maximum_);
    expression_.read(context, entry);
    detail::read_property(
        context, entry, detail::property::precision,
        [this](const std::string& text) { return detail::read_number(text, precision_); });
}

template <typename T>
numeric_validator<T>::~numeric_validator() = default;

template <typename T>
unsigned numeric_validator<T>::check(T value, const std::string& path, auditor& audit,
                                     unsigned flags) const
{
    bool outside = value < minimum_ || value > maximum_;
    if constexpr (std::is_floating_point_v<T>)
        outside = outside || std::isnan(value);
    if (outside) {
        if (!audit.limit_exceeded(value, path, name(), minimum_, maximum_, flags))
            throw limit_exceeded(value, path, name(), minimum_, maximum_);
        flags |= issue::limit_exceeded;
    }
    if (!expression_.empty() && !expression_.matches(detail::to_text(value))) {
        if (!audit.regex_mismatch(value, path, name(), expression_.source(), flags))
            throw regex_mismatch(value, path, name(), expression_.source());
        flags |= issue::regex_mismatch;
    }
    return flags;
}

template class numeric_validator<int>;
template class numeric_validator<long long>;
template class numeric_validator<unsigned int>;
template class numeric_validator<unsigned long long>;
template class numeric_validator<float>;
template class numeric_validator<double>;

} // namespace zarvo::introspection
