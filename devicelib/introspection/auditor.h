#pragma once

#include "devicelib/export.h"

#include <map>
#include <string>

namespace zarvo::introspection {

// The bits that validate() returns: one per kind of issue the auditor
// accepted, however often it was met.
namespace issue {
enum : unsigned {
    missing_type = 0x1,
    missing_precision = 0x2,
    missing_unit = 0x4,
    missing_regex = 0x8,
    missing_minimum = 0x10,
    missing_maximum = 0x20,
    missing_value = 0x40,
    unknown_type = 0x80,
    unsupported_properties = 0x100,
    bad_unit = 0x200,
    bad_precision = 0x400,
    bad_minimum = 0x800,
    bad_maximum = 0x1000,
    bad_regex = 0x2000,
    type_mismatch = 0x4000,
    limit_exceeded = 0x8000,
    regex_mismatch = 0x10000,
};
} // namespace issue

// A validation's policy. Every issue met is put to the callback of its kind:
// true goes on and adds the issue's bit to the result, false ends the
// validation with the introspection error of the same name. indenting and
// outdenting bracket each visited field and element; false cancels.
//
// Field type codes are those of type2string (1 int32 ... 10 message), path is
// the field's dotted path, name the data type's name, flags the result so
// far. The base class answers by the default policy: go on past missing
// table properties and untyped fields, stop at everything else.
//
// Callbacks made while a data type's validator is built (the property
// callbacks, unknown_type, unsupported_properties) run under the registry's
// lock: starting a validation from them fails with zarvo::invalid_function.
class ZARVO_EXPORT auditor {
public:
    using property_map = std::map<std::string, std::string>;

    auditor() = default;
    auditor(const auditor&) = default;
    auditor& operator=(const auditor&) = default;
    virtual ~auditor();

    virtual bool indenting(int type, const std::string& path, const std::string& name,
                           unsigned flags);
    virtual bool outdenting(int type, const std::string& path, const std::string& name,
                            unsigned flags);
    virtual bool missing_type(int type, const std::string& path, unsigned flags);
    virtual bool missing_value(int type, const std::string& path, const std::string& name,
                               unsigned flags);
    virtual bool unknown_type(int type, const std::string& path, const std::string& name,
                              unsigned flags);
    virtual bool type_mismatch(int type, int expected_type, const std::string& path,
                               const std::string& name, unsigned flags);
    virtual bool missing_unit(int type, const std::string& path, const std::string& name,
                              unsigned flags);
    virtual bool missing_minimum(int type, const std::string& path, const std::string& name,
                                 unsigned flags);
    virtual bool missing_maximum(int type, const std::string& path, const std::string& name,
                                 unsigned flags);
    virtual bool missing_regex(int type, const std::string& path, const std::string& name,
                               unsigned flags);
    virtual bool missing_precision(int type, const std::string& path, const std::string& name,
                                   unsigned flags);
    virtual bool unsupported_properties(int type, const std::string& path, const std::string& name,
                                        const property_map& properties, unsigned flags);
    virtual bool bad_minimum(int type, const std::string& path, const std::string& name,
                             const std::string& text, unsigned flags);
    virtual bool bad_maximum(int type, const std::string& path, const std::string& name,
                             const std::string& text, unsigned flags);
    virtual bool bad_regex(int type, const std::string& path, const std::string& name,
                           const std::string& text, unsigned flags);
    virtual bool bad_unit(int type, const std::string& path, const std::string& name,
                          const std::string& text, unsigned flags);
    virtual bool bad_precision(int type, const std::string& path, const std::string& name,
                               const std::string& text, unsigned flags);
    // A string's limits are byte counts.
    virtual bool limit_exceeded(const std::string& value, const std::string& path,
                                const std::string& name, unsigned int minimum, unsigned int maximum,
                                unsigned flags);
    virtual bool limit_exceeded(double value, const std::string& path, const std::string& name,
                                double minimum, double maximum, unsigned flags);
    virtual bool limit_exceeded(float value, const std::string& path, const std::string& name,
                                float minimum, float maximum, unsigned flags);
    virtual bool limit_exceeded(unsigned long long value, const std::string& path,
                                const std::string& name, unsigned long long minimum,
                                unsigned long long maximum, unsigned flags);
    virtual bool limit_exceeded(unsigned int value, const std::string& path,
                                const std::string& name, unsigned int minimum, unsigned int maximum,
                                unsigned flags);
    virtual bool limit_exceeded(long long value, const std::string& path, const std::string& name,
                                long long minimum, long long maximum, unsigned flags);
    virtual bool limit_exceeded(int value, const std::string& path, const std::string& name,
                                int minimum, int maximum, unsigned flags);
    virtual bool regex_mismatch(const std::string& value, const std::string& path,
                                const std::string& name, const std::string& expression,
                                unsigned flags);
    virtual bool regex_mismatch(double value, const std::string& path, const std::string& name,
                                const std::string& expression, unsigned flags);
    virtual bool regex_mismatch(float value, const std::string& path, const std::string& name,
                                const std::string& expression, unsigned flags);
    virtual bool regex_mismatch(unsigned long long value, const std::string& path,
                                const std::string& name, const std::string& expression,
                                unsigned flags);
    virtual bool regex_mismatch(unsigned int value, const std::string& path,
                                const std::string& name, const std::string& expression,
                                unsigned flags);
    virtual bool regex_mismatch(long long value, const std::string& path, const std::string& name,
                                const std::string& expression, unsigned flags);
    virtual bool regex_mismatch(int value, const std::string& path, const std::string& name,
                                const std::string& expression, unsigned flags);
};

// The process-wide auditor with the default policy; any thread may use it.
ZARVO_EXPORT auditor& default_auditor();

// Answers every issue from a mask of issue bits: true when the issue's bit is
// set. The default mask 0x3F answers as the default policy. indenting and
// outdenting always answer true. The mask is fixed for the object's life.
class ZARVO_EXPORT custom_auditor : public auditor {
public:
    explicit custom_auditor(unsigned int mask = 63);
    custom_auditor(const custom_auditor& other);
    custom_auditor& operator=(const custom_auditor&) = delete;
    ~custom_auditor() override;

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
    bool accepts(unsigned bit) const { return (mask_ & bit) != 0; }

    const unsigned int mask_;
};

} // namespace zarvo::introspection
