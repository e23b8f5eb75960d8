#pragma once

#include "devicelib/introspection/auditor.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zarvo::test {

// Logs every callback as "name(arg, arg, ...)" with the flags left out, and
// answers from a script: answers[name] when given, else accept_others.
// before_answer runs first on each callback (to throw or to start another
// validation from inside one).
class recording_auditor : public introspection::auditor {
public:
    std::vector<std::string> calls;
    std::vector<unsigned> flags_seen;
    std::map<std::string, bool> answers;
    bool accept_others = true;
    std::function<void(const std::string& callback)> before_answer;

    // The calls made to one callback, in order.
    std::vector<std::string> calls_to(const std::string& callback) const;

    bool indenting(int type, const std::string& path, const std::string& name,
                   unsigned flags) override;
    bool outdenting(int type, const std::string& path, const std::string& name,
                    unsigned flags) override;
    bool missing_type(int type, const std::string& path, unsigned flags) override;
    bool missing_value(int type, const std::string& path, const std::string& name,
                       unsigned flags) override;
    bool unknown_type(int type, const std::string& path, const std::string& name,
                      unsigned flags) override;
    bool type_mismatch(int type, int expected_type, const std::string& path,
                       const std::string& name, unsigned flags) override;
    bool missing_unit(int type, const std::string& path, const std::string& name,
                      unsigned flags) override;
    bool missing_minimum(int type, const std::string& path, const std::string& name,
                         unsigned flags) override;
    bool missing_maximum(int type, const std::string& path, const std::string& name,
                         unsigned flags) override;
    bool missing_regex(int type, const std::string& path, const std::string& name,
                       unsigned flags) override;
    bool missing_precision(int type, const std::string& path, const std::string& name,
                           unsigned flags) override;
    bool unsupported_properties(int type, const std::string& path, const std::string& name,
                                const property_map& properties, unsigned flags) override;
    bool bad_minimum(int type, const std::string& path, const std::string& name,
                     const std::string& text, unsigned flags) override;
    bool bad_maximum(int type, const std::string& path, const std::string& name,
                     const std::string& text, unsigned flags) override;
    bool bad_regex(int type, const std::string& path, const std::string& name,
                   const std::string& text, unsigned flags) override;
    bool bad_unit(int type, const std::string& path, const std::string& name,
                  const std::string& text, unsigned flags) override;
    bool bad_precision(int type, const std::string& path, const std::string& name,
                       const std::string& text, unsigned flags) override;
    bool limit_exceeded(const std::string& value, const std::string& path, const std::string& name,
                        unsigned int minimum, unsigned int maximum, unsigned flags) override;
    bool limit_exceeded(double value, const std::string& path, const std::string& name,
                        double minimum, double maximum, unsigned flags) override;
    bool limit_exceeded(float value, const std::string& path, const std::string& name,
                        float minimum, float maximum, unsigned flags) override;
    bool limit_exceeded(unsigned long long value, const std::string& path, const std::string& name,
                        unsigned long long minimum, unsigned long long maximum,
                        unsigned flags) override;
    bool limit_exceeded(unsigned int value, const std::string& path, const std::string& name,
                        unsigned int minimum, unsigned int maximum, unsigned flags) override;
    bool limit_exceeded(long long value, const std::string& path, const std::string& name,
                        long long minimum, long long maximum, unsigned flags) override;
    bool limit_exceeded(int value, const std::string& path, const std::string& name, int minimum,
                        int maximum, unsigned flags) override;
    bool regex_mismatch(const std::string& value, const std::string& path, const std::string& name,
                        const std::string& expression, unsigned flags) override;
    bool regex_mismatch(double value, const std::string& path, const std::string& name,
                        const std::string& expression, unsigned flags) override;
    bool regex_mismatch(float value, const std::string& path, const std::string& name,
                        const std::string& expression, unsigned flags) override;
    bool regex_mismatch(unsigned long long value, const std::string& path, const std::string& name,
                        const std::string& expression, unsigned flags) override;
    bool regex_mismatch(unsigned int value, const std::string& path, const std::string& name,
                        const std::string& expression, unsigned flags) override;
    bool regex_mismatch(long long value, const std::string& path, const std::string& name,
                        const std::string& expression, unsigned flags) override;
    bool regex_mismatch(int value, const std::string& path, const std::string& name,
                        const std::string& expression, unsigned flags) override;

private:
    bool answer(const std::string& callback, const std::vector<std::string>& arguments,
                unsigned flags);
};

} // namespace zarvo::test
