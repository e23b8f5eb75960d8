#pragma once

#include "devicelib/introspection/property_reader.h"

#include <boost/regex.hpp>

#include <optional>
#include <string>

// The optional regular expression of a data type, which a value's whole text
// must match. Internal to the library.
namespace zarvo::introspection::detail {

class value_expression {
public:
    // Reads "regex" from the entry (see read_property); an expression that
    // does not compile is reported as unusable, with its text.
    void read(build_context& context, properties& entry);

    bool empty() const { return !regex_; }
    // True when there is no expression or it matches the whole text.
    bool matches(const std::string& text) const;
    // The expression as the table gives it.
    const std::string& source() const { return source_; }

private:
    std::optional<boost::regex> regex_;
    std::string source_;
};

} // namespace zarvo::introspection::detail
