// The value-type table loader, fed a fuzzed JSON document through the
// registry's table source. Whatever the text, a lookup either builds a
// validator or throws one of the library's errors; the validators built
// then check values of every kind without fault.
#include "devicelib/introspection/value_type_table.h"
#include "devicelib/errors/exception.h"
#include "devicelib/introspection/auditor.h"
#include "devicelib/introspection/data_type_registry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace in = zarvo::introspection;

// Goes on past every issue, so that lookups reach every property reader.
class accepting_auditor : public in::auditor {
public:
    bool missing_type(int, const std::string&, unsigned) override { return true; }
    bool unknown_type(int, const std::string&, const std::string&, unsigned) override
    {
        return true;
    }
    bool unsupported_properties(int, const std::string&, const std::string&, const property_map&,
                                unsigned) override
    {
        return true;
    }
    bool bad_minimum(int, const std::string&, const std::string&, const std::string&,
                     unsigned) override
    {
        return true;
    }
    bool bad_maximum(int, const std::string&, const std::string&, const std::string&,
                     unsigned) override
    {
        return true;
    }
    bool bad_precision(int, const std::string&, const std::string&, const std::string&,
                       unsigned) override
    {
        return true;
    }
    bool bad_unit(int, const std::string&, const std::string&, const std::string&,
                  unsigned) override
    {
        return true;
    }
    bool bad_regex(int, const std::string&, const std::string&, const std::string&,
                   unsigned) override
    {
        return true;
    }
};

void check_values(const in::validator& check, in::auditor& audit)
{
    const auto attempt = [&](auto value) {
        try {
            (void)check.check(value, "f", audit, 0);
        } catch (const zarvo::exception&) {
        }
    };
    attempt(std::string("12"));
    attempt(-1.5);
    attempt(3.25f);
    attempt(0ull);
    attempt(~0ull);
    attempt(-(1ll << 62));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const in::table_source source = [&text](std::string_view& bytes) {
        bytes = text;
        return 0;
    };

    std::vector<std::string> names;
    try {
        for (const auto& [name, properties] : in::load_value_type_table(source))
            if (names.size() < 8)
                names.push_back(name);
    } catch (const zarvo::exception&) {
        return 0;
    }

    in::data_type_registry registry(source);
    accepting_auditor accepting;
    in::auditor refusing;
    for (const std::string& name : names) {
        for (int type = 1; type <= 10; ++type) {
            for (in::auditor* audit : {&refusing, static_cast<in::auditor*>(&accepting)}) {
                unsigned flags = 0;
                try {
                    if (const in::validator* check =
                            registry.get_validator(type, "f", name, *audit, flags))
                        check_values(*check, accepting);
                } catch (const zarvo::exception&) {
                }
            }
        }
    }
    return 0;
}
