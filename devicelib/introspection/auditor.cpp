#include "devicelib/introspection/auditor.h"

namespace zarvo::introspection {

auditor::~auditor() = default;

// The default policy: go on past what a table entry or a field leaves out,
// stop at everything that concerns a value or an unusable entry.
bool auditor::indenting(int, const std::string&, const std::string&, unsigned)
{
    return true;
}
bool auditor::outdenting(int, const std::string&, const std::string&, unsigned)
{
    return true;
}
bool auditor::missing_type(int, const std::string&, unsigned)
{
    return true;
}
bool auditor::missing_value(int, const std::string&, const std::string&, unsigned)
{
    return false;
}
bool auditor::unknown_type(int, const std::string&, const std::string&, unsigned)
{
    return false;
}
bool auditor::type_mismatch(int, int, const std::string&, const std::string&, unsigned)
{
    return false;
}
bool auditor::missing_unit(int, const std::string&, const std::string&, unsigned)
{
    return true;
}
bool auditor::missing_minimum(int, const std::string&, const std::string&, unsigned)
{
    return true;
}
bool auditor::missing_maximum(int, const std::string&, const std::string&, unsigned)
{
    return true;
}
bool auditor::missing_regex(int, const std::string&, const std::string&, unsigned)
{
    return true;
}
bool auditor::missing_precision(int, const std::string&, const std::string&, unsigned)
{
    return true;
}
bool auditor::unsupported_properties(int, const std::string&, const std::string&,
                                     const property_map&, unsigned)
{
    return false;
}
bool auditor::bad_minimum(int, const std::string&, const std::string&, const std::string&, unsigned)
{
    return false;
}
bool auditor::bad_maximum(int, const std::string&, const std::string&, const std::string&, unsigned)
{
    return false;
}
bool auditor::bad_regex(int, const std::string&, const std::string&, const std::string&, unsigned)
{
    return false;
}
bool auditor::bad_unit(int, const std::string&, const std::string&, const std::string&, unsigned)
{
    return false;
}
bool auditor::bad_precision(int, const std::string&, const std::string&, const std::string&,
                            unsigned)
{
    return false;
}
bool auditor::limit_exceeded(const std::string&, const std::string&, const std::string&,
                             unsigned int, unsigned int, unsigned)
{
    return false;
}
bool auditor::limit_exceeded(double, const std::string&, const std::string&, double, double,
                             unsigned)
{
    return false;
}
bool auditor::limit_exceeded(float, const std::string&, const std::string&, float, float, unsigned)
{
    return false;
}
bool auditor::limit_exceeded(unsigned long long, const std::string&, const std::string&,
                             unsigned long long, unsigned long long, unsigned)
{
    return false;
}
bool auditor::limit_exceeded(unsigned int, const std::string&, const std::string&, unsigned int,
                             unsigned int, unsigned)
{
    return false;
}
bool auditor::limit_exceeded(long long, const std::string&, const std::string&, long long,
                             long long, unsigned)
{
    return false;
}
bool auditor::limit_exceeded(int, const std::string&, const std::string&, int, int, unsigned)
{
    return false;
}
bool auditor::regex_mismatch(const std::string&, const std::string&, const std::string&,
                             const std::string&, unsigned)
{
    return false;
}
bool auditor::regex_mismatch(double, const std::string&, const std::string&, const std::string&,
                             unsigned)
{
    return false;
}
bool auditor::regex_mismatch(float, const std::string&, const std::string&, const std::string&,
                             unsigned)
{
    return false;
}
bool auditor::regex_mismatch(unsigned long long, const std::string&, const std::string&,
                             const std::string&, unsigned)
{
    return false;
}
bool auditor::regex_mismatch(unsigned int, const std::string&, const std::string&,
                             const std::string&, unsigned)
{
    return false;
}
bool auditor::regex_mismatch(long long, const std::string&, const std::string&, const std::string&,
                             unsigned)
{
    return false;
}
bool auditor::regex_mismatch(int, const std::string&, const std::string&, const std::string&,
                             unsigned)
{
    return false;
}

auditor& default_auditor()
{
    static auditor instance;
    return instance;
}

custom_auditor::custom_auditor(unsigned int mask)
    : mask_(mask)
{
}
custom_auditor::custom_auditor(const custom_auditor& other)
    : auditor(other)
    , mask_(other.mask_)
{
}
custom_auditor::~custom_auditor() = default;

bool custom_auditor::missing_type(int, const std::string&, unsigned)
{
    return accepts(issue::missing_type);
}
bool custom_auditor::missing_value(int, const std::string&, const std::string&, unsigned)
{
    return accepts(issue::missing_value);
}
bool custom_auditor::unknown_type(int, const std::string&, const std::string&, unsigned)
{
    return accepts(issue::unknown_type);
}
bool custom_auditor::type_mismatch(int, int, const std::string&, const std::string&, unsigned)
{
    return accepts(issue::type_mismatch);
}
bool custom_auditor::missing_unit(int, const std::string&, const std::string&, unsigned)
{
    return accepts(issue::missing_unit);
}
bool custom_auditor::missing_minimum(int, const std::string&, const std::string&, unsigned)
{
    return accepts(issue::missing_minimum);
}
bool custom_auditor::missing_maximum(int, const std::string&, const std::string&, unsigned)
{
    return accepts(issue::missing_maximum);
}
bool custom_auditor::missing_regex(int, const std::string&, const std::string&, unsigned)
{
    return accepts(issue::missing_regex);
}
bool custom_auditor::missing_precision(int, const std::string&, const std::string&, unsigned)
{
    return accepts(issue::missing_precision);
}
bool custom_auditor::unsupported_properties(int, const std::string&, const std::string&,
                                            const property_map&, unsigned)
{
    return accepts(issue::unsupported_properties);
}
bool custom_auditor::bad_minimum(int, const std::string&, const std::string&, const std::string&,
                                 unsigned)
{
    return accepts(issue::bad_minimum);
}
bool custom_auditor::bad_maximum(int, const std::string&, const std::string&, const std::string&,
                                 unsigned)
{
    return accepts(issue::bad_maximum);
}
bool custom_auditor::bad_regex(int, const std::string&, const std::string&, const std::string&,
                               unsigned)
{
    return accepts(issue::bad_regex);
}
bool custom_auditor::bad_unit(int, const std::string&, const std::string&, const std::string&,
                              unsigned)
{
    return accepts(issue::bad_unit);
}
bool custom_auditor::bad_precision(int, const std::string&, const std::string&, const std::string&,
                                   unsigned)
{
    return accepts(issue::bad_precision);
}
bool custom_auditor::limit_exceeded(const std::string&, const std::string&, const std::string&,
                                    unsigned int, unsigned int, unsigned)
{
    return accepts(issue::limit_exceeded);
}
bool custom_auditor::limit_exceeded(double, const std::string&, const std::string&, double, double,
                                    unsigned)
{
    return accepts(issue::limit_exceeded);
}
bool custom_auditor::limit_exceeded(float, const std::string&, const std::string&, float, float,
                                    unsigned)
{
    return accepts(issue::limit_exceeded);
}
bool custom_auditor::limit_exceeded(unsigned long long, const std::string&, const std::string&,
                                    unsigned long long, unsigned long long, unsigned)
{
    return accepts(issue::limit_exceeded);
}
bool custom_auditor::limit_exceeded(unsigned int, const std::string&, const std::string&,
                                    unsigned int, unsigned int, unsigned)
{
    return accepts(issue::limit_exceeded);
}
bool custom_auditor::limit_exceeded(long long, const std::string&, const std::string&, long long,
                                    long long, unsigned)
{
    return accepts(issue::limit_exceeded);
}
bool custom_auditor::limit_exceeded(int, const std::string&, const std::string&, int, int, unsigned)
{
    return accepts(issue::limit_exceeded);
}
bool custom_auditor::regex_mismatch(const std::string&, const std::string&, const std::string&,
                                    const std::string&, unsigned)
{
    return accepts(issue::regex_mismatch);
}
bool custom_auditor::regex_mismatch(double, const std::string&, const std::string&,
                                    const std::string&, unsigned)
{
    return accepts(issue::regex_mismatch);
}
bool custom_auditor::regex_mismatch(float, const std::string&, const std::string&,
                                    const std::string&, unsigned)
{
    return accepts(issue::regex_mismatch);
}
bool custom_auditor::regex_mismatch(unsigned long long, const std::string&, const std::string&,
                                    const std::string&, unsigned)
{
    return accepts(issue::regex_mismatch);
}
bool custom_auditor::regex_mismatch(unsigned int, const std::string&, const std::string&,
                                    const std::string&, unsigned)
{
    return accepts(issue::regex_mismatch);
}
bool custom_auditor::regex_mismatch(long long, const std::string&, const std::string&,
                                    const std::string&, unsigned)
{
    return accepts(issue::regex_mismatch);
}
bool custom_auditor::regex_mismatch(int, const std::string&, const std::string&, const std::string&,
                                    unsigned)
{
    return accepts(issue::regex_mismatch);
}

} // namespace zarvo::introspection
