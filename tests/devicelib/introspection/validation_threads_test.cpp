// Validations on several threads at once, from a cold start. Also run under
// ThreadSanitizer.
#include "devicelib/introspection/data_type_registry.h"
#include "devicelib/introspection/validate.h"
#include "devicelib/introspection/validate_fields.h"
#include "tests/devicelib/introspection/clock_messages.h"
#include "tests/devicelib/introspection/fixture_table.h"

#include <gtest/gtest.h>

#include <future>
#include <vector>

namespace zarvo::test {
namespace {

using introspection::default_auditor;
using introspection::validate;
namespace issue = introspection::issue;

// Each thread's results, OR-ed together per thread.
template <typename Validate>
std::vector<std::vector<unsigned>> on_threads(int threads, Validate validate_once)
{
    std::vector<std::future<std::vector<unsigned>>> running;
    for (int t = 0; t < threads; ++t)
        running.push_back(std::async(std::launch::async, [validate_once] {
            std::vector<unsigned> results;
            for (int i = 0; i < 50; ++i)
                validate_once(results);
            return results;
        }));
    std::vector<std::vector<unsigned>> all;
    for (auto& thread : running)
        all.push_back(thread.get());
    return all;
}

TEST(ValidationThreads, ProcessRegistryFromAColdStart)
{
    const auto all = on_threads(8, [](std::vector<unsigned>& results) {
        results.push_back(validate(complete_time(), default_auditor()));
        results.push_back(validate(complete_date(), default_auditor()));
    });
    unsigned seen = 0;
    for (const auto& results : all)
        for (const unsigned result : results) {
            EXPECT_TRUE(result == 0 || result == issue::missing_regex) << result;
            seen |= result;
        }
    EXPECT_EQ(seen, issue::missing_regex);
}

TEST(ValidationThreads, RegistriesSharedByThreadsStayApart)
{
    introspection::data_type_registry wide(introspection::builtin_table_source());
    introspection::data_type_registry narrow(fixture_source(R"({
        "HOUR": {"unit": "h", "min": 0, "max": 11, "regex": "[0-9]+", "precision": 1},
        "MINUTE": {"unit": "m", "min": 0, "max": 59, "regex": "[0-9]+", "precision": 1},
        "SECOND": {"unit": "s", "min": 0, "max": 59, "regex": "[0-9]+", "precision": 1},
        "MILLIS": {"unit": "z", "min": 0, "max": 999, "regex": "[0-9]+", "precision": 1}
    })"));
    introspection::custom_auditor accept_all(0x1FFFF);
    const auto all = on_threads(8, [&](std::vector<unsigned>& results) {
        results.push_back(validate(complete_time(), accept_all, wide) & issue::limit_exceeded);
        results.push_back(validate(complete_time(), accept_all, narrow) & issue::limit_exceeded);
    });
    for (const auto& results : all)
        for (std::size_t i = 0; i < results.size(); ++i)
            EXPECT_EQ(results[i], i % 2 ? issue::limit_exceeded : 0u) << i;
}

} // namespace
} // namespace zarvo::test
