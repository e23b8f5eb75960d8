#include "devicelib/introspection/value_expression.h"

namespace zarvo::introspection::detail {

void value_expression::read(build_context& context, properties& entry)
{
    read_property(context, entry, property::regex, [this](const std::string& text) {
        try {
            regex_.emplace(text);
        } catch (const boost::regex_error&) {
            return false;
        }
        source_ = text;
        return true;
    });
}

bool value_expression::matches(const std::string& text) const
{
    return !regex_ || boost::regex_match(text, *regex_);
}

} // namespace zarvo::introspection::detail
