// The validation walk over the device's clock messages and a test schema,
// each test with a registry of its own.
#include "devicelib/errors/general_errors.h"
#include "devicelib/introspection/data_type_registry.h"
#include "devicelib/introspection/errors.h"
#include "devicelib/introspection/validate_fields.h"
#include "tests/devicelib/introspection/clock_messages.h"
#include "tests/devicelib/introspection/fixture_table.h"
#include "tests/devicelib/introspection/recording_auditor.h"
#include "tests/devicelib/introspection/thrown.h"

#include "structures.pb.h"
#include "validation_sample.pb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zarvo::test {
namespace {

using introspection::custom_auditor;
using introspection::data_type_registry;
using introspection::default_auditor;
using introspection::validate;
namespace issue = introspection::issue;
using calls = std::vector<std::string>;

// Every property present, so building a validator reports nothing.
const char* const complete_table = R"({
    "YEAR": {"unit": "Y", "min": 0, "max": 9999, "regex": "[0-9]+", "precision": 1},
    "MONTH": {"unit": "M", "min": 1, "max": 12, "regex": "[0-9]+", "precision": 1},
    "DAY": {"unit": "D", "min": 1, "max": 31, "regex": "[0-9]+", "precision": 1},
    "HOUR": {"unit": "h", "min": 0, "max": 23, "regex": "[0-9]+", "precision": 1},
    "MINUTE": {"unit": "m", "min": 0, "max": 59, "regex": "[0-9]+", "precision": 1},
    "SECOND": {"unit": "s", "min": 0, "max": 59, "regex": "[0-9]+", "precision": 1},
    "MILLIS": {"unit": "z", "min": 0, "max": 999, "regex": "[0-9]+", "precision": 1},
    "FITNESS_CLASS": {"unit": "", "min": 1, "max": 8, "regex": "[a-z]*"}
})";

class Walk : public ::testing::Test {
protected:
    data_type_registry registry{fixture_source(complete_table)};
    data_type_registry builtin{introspection::builtin_table_source()};
    recording_auditor audit;
};

TEST_F(Walk, VisitsEverySetFieldInSchemaOrder)
{
    PbSystemDateTime clock;
    clock.mutable_date()->set_year(2024);
    clock.mutable_date()->set_month(1);
    clock.mutable_date()->set_day(2);
    *clock.mutable_time() = complete_time();
    clock.set_trusted(true);
    EXPECT_EQ(validate(clock, audit, registry), 0u);
    EXPECT_EQ(audit.calls, (calls{
                               "indenting(10, date, )",
                               "indenting(3, date.year, YEAR)",
                               "outdenting(3, date.year, YEAR)",
                               "indenting(3, date.month, MONTH)",
                               "outdenting(3, date.month, MONTH)",
                               "indenting(3, date.day, DAY)",
                               "outdenting(3, date.day, DAY)",
                               "outdenting(10, date, )",
                               "indenting(10, time, )",
                               "indenting(3, time.hour, HOUR)",
                               "outdenting(3, time.hour, HOUR)",
                               "indenting(3, time.minute, MINUTE)",
                               "outdenting(3, time.minute, MINUTE)",
                               "indenting(3, time.seconds, SECOND)",
                               "outdenting(3, time.seconds, SECOND)",
                               "indenting(3, time.millis, MILLIS)",
                               "outdenting(3, time.millis, MILLIS)",
                               "outdenting(10, time, )",
                               "indenting(7, trusted, )",
                               "outdenting(7, trusted, )",
                           }));
}

TEST_F(Walk, EmptyMessageMakesNoCall)
{
    EXPECT_EQ(validate(PbDuration(), audit, registry), 0u);
    EXPECT_TRUE(audit.calls.empty());
}

