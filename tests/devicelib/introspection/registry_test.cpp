// The data type registry: loading the table, building, caching and reporting.
#include "devicelib/errors/general_errors.h"
#include "devicelib/introspection/data_type_registry.h"
#include "devicelib/introspection/errors.h"
#include "devicelib/introspection/numeric_validator.h"
#include "tests/devicelib/introspection/fixture_table.h"
#include "tests/devicelib/introspection/recording_auditor.h"
#include "tests/devicelib/introspection/thrown.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <future>
#include <stdexcept>

namespace zarvo::test {
namespace {

using introspection::auditor;
using introspection::custom_auditor;
using introspection::data_type_registry;
using introspection::default_auditor;
using introspection::numeric_validator;
using introspection::validator;
namespace issue = introspection::issue;

constexpr int int32 = 1, uint32 = 3, string_type = 9;

TEST(Registry, EntryWithoutPrecisionReportsItOnFirstLookupOnly)
{
    data_type_registry registry(introspection::builtin_table_source());
    unsigned flags = 0;
    const validator* first =
        registry.get_validator(uint32, "x", "RUNNING_INDEX", default_auditor(), flags);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(flags, issue::missing_precision | issue::missing_regex);

    flags = 0;
    recording_auditor audit;
    EXPECT_EQ(registry.get_validator(uint32, "y", "RUNNING_INDEX", audit, flags), first);
    EXPECT_EQ(flags, 0u);
    EXPECT_TRUE(audit.calls.empty());
}

TEST(Registry, TimeZoneOffsetOnInt32KeepsItsSignedLimits)
{
    data_type_registry registry(introspection::builtin_table_source());
    unsigned flags = 0;
    const auto* check =
        registry.get_validator(int32, "offset", "TIME_ZONE_OFFSET", default_auditor(), flags);
    ASSERT_NE(check, nullptr);
    auditor& audit = default_auditor();
    EXPECT_EQ(check->check(-720, "offset", audit, 0), 0u);
    EXPECT_EQ(check->check(840, "offset", audit, 0), 0u);
    EXPECT_THROW(check->check(-721, "offset", audit, 0), introspection::limit_exceeded);
    EXPECT_THROW(check->check(841, "offset", audit, 0), introspection::limit_exceeded);
}

TEST(Registry, WeightOnUint32HasUnreadableLimitsAndPrecision)
{
    data_type_registry registry(introspection::builtin_table_source());
    unsigned flags = 0;
    const auto e = thrown<introspection::bad_minimum>(
        [&] { registry.get_validator(uint32, "w", "WEIGHT", default_auditor(), flags); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data(), "0.0");
    EXPECT_EQ(e->path(), "w");
    EXPECT_EQ(e->value_type(), "WEIGHT");
    EXPECT_EQ(flags, 0u);

    recording_auditor audit;
    const auto* check = registry.get_validator(uint32, "w", "WEIGHT", audit, flags);
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(flags, issue::bad_minimum | issue::bad_maximum | issue::bad_precision |
                         issue::missing_regex);
    const auto& weight = dynamic_cast<const numeric_validator<unsigned int>&>(*check);
    EXPECT_EQ(weight.minimum(), 0u);
    EXPECT_EQ(weight.maximum(), UINT_MAX);
    EXPECT_EQ(weight.unit(), "kg");
    EXPECT_EQ(audit.calls, (std::vector<std::string>{
                               "bad_minimum(3, w, WEIGHT, 0.0)", "bad_maximum(3, w, WEIGHT, 300.0)",
                               "missing_regex(3, w, WEIGHT)", "bad_precision(3, w, WEIGHT, 0.1)"}));
}

unsigned maximum_of(const validator* built)
{
    return dynamic_cast<const numeric_validator<unsigned int>&>(*built).maximum();
}

const char* const string_table = R"({
    "FITNESS_CLASS": {"unit": "", "min": 1, "max": 5, "precision": 0.1},
    "HOUR": {"unit": "h", "min": 0, "max": 23, "regex": "[0-9]+"}
})";

TEST(Registry, LeftoverPropertiesAreReportedAndRefusalKeepsTheEntry)
{
    data_type_registry registry(fixture_source(string_table));
    recording_auditor audit;
    audit.answers["unsupported_properties"] = false;
    unsigned flags = 0;
    const auto e = thrown<introspection::unsupported_properties>(
        [&] { registry.get_validator(string_type, "label", "FITNESS_CLASS", audit, flags); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->properties(), (auditor::property_map{{"precision", "0.1"}}));
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(audit.calls_to("unsupported_properties"),
              (std::vector<std::string>{"unsupported_properties(9, label, FITNESS_CLASS, "
                                        "{precision: 0.1})"}));

    // Nothing was cached and the entry is still there: the next lookup builds.
    audit.answers["unsupported_properties"] = true;
    audit.calls.clear();
    const auto* check = registry.get_validator(string_type, "label", "FITNESS_CLASS", audit, flags);
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(flags, issue::unsupported_properties | issue::missing_regex);
    EXPECT_EQ(audit.calls_to("unsupported_properties").size(), 1u);

    audit.calls.clear();
    flags = 0;
    EXPECT_EQ(registry.get_validator(string_type, "other", "FITNESS_CLASS", audit, flags), check);
    EXPECT_TRUE(audit.calls.empty());
    EXPECT_EQ(flags, 0u);
}

TEST(Registry, UnknownTypeIsAskedAgainOnEveryLookup)
{
    data_type_registry registry(introspection::builtin_table_source());
    recording_auditor audit;
    unsigned flags = 0;
    EXPECT_EQ(registry.get_validator(uint32, "volume", "PERCENT", audit, flags), nullptr);
    EXPECT_EQ(registry.get_validator(uint32, "volume", "PERCENT", audit, flags), nullptr);
    EXPECT_EQ(flags, issue::unknown_type);
    EXPECT_EQ(audit.calls, (std::vector<std::string>{"unknown_type(3, volume, PERCENT)",
                                                     "unknown_type(3, volume, PERCENT)"}));
    EXPECT_THROW(registry.get_validator(uint32, "volume", "PERCENT", default_auditor(), flags),
                 introspection::unknown_type);
}

TEST(Registry, RefusedBuildLeavesEntryForTheNextAttempt)
{
    data_type_registry registry(introspection::builtin_table_source());
    unsigned flags = 0;
    custom_auditor refuse_all(0);
    EXPECT_THROW(registry.get_validator(uint32, "hour", "HOUR", refuse_all, flags),
                 introspection::missing_regex);
    EXPECT_EQ(flags, 0u);

    recording_auditor audit;
    const auto* check = registry.get_validator(uint32, "hour", "HOUR", audit, flags);
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(audit.calls, (std::vector<std::string>{"missing_regex(3, hour, HOUR)"}));
    EXPECT_EQ(flags, issue::missing_regex);

    audit.calls.clear();
    EXPECT_EQ(registry.get_validator(uint32, "hour", "HOUR", refuse_all, flags), check);
    EXPECT_TRUE(audit.calls.empty());
}

TEST(Registry, FieldTypesWithoutValidatorAreInvalid)
{
    data_type_registry registry(introspection::builtin_table_source());
    for (const int type : {0, 7, 8, 10, 11}) {
        unsigned flags = 0;
        const auto e = thrown<invalid_function>(
            [&] { registry.get_validator(type, "f", "HOUR", default_auditor(), flags); });
        ASSERT_TRUE(e);
        EXPECT_EQ(std::string(e->what()),
                  "Invalid function: Invalid data type " + std::to_string(type) + "..");
    }
    unsigned flags = 0;
    EXPECT_NE(registry.get_validator(uint32, "f", "HOUR", default_auditor(), flags), nullptr);
}

// A source that fails with the given code until told to succeed.
struct switchable_source {
    std::shared_ptr<int> code;
    std::shared_ptr<std::string> text;
    std::shared_ptr<int> reads = std::make_shared<int>(0);

    introspection::table_source source() const
    {
        return [code = code, text = text, reads = reads](std::string_view& bytes) {
            ++*reads;
            if (*code)
                return *code;
            bytes = *text;
            return 0;
        };
    }
};

TEST(Registry, TableThatDoesNotLoadIsRetriedOnTheNextLookup)
{
    struct row {
        int code;
        const char* text;
        const char* message;
    };
    const row rows[] = {
        {ENOENT, "", "Invalid function: No such file or directory."},
        {0, "{\"HOUR\": {", "Invalid function: Failed to parse value type information.."},
        {0, "", "Invalid function: Failed to parse value type information.."},
    };
    for (const auto& r : rows) {
        switchable_source failing{std::make_shared<int>(r.code),
                                  std::make_shared<std::string>(r.text)};
        data_type_registry registry(failing.source());
        unsigned flags = 0;
        const auto e = thrown<invalid_function>(
            [&] { registry.get_validator(uint32, "hour", "HOUR", default_auditor(), flags); });
        ASSERT_TRUE(e);
        EXPECT_EQ(std::string(e->what()), r.message);
        EXPECT_EQ(*failing.reads, 1);

        *failing.code = 0;
        *failing.text = string_table;
        EXPECT_NE(registry.get_validator(uint32, "hour", "HOUR", default_auditor(), flags),
                  nullptr);
        EXPECT_EQ(*failing.reads, 2);
    }
}

TEST(Registry, ThrowingCallbackLeavesLockFreeAndCacheUnchanged)
{
    data_type_registry registry(fixture_source(string_table));
    recording_auditor audit;
    audit.before_answer = [](const std::string& callback) {
        if (callback == "missing_regex")
            throw std::runtime_error("auditor failed");
    };
    unsigned flags = 0;
    EXPECT_THROW(registry.get_validator(string_type, "label", "FITNESS_CLASS", audit, flags),
                 std::runtime_error);
    EXPECT_EQ(flags, 0u);

    // Another thread gets through, and the data type is built anew.
    auto other = std::async(std::launch::async, [&registry] {
        recording_auditor fresh;
        unsigned other_flags = 0;
        registry.get_validator(string_type, "label", "FITNESS_CLASS", fresh, other_flags);
        return fresh.calls;
    });
    ASSERT_EQ(other.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(other.get(),
              (std::vector<std::string>{"missing_regex(9, label, FITNESS_CLASS)",
                                        "unsupported_properties(9, label, FITNESS_CLASS, "
                                        "{precision: 0.1})"}));
}

TEST(Registry, StartingAValidationFromABuildCallbackFailsAtOnce)
{
    data_type_registry registry(fixture_source(string_table));
    recording_auditor audit;
    bool inner_failed = false;
    audit.before_answer = [&](const std::string& callback) {
        if (callback != "missing_precision")
            return;
        unsigned inner_flags = 0;
        try {
            registry.get_validator(int32, "other", "HOUR", default_auditor(), inner_flags);
        } catch (const invalid_function&) {
            inner_failed = true;
            throw;
        }
    };
    unsigned flags = 0;
    const auto e = thrown<invalid_function>(
        [&] { registry.get_validator(uint32, "hour", "HOUR", audit, flags); });
    ASSERT_TRUE(e);
    EXPECT_EQ(std::string(e->what()),
              "Invalid function: Validation started during a value-type lookup..");
    EXPECT_TRUE(inner_failed);

    // The registry works afterwards, on this thread too.
    audit.before_answer = nullptr;
    EXPECT_NE(registry.get_validator(uint32, "hour", "HOUR", audit, flags), nullptr);
}

TEST(Registry, TableIsParsedOnceForManyValidations)
{
    auto reads = std::make_shared<std::atomic<int>>(0);
    data_type_registry registry(fixture_source(string_table, reads));
    EXPECT_EQ(*reads, 0);
    recording_auditor audit;
    for (int i = 0; i < 100; ++i) {
        unsigned flags = 0;
        registry.get_validator(uint32, "hour", "HOUR", audit, flags);
        registry.get_validator(uint32, "volume", "PERCENT", audit, flags);
    }
    EXPECT_EQ(*reads, 1);
}

// Warm lookups are answered from the thread's memory: it must never hand out
// another registry's validator, also not one of a registry that lived at the
// same address before.
TEST(Registry, ThreadMemoryKeepsRegistriesApart)
{
    auto table = [](int maximum) {
        return R"({"HOUR": {"unit": "h", "min": 0, "max": )" + std::to_string(maximum) +
               R"(, "regex": "[0-9]+", "precision": 1}})";
    };
    data_type_registry five(fixture_source(table(5)));
    data_type_registry seven(fixture_source(table(7)));
    for (int round = 0; round < 3; ++round) {
        unsigned flags = 0;
        const unsigned a =
            maximum_of(five.get_validator(uint32, "h", "HOUR", default_auditor(), flags));
        const unsigned b =
            maximum_of(seven.get_validator(uint32, "h", "HOUR", default_auditor(), flags));
        EXPECT_EQ(a, 5u);
        EXPECT_EQ(b, 7u);
    }
    for (int maximum = 10; maximum < 15; ++maximum) {
        data_type_registry fresh(fixture_source(table(maximum)));
        unsigned flags = 0;
        EXPECT_EQ(maximum_of(fresh.get_validator(uint32, "h", "HOUR", default_auditor(), flags)),
                  static_cast<unsigned>(maximum));
        EXPECT_EQ(maximum_of(fresh.get_validator(uint32, "h", "HOUR", default_auditor(), flags)),
                  static_cast<unsigned>(maximum));
    }
}

// The cache is keyed by name: a validator serves the field type it was first
// built for, and a field of another type gets a type mismatch from it.
TEST(Registry, DataTypeStaysBoundToItsFirstFieldType)
{
    data_type_registry registry(fixture_source(string_table));
    unsigned flags = 0;
    const auto* first = registry.get_validator(uint32, "a", "HOUR", default_auditor(), flags);
    const auto* second = registry.get_validator(int32, "b", "HOUR", default_auditor(), flags);
    ASSERT_EQ(first, second);
    EXPECT_EQ(second->type(), uint32);
    EXPECT_THROW(second->check(5, "b", default_auditor(), 0), introspection::type_mismatch);
}

} // namespace
} // namespace zarvo::test
