#include "tests/devicelib/introspection/recording_auditor.h"

#include "devicelib/introspection/number_text.h"

namespace zarvo::test {

namespace {

std::string shown(int value)
{
    return std::to_string(value);
}
std::string shown(long long value)
{
    return introspection::detail::to_text(value);
}
std::string shown(unsigned int value)
{
    return introspection::detail::to_text(value);
}
std::string shown(unsigned long long value)
{
    return introspection::detail::to_text(value);
}
std::string shown(float value)
{
    return introspection::detail::to_text(value);
}
std::string shown(double value)
{
    return introspection::detail::to_text(value);
}
std::string shown(const std::string& value)
{
    return value;
}
std::string shown(const introspection::auditor::property_map& properties)
{
    std::string joined = "{";
    for (const auto& [key, value] : properties)
        joined += (joined.size() > 1 ? ", " : "") + key + ": " + value;
    return joined + "}";
}

} // namespace

std::vector<std::string> recording_auditor::calls_to(const std::string& callback) const
{
    std::vector<std::string> found;
    for (const auto& call : calls)
        if (call.compare(0, callback.size() + 1, callback + "(") == 0)
            found.push_back(call);
    return found;
}

bool recording_auditor::answer(const std::string& callback,
                               const std::vector<std::string>& arguments, unsigned flags)
{
    std::string call = callback + "(";
    for (std::size_t i = 0; i < arguments.size(); ++i)
        call += (i ? ", " : "") + arguments[i];
    calls.push_back(call + ")");
    flags_seen.push_back(flags);
    if (before_answer)
        before_answer(callback);
    const auto scripted = answers.find(callback);
    return scripted != answers.end() ? scripted->second : accept_others;
}

bool recording_auditor::indenting(int type, const std::string& path, const std::string& name,
                                  unsigned flags)
{
    return answer("indenting", {shown(type), shown(path), shown(name)}, flags);
}
bool recording_auditor::outdenting(int type, const std::string& path, const std::string& name,
                                   unsigned flags)
{
    return answer("outdenting", {shown(type), shown(path), shown(name)}, flags);
}
bool recording_auditor::missing_type(int type, const std::string& path, unsigned flags)
{
    return answer("missing_type", {shown(type), shown(path)}, flags);
}
bool recording_auditor::missing_value(int type, const std::string& path, const std::string& name,
                                      unsigned flags)
{
    return answer("missing_value", {shown(type), shown(path), shown(name)}, flags);
}
bool recording_auditor::unknown_type(int type, const std::string& path, const std::string& name,
                                     unsigned flags)
{
    return answer("unknown_type", {shown(type), shown(path), shown(name)}, flags);
}
bool recording_auditor::type_mismatch(int type, int expected_type, const std::string& path,
                                      const std::string& name, unsigned flags)
{
    return answer("type_mismatch", {shown(type), shown(expected_type), shown(path), shown(name)},
                  flags);
}
bool recording_auditor::missing_unit(int type, const std::string& path, const std::string& name,
                                     unsigned flags)
{
    return answer("missing_unit", {shown(type), shown(path), shown(name)}, flags);
}
bool recording_auditor::missing_minimum(int type, const std::string& path, const std::string& name,
                                        unsigned flags)
{
    return answer("missing_minimum", {shown(type), shown(path), shown(name)}, flags);
}
bool recording_auditor::missing_maximum(int type, const std::string& path, const std::string& name,
                                        unsigned flags)
{
    return answer("missing_maximum", {shown(type), shown(path), shown(name)}, flags);
}
bool recording_auditor::missing_regex(int type, const std::string& path, const std::string& name,
                                      unsigned flags)
{
    return answer("missing_regex", {shown(type), shown(path), shown(name)}, flags);
}
bool recording_auditor::missing_precision(int type, const std::string& path,
                                          const std::string& name, unsigned flags)
{
    return answer("missing_precision", {shown(type), shown(path), shown(name)}, flags);
}
bool recording_auditor::unsupported_properties(int type, const std::string& path,
                                               const std::string& name,
                                               const property_map& properties, unsigned flags)
{
    return answer("unsupported_properties",
                  {shown(type), shown(path), shown(name), shown(properties)}, flags);
}
bool recording_auditor::bad_minimum(int type, const std::string& path, const std::string& name,
                                    const std::string& text, unsigned flags)
{
    return answer("bad_minimum", {shown(type), shown(path), shown(name), shown(text)}, flags);
}
bool recording_auditor::bad_maximum(int type, const std::string& path, const std::string& name,
                                    const std::string& text, unsigned flags)
{
    return answer("bad_maximum", {shown(type), shown(path), shown(name), shown(text)}, flags);
}
bool recording_auditor::bad_regex(int type, const std::string& path, const std::string& name,
                                  const std::string& text, unsigned flags)
{
    return answer("bad_regex", {shown(type), shown(path), shown(name), shown(text)}, flags);
}
bool recording_auditor::bad_unit(int type, const std::string& path, const std::string& name,
                                 const std::string& text, unsigned flags)
{
    return answer("bad_unit", {shown(type), shown(path), shown(name), shown(text)}, flags);
}
bool recording_auditor::bad_precision(int type, const std::string& path, const std::string& name,
                                      const std::string& text, unsigned flags)
{
    return answer("bad_precision", {shown(type), shown(path), shown(name), shown(text)}, flags);
}
bool recording_auditor::limit_exceeded(const std::string& value, const std::string& path,
                                       const std::string& name, unsigned int minimum,
                                       unsigned int maximum, unsigned flags)
{
    return answer("limit_exceeded",
                  {shown(value), shown(path), shown(name), shown(minimum), shown(maximum)}, flags);
}
bool recording_auditor::limit_exceeded(double value, const std::string& path,
                                       const std::string& name, double minimum, double maximum,
                                       unsigned flags)
{
    return answer("limit_exceeded",
                  {shown(value), shown(path), shown(name), shown(minimum), shown(maximum)}, flags);
}
bool recording_auditor::limit_exceeded(float value, const std::string& path,
                                       const std::string& name, float minimum, float maximum,
                                       unsigned flags)
{
    return answer("limit_exceeded",
                  {shown(value), shown(path), shown(name), shown(minimum), shown(maximum)}, flags);
}
bool recording_auditor::limit_exceeded(unsigned long long value, const std::string& path,
                                       const std::string& name, unsigned long long minimum,
                                       unsigned long long maximum, unsigned flags)
{
    return answer("limit_exceeded",
                  {shown(value), shown(path), shown(name), shown(minimum), shown(maximum)}, flags);
}
bool recording_auditor::limit_exceeded(unsigned int value, const std::string& path,
                                       const std::string& name, unsigned int minimum,
                                       unsigned int maximum, unsigned flags)
{
    return answer("limit_exceeded",
                  {shown(value), shown(path), shown(name), shown(minimum), shown(maximum)}, flags);
}
bool recording_auditor::limit_exceeded(long long value, const std::string& path,
                                       const std::string& name, long long minimum,
                                       long long maximum, unsigned flags)
{
    return answer("limit_exceeded",
                  {shown(value), shown(path), shown(name), shown(minimum), shown(maximum)}, flags);
}
bool recording_auditor::limit_exceeded(int value, const std::string& path, const std::string& name,
                                       int minimum, int maximum, unsigned flags)
{
    return answer("limit_exceeded",
                  {shown(value), shown(path), shown(name), shown(minimum), shown(maximum)}, flags);
}
bool recording_auditor::regex_mismatch(const std::string& value, const std::string& path,
                                       const std::string& name, const std::string& expression,
                                       unsigned flags)
{
    return answer("regex_mismatch", {shown(value), shown(path), shown(name), shown(expression)},
                  flags);
}
bool recording_auditor::regex_mismatch(double value, const std::string& path,
                                       const std::string& name, const std::string& expression,
                                       unsigned flags)
{
    return answer("regex_mismatch", {shown(value), shown(path), shown(name), shown(expression)},
                  flags);
}
bool recording_auditor::regex_mismatch(float value, const std::string& path,
                                       const std::string& name, const std::string& expression,
                                       unsigned flags)
{
    return answer("regex_mismatch", {shown(value), shown(path), shown(name), shown(expression)},
                  flags);
}
bool recording_auditor::regex_mismatch(unsigned long long value, const std::string& path,
                                       const std::string& name, const std::string& expression,
                                       unsigned flags)
{
    return answer("regex_mismatch", {shown(value), shown(path), shown(name), shown(expression)},
                  flags);
}
bool recording_auditor::regex_mismatch(unsigned int value, const std::string& path,
                                       const std::string& name, const std::string& expression,
                                       unsigned flags)
{
    return answer("regex_mismatch", {shown(value), shown(path), shown(name), shown(expression)},
                  flags);
}
bool recording_auditor::regex_mismatch(long long value, const std::string& path,
                                       const std::string& name, const std::string& expression,
                                       unsigned flags)
{
    return answer("regex_mismatch", {shown(value), shown(path), shown(name), shown(expression)},
                  flags);
}
bool recording_auditor::regex_mismatch(int value, const std::string& path, const std::string& name,
                                       const std::string& expression, unsigned flags)
{
    return answer("regex_mismatch", {shown(value), shown(path), shown(name), shown(expression)},
                  flags);
}

} // namespace zarvo::test
