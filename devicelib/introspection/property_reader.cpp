#include "devicelib/introspection/property_reader.h"

#include "devicelib/introspection/property_errors.h"

#include <boost/property_tree/exceptions.hpp>

#include <locale>
#include <sstream>
#include <type_traits>

namespace zarvo::introspection::detail {

namespace {

using missing_callback = bool (auditor::*)(int, const std::string&, const std::string&, unsigned);
using bad_callback = bool (auditor::*)(int, const std::string&, const std::string&,
                                       const std::string&, unsigned);

struct property_rule {
    const char* key;
    missing_callback on_missing;
    unsigned missing_bit;
    void (*throw_missing)(const build_context&, const std::exception& cause);
    bad_callback on_bad;
    unsigned bad_bit;
    void (*throw_bad)(const build_context&, const std::string& text, const std::exception& cause);
};

template <typename Missing>
[[noreturn]] void throw_missing(const build_context& context, const std::exception& cause)
{
    throw Missing(context.type, context.path, context.name, cause);
}

template <typename Bad>
[[noreturn]] void throw_bad(const build_context& context, const std::string& text,
                            const std::exception& cause)
{
    throw Bad(context.type, context.path, context.name, text, cause);
}

template <typename Missing, typename Bad>
constexpr property_rule rule(const char* key, missing_callback on_missing, unsigned missing_bit,
                             bad_callback on_bad, unsigned bad_bit)
{
    return {key,    on_missing, missing_bit,    &throw_missing<Missing>,
            on_bad, bad_bit,    &throw_bad<Bad>};
}

// Indexed by property.
const property_rule rules[] = {
    rule<missing_unit, bad_unit>("unit", &auditor::missing_unit, issue::missing_unit,
                                 &auditor::bad_unit, issue::bad_unit),
    rule<missing_minimum, bad_minimum>("min", &auditor::missing_minimum, issue::missing_minimum,
                                       &auditor::bad_minimum, issue::bad_minimum),
    rule<missing_maximum, bad_maximum>("max", &auditor::missing_maximum, issue::missing_maximum,
                                       &auditor::bad_maximum, issue::bad_maximum),
    rule<missing_regex, bad_regex>("regex", &auditor::missing_regex, issue::missing_regex,
                                   &auditor::bad_regex, issue::bad_regex),
    rule<missing_precision, bad_precision>("precision", &auditor::missing_precision,
                                           issue::missing_precision, &auditor::bad_precision,
                                           issue::bad_precision),
};

bool is_blank(char c)
{
    return std::isspace(c, std::locale::classic());
}

} // namespace

bool read_property(build_context& context, properties& entry, property which,
                   const std::function<bool(const std::string&)>& convert)
{
    const property_rule& rule = rules[static_cast<int>(which)];
    const auto found = entry.find(rule.key);
    if (found == entry.not_found()) {
        if (!(context.audit.*rule.on_missing)(context.type, context.path, context.name,
                                              context.flags))
            rule.throw_missing(context, boost::property_tree::ptree_bad_path(
                                            "No such node", properties::path_type(rule.key)));
        context.flags |= rule.missing_bit;
        return false;
    }
    // An object or an array in place of a value has no usable text.
    const std::string text = found->second.data();
    const bool usable = found->second.empty() && convert(text);
    entry.erase(rule.key);
    if (usable)
        return true;
    if (!(context.audit.*rule.on_bad)(context.type, context.path, context.name, text,
                                      context.flags))
        rule.throw_bad(context, text,
                       boost::property_tree::ptree_bad_data("Conversion of data failed", text));
    context.flags |= rule.bad_bit;
    return false;
}

template <typename T>
bool read_number(const std::string& text, T& value)
{
    if constexpr (std::is_unsigned_v<T>) {
        if (text.find('-') != std::string::npos)
            return false;
    }
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    T parsed{};
    if (!(in >> parsed))
        return false;
    for (char c; in.get(c);)
        if (!is_blank(c))
            return false;
    value = parsed;
    return true;
}

template bool read_number<int>(const std::string&, int&);
template bool read_number<long long>(const std::string&, long long&);
template bool read_number<unsigned int>(const std::string&, unsigned int&);
template bool read_number<unsigned long long>(const std::string&, unsigned long long&);
template bool read_number<float>(const std::string&, float&);
template bool read_number<double>(const std::string&, double&);

namespace {

// "-2000", white space around it allowed.
bool is_negative_integer(const std::string& text)
{
    auto first = text.begin();
    auto last = text.end();
    while (first != last && is_blank(*first))
        ++first;
    while (first != last && is_blank(*(last - 1)))
        --last;
    if (first == last || *first != '-' || ++first == last)
        return false;
    for (; first != last; ++first)
        if (!std::isdigit(*first, std::locale::classic()))
            return false;
    return true;
}

template <typename T>
bool read_minimum(const std::string& text, T& value)
{
    if (std::is_unsigned_v<T> && is_negative_integer(text)) {
        value = 0;
        return true;
    }
    return read_number(text, value);
}

} // namespace

template <typename T>
void read_limits(build_context& context, properties& entry, T& minimum, T& maximum)
{
    read_property(context, entry, property::minimum,
                  [&minimum](const std::string& text) { return read_minimum(text, minimum); });
    read_property(context, entry, property::maximum,
                  [&maximum](const std::string& text) { return read_number(text, maximum); });
}

template void read_limits<int>(build_context&, properties&, int&, int&);
template void read_limits<long long>(build_context&, properties&, long long&, long long&);
template void read_limits<unsigned int>(build_context&, properties&, unsigned int&, unsigned int&);
template void read_limits<unsigned long long>(build_context&, properties&, unsigned long long&,
                                              unsigned long long&);
template void read_limits<float>(build_context&, properties&, float&, float&);
template void read_limits<double>(build_context&, properties&, double&, double&);

} // namespace zarvo::introspection::detail