TEST_F(Walk, MissingRequiredValueIsReportedWithItsDataType)
{
    PbTime time;
    time.set_minute(4);
    time.set_seconds(5);
    EXPECT_EQ(validate(time, audit, registry), issue::missing_value);
    EXPECT_EQ(audit.calls.front(), "missing_value(3, hour, HOUR)");
    const auto e =
        thrown<introspection::missing_value>([&] { validate(time, default_auditor(), registry); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data_type(), 3);
    EXPECT_EQ(e->path(), "hour");
    EXPECT_EQ(e->value_type(), "HOUR");

    // Without a data type the error names none.
    PbSystemDateTime clock;
    clock.set_trusted(true);
    const auto untyped =
        thrown<introspection::missing_value>([&] { validate(clock, default_auditor(), registry); });
    ASSERT_TRUE(untyped);
    EXPECT_EQ(untyped->path(), "date");
    EXPECT_EQ(untyped->value_type(), "");
    EXPECT_STREQ(untyped->what(), "Missing 'message' value at 'date'.");
}

TEST_F(Walk, ValueOutsideItsLimitsIsRefusedByDefault)
{
    auto time = complete_time();
    time.set_millis(1000);
    const auto e =
        thrown<introspection::limit_exceeded>([&] { validate(time, default_auditor(), builtin); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->path(), "millis");
    EXPECT_EQ(e->minimum<unsigned int>(), 0u);
    EXPECT_EQ(e->maximum<unsigned int>(), 999u);
}

TEST_F(Walk, NameGivenToAMessageWithoutInheritedFieldIsAMismatch)
{
    EXPECT_EQ(validate(complete_time(), "HOUR", audit, registry), issue::type_mismatch);
    EXPECT_EQ(audit.calls.size(), 9u);
    EXPECT_EQ(audit.calls.back(), "type_mismatch(10, 0, , HOUR)");
    const auto e = thrown<introspection::type_mismatch>(
        [&] { validate(complete_time(), "HOUR", default_auditor(), registry); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data_type(), 10);
    EXPECT_EQ(e->path(), "");
    EXPECT_EQ(e->value_type(), "HOUR");
}

TEST_F(Walk, DataTypeWithoutTableEntryIsUnknown)
{
    PbVolume volume;
    volume.set_volume(50);
    EXPECT_THROW(validate(volume, default_auditor(), builtin), introspection::unknown_type);
    EXPECT_EQ(validate(volume, audit, builtin), issue::unknown_type);
    EXPECT_EQ(audit.calls,
              (calls{"indenting(3, volume, PERCENT)", "unknown_type(3, volume, PERCENT)",
                     "outdenting(3, volume, PERCENT)"}));
}

// POWER reaches from -2000 to 2000 and sits on unsigned fields: they take
// 0 to 2000 and never a wrapped-round minimum.
TEST_F(Walk, PowerZoneOnUnsignedFieldsKeepsItsUpperLimit)
{
    PbPowerZone zone;
    zone.set_lower_limit(0);
    zone.set_higher_limit(2000);
    EXPECT_EQ(validate(zone, default_auditor(), builtin), issue::missing_regex);
    zone.set_higher_limit(2001);
    const auto e =
        thrown<introspection::limit_exceeded>([&] { validate(zone, default_auditor(), builtin); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->path(), "higher_limit");
    EXPECT_EQ(e->minimum<unsigned int>(), 0u);
    EXPECT_EQ(e->maximum<unsigned int>(), 2000u);
}

TEST_F(Walk, InheritedFieldTakesUpTheDataTypeOfItsMessageField)
{
    zarvo_validation_test::Sample sample;
    sample.mutable_held()->set_value(24);
    sample.mutable_held()->set_minute(5);
    EXPECT_EQ(validate(sample, audit, registry), issue::limit_exceeded);
    EXPECT_EQ(audit.calls, (calls{
                               "indenting(10, held, HOUR)",
                               "indenting(3, held.value, HOUR)",
                               "limit_exceeded(24, held.value, HOUR, 0, 23)",
                               "outdenting(3, held.value, HOUR)",
                               "indenting(3, held.minute, MINUTE)",
                               "outdenting(3, held.minute, MINUTE)",
                               "outdenting(10, held, HOUR)",
                           }));
    // Taken up even when the INHERITED field is not set.
    audit.calls.clear();
    sample.mutable_held()->clear_value();
    EXPECT_EQ(validate(sample, audit, registry), 0u);
    EXPECT_TRUE(audit.calls_to("type_mismatch").empty());
}

TEST_F(Walk, InheritedBoolAndEnumFieldsTakeItUpAndAreMismatches)
{
    zarvo_validation_test::Sample sample;
    sample.mutable_flagged()->set_flag(true);
    sample.mutable_flagged()->set_choice(zarvo_validation_test::InheritingFlags::SECOND);
    EXPECT_EQ(validate(sample, audit, registry), issue::type_mismatch);
    EXPECT_EQ(audit.calls, (calls{
                               "indenting(10, flagged, HOUR)",
                               "indenting(7, flagged.flag, HOUR)",
                               "type_mismatch(7, 0, flagged.flag, HOUR)",
                               "outdenting(7, flagged.flag, HOUR)",
                               "indenting(8, flagged.choice, HOUR)",
                               "type_mismatch(8, 0, flagged.choice, HOUR)",
                               "outdenting(8, flagged.choice, HOUR)",
                               "outdenting(10, flagged, HOUR)",
                           }));
    const auto e = thrown<introspection::type_mismatch>(
        [&] { validate(sample, default_auditor(), registry); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->path(), "flagged.flag");
    EXPECT_EQ(e->value_type(), "HOUR");

    // Unset, they still take the data type up: no mismatch of the message.
    audit.calls.clear();
    sample.mutable_flagged()->Clear();
    EXPECT_EQ(validate(sample, audit, registry), 0u);
    EXPECT_EQ(audit.calls,
              (calls{"indenting(10, flagged, HOUR)", "outdenting(10, flagged, HOUR)"}));

    // At the top, nothing is handed down: the effective name is empty.
    audit.calls.clear();
    zarvo_validation_test::InheritingFlags top;
    top.set_choice(zarvo_validation_test::InheritingFlags::FIRST);
    EXPECT_EQ(validate(top, audit, registry), issue::type_mismatch);
    EXPECT_EQ(audit.calls_to("type_mismatch"), (calls{"type_mismatch(8, 0, choice, )"}));
}

TEST_F(Walk, DataTypeNotTakenUpIsReportedAfterTheMessagesFields)
{
    zarvo_validation_test::Sample sample;
    sample.mutable_plain()->set_minute(5);
    EXPECT_EQ(validate(sample, audit, registry), issue::type_mismatch);
    EXPECT_EQ(audit.calls, (calls{
                               "indenting(10, plain, HOUR)",
                               "indenting(3, plain.minute, MINUTE)",
                               "outdenting(3, plain.minute, MINUTE)",
                               "type_mismatch(10, 0, plain, HOUR)",
                               "outdenting(10, plain, HOUR)",
                           }));
    const auto e = thrown<introspection::type_mismatch>(
        [&] { validate(sample, default_auditor(), registry); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->path(), "plain");
    EXPECT_EQ(e->value_type(), "HOUR");
}

TEST_F(Walk, ScalarsWithoutDataType)
{
    zarvo_validation_test::Untyped untyped;
    untyped.set_number(1);
    untyped.add_numbers(1);
    untyped.add_numbers(2);
    untyped.set_orphan(3);
    untyped.add_orphans(4);
    untyped.add_orphans(5);
    EXPECT_EQ(validate(untyped, audit, registry), issue::missing_type | issue::unknown_type);
    EXPECT_EQ(audit.calls, (calls{
                               "indenting(1, number, )",
                               "missing_type(1, number)",
                               "outdenting(1, number, )",
                               "missing_type(1, numbers)",
                               "indenting(3, orphan, )",
                               "unknown_type(3, orphan, INHERITED)",
                               "outdenting(3, orphan, )",
                               "unknown_type(3, orphans, INHERITED)",
                           }));
    // The default policy goes on past a missing type but not an unknown one,
    // and an untyped repeated field is reported even when it is empty.
    untyped.clear_orphan();
    untyped.clear_orphans();
    audit.calls.clear();
    EXPECT_EQ(validate(untyped, audit, registry), issue::missing_type | issue::unknown_type);
    EXPECT_EQ(audit.calls_to("unknown_type"), (calls{"unknown_type(3, orphans, INHERITED)"}));
    for (const bool orphan_set : {true, false}) {
        if (orphan_set)
            untyped.set_orphan(3);
        else
            untyped.clear_orphan();
        const auto e = thrown<introspection::unknown_type>(
            [&] { validate(untyped, default_auditor(), registry); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->value_type(), "INHERITED");
        EXPECT_EQ(e->path(), orphan_set ? "orphan" : "orphans");
    }
}

TEST_F(Walk, TypedBoolIsAMismatchPerElement)
{
    zarvo_validation_test::Sample sample;
    sample.set_flag(true);
    sample.add_flags(true);
    sample.add_flags(false);
    sample.set_plain_flag(true);
    EXPECT_EQ(validate(sample, audit, registry), issue::type_mismatch);
    EXPECT_EQ(audit.calls, (calls{
                               "indenting(7, flag, DAY)",
                               "type_mismatch(7, 0, flag, DAY)",
                               "outdenting(7, flag, DAY)",
                               "indenting(7, flags[0], DAY)",
                               "type_mismatch(7, 0, flags[0], DAY)",
                               "outdenting(7, flags[0], DAY)",
                               "indenting(7, flags[1], DAY)",
                               "type_mismatch(7, 0, flags[1], DAY)",
                               "outdenting(7, flags[1], DAY)",
                               "indenting(7, plain_flag, )",
                               "outdenting(7, plain_flag, )",
                           }));
    EXPECT_THROW(validate(sample, default_auditor(), registry), introspection::type_mismatch);
}

TEST_F(Walk, RepeatedElementsAreCheckedAtTheirElementPaths)
{
    // HOUR without an expression, so its one build shows where it happened.
    data_type_registry lookups(fixture_source(R"({
        "HOUR": {"unit": "h", "min": 0, "max": 23, "precision": 1},
        "SECOND": {"unit": "s", "min": 0, "max": 59, "precision": 1},
        "MINUTE": {"unit": "m", "min": 0, "max": 59, "precision": 1}
    })"));
    zarvo_validation_test::Sample sample;
    sample.add_hours(1);
    sample.add_hours(30);
    sample.add_seconds()->set_value(7);
    sample.add_seconds()->set_value(70);
    EXPECT_EQ(validate(sample, audit, lookups), issue::missing_regex | issue::limit_exceeded);
    EXPECT_EQ(audit.calls, (calls{
                               "missing_regex(3, hours, HOUR)",
                               "indenting(3, hours[0], HOUR)",
                               "outdenting(3, hours[0], HOUR)",
                               "indenting(3, hours[1], HOUR)",
                               "limit_exceeded(30, hours[1], HOUR, 0, 23)",
                               "outdenting(3, hours[1], HOUR)",
                               "indenting(10, seconds[0], SECOND)",
                               "indenting(3, seconds[0].value, SECOND)",
                               "missing_regex(3, seconds[0].value, SECOND)",
                               "outdenting(3, seconds[0].value, SECOND)",
                               "outdenting(10, seconds[0], SECOND)",
                               "indenting(10, seconds[1], SECOND)",
                               "indenting(3, seconds[1].value, SECOND)",
                               "limit_exceeded(70, seconds[1].value, SECOND, 0, 59)",
                               "outdenting(3, seconds[1].value, SECOND)",
                               "outdenting(10, seconds[1], SECOND)",
                           }));
}

TEST_F(Walk, EmptyTypedRepeatedFieldStillBuildsItsValidator)
{
    data_type_registry lookups(fixture_source(R"({"HOUR": {"unit": "h", "min": 0, "max": 23}})"));
    EXPECT_EQ(validate(zarvo_validation_test::Sample(), audit, lookups),
              issue::missing_regex | issue::missing_precision);
    EXPECT_EQ(audit.calls,
              (calls{"missing_regex(3, hours, HOUR)", "missing_precision(3, hours, HOUR)"}));
}

TEST_F(Walk, StringFieldIsCheckedByLength)
{
    zarvo_validation_test::Sample sample;
    sample.set_label("");
    EXPECT_EQ(validate(sample, audit, registry), issue::limit_exceeded);
    EXPECT_EQ(audit.calls_to("limit_exceeded"),
              (calls{"limit_exceeded(, label, FITNESS_CLASS, 1, 8)"}));
    sample.set_label("abc");
    EXPECT_EQ(validate(sample, default_auditor(), registry), 0u);
    sample.set_label("ABC");
    EXPECT_THROW(validate(sample, default_auditor(), registry), introspection::regex_mismatch);
}

TEST_F(Walk, RefusedIndentingOrOutdentingCancels)
{
    struct row {
        const char* callback;
        bool element;
        int type;
        const char* path;
        const char* name;
    };
    const row rows[] = {
        {"indenting", false, 3, "hour", "HOUR"},
        {"outdenting", false, 3, "hour", "HOUR"},
        {"indenting", true, 3, "hours[0]", "HOUR"},
        {"outdenting", true, 3, "hours[0]", "HOUR"},
    };
    for (const auto& r : rows) {
        recording_auditor refusing;
        refusing.answers[r.callback] = false;
        zarvo_validation_test::Sample sample;
        sample.add_hours(1);
        const auto e = thrown<introspection::validation_canceled>([&] {
            if (r.element)
                validate(sample, refusing, registry);
            else
                validate(complete_time(), refusing, registry);
        });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->data_type(), r.type) << r.path;
        EXPECT_EQ(e->path(), r.path);
        EXPECT_EQ(e->value_type(), r.name);
        EXPECT_STREQ(e->what(), "Validation canceled.");
    }
}

TEST_F(Walk, ExceptionFromACallbackComesOutUnchanged)
{
    struct own_failure {
        int code;
    };
    audit.before_answer = [](const std::string& callback) {
        if (callback == "outdenting")
            throw own_failure{42};
    };
    const auto e = thrown<own_failure>([&] { validate(complete_time(), audit, registry); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 42);
}

TEST_F(Walk, AcceptingEveryIssueReturnsExactlyTheKindsMet)
{
    custom_auditor accept_all(0x1FFFF);
    PbTime time;
    time.set_hour(24);
    time.set_minute(4);
    EXPECT_EQ(validate(time, accept_all, builtin),
              issue::missing_regex | issue::limit_exceeded | issue::missing_value);
    EXPECT_EQ(validate(time, accept_all, builtin), issue::limit_exceeded | issue::missing_value);

    zarvo_validation_test::Sample sample;
    sample.set_flag(true);
    sample.mutable_plain();
    EXPECT_EQ(validate(sample, accept_all, registry), issue::type_mismatch);
}

TEST_F(Walk, NestingBeyondTheLimitIsRefused)
{
    auto chain = [](unsigned levels) {
        zarvo_validation_test::Node top;
        auto* node = &top;
        for (unsigned i = 0; i < levels; ++i)
            node = node->mutable_next();
        node->set_hour(5);
        return top;
    };
    EXPECT_EQ(validate(chain(introspection::max_validation_depth), default_auditor(), registry),
              0u);
    const auto e = thrown<invalid_function>([&] {
        validate(chain(introspection::max_validation_depth + 1), default_auditor(), registry);
    });
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->what(), "Invalid function: Message nesting deeper than 100 levels..");
}

} // namespace
} // namespace zarvo::test
