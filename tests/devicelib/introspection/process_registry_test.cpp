// The process-wide registry that validate() uses. Every test runs in a
// process of its own, so each starts with nothing built.
#include "devicelib/errors/general_errors.h"
#include "devicelib/introspection/errors.h"
#include "devicelib/introspection/validate.h"
#include "tests/devicelib/introspection/clock_messages.h"
#include "tests/devicelib/introspection/thrown.h"

#include <gtest/gtest.h>

#include <vector>

namespace zarvo::test {
namespace {

using introspection::auditor;
using introspection::custom_auditor;
using introspection::default_auditor;
using introspection::validate;
namespace issue = introspection::issue;

TEST(ProcessRegistry, FirstValidationReportsMissingExpressionsOnly)
{
    EXPECT_EQ(validate(complete_time(), default_auditor()), issue::missing_regex);
    EXPECT_EQ(validate(complete_time(), default_auditor()), 0u);
    EXPECT_EQ(validate(complete_date(), default_auditor()), issue::missing_regex);
    EXPECT_EQ(validate(complete_date(), default_auditor()), 0u);
}

TEST(ProcessRegistry, RefusingEveryIssueStopsAtTheFirstBuild)
{
    PbTime time;
    time.set_hour(3);
    custom_auditor refuse_all(0);
    const auto e = thrown<introspection::missing_regex>([&] { validate(time, refuse_all); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->path(), "hour");
    EXPECT_EQ(e->value_type(), "HOUR");
}

TEST(ProcessRegistry, DefaultAuditorRefusesValuesOutOfRange)
{
    auto time = complete_time();
    time.set_hour(24);
    EXPECT_THROW(validate(time, default_auditor()), introspection::limit_exceeded);
    auto date = complete_date();
    date.set_month(0);
    EXPECT_THROW(validate(date, default_auditor()), introspection::limit_exceeded);
}

// Starts a validation from inside a lookup; gives ctest's time-out something
// to catch if that ever waited for itself.
class reentering_auditor : public auditor {
public:
    bool missing_regex(int, const std::string&, const std::string&, unsigned) override
    {
        PbDate date;
        date.set_year(1);
        validate(date, default_auditor());
        return true;
    }
};

TEST(ProcessRegistry, ValidationStartedInsideALookupFailsWithoutHanging)
{
    reentering_auditor reentering;
    PbTime time;
    time.set_hour(3);
    const auto e = thrown<invalid_function>([&] { validate(time, reentering); });
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->what(), "Invalid function: Validation started during a value-type lookup..");
    // Nothing was left locked or marked.
    EXPECT_EQ(validate(complete_time(), default_auditor()), issue::missing_regex);
    EXPECT_EQ(validate(complete_date(), default_auditor()), issue::missing_regex);
}

// Starts a validation between fields, where no lookup is running.
class nesting_auditor : public auditor {
public:
    unsigned inner = 0;
    int started = 0;
    bool indenting(int, const std::string& path, const std::string&, unsigned) override
    {
        if (path == "minute") {
            ++started;
            inner |= validate(complete_date(), default_auditor());
        }
        return true;
    }
};

TEST(ProcessRegistry, ValidationStartedFromIndentingWorks)
{
    nesting_auditor nesting;
    EXPECT_EQ(validate(complete_time(), nesting), issue::missing_regex);
    EXPECT_EQ(nesting.started, 1);
    EXPECT_EQ(nesting.inner, issue::missing_regex);
}

TEST(ProcessRegistry, VolumeHasNoTableEntry)
{
    PbVolume volume;
    volume.set_volume(40);
    EXPECT_THROW(validate(volume, default_auditor()), introspection::unknown_type);
}

} // namespace
} // namespace zarvo::test
