// The process-wide registry that validate() uses. Every test runs in a
// process of its own, so each starts with nothing built.
#include "devicelib/errors/general_errors.h"
#include "devicelib/introspection/errors.h"
#include "devicelib/introspection/validate.h"
#include "tests/devicelib/introspection/clock_messages.h"
#include "tests/devicelib/introspection/thrown.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
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

// A thread that validated before exit() validates again after the process's
// statics have been destroyed: an exit handler registered before the first
// validation runs after them and lets it go on.
std::mutex exit_mutex;
std::condition_variable exit_changed;
int exit_stage = 0; // 1: validated once, 2: statics gone, 3: validated again
bool second_result = false;

void wait_for_stage(std::unique_lock<std::mutex>& lock, int stage)
{
    exit_changed.wait(lock, [&] { return exit_stage >= stage; });
}

void set_stage(int stage)
{
    std::lock_guard<std::mutex> lock(exit_mutex);
    exit_stage = stage;
    exit_changed.notify_all();
}

TEST(ProcessRegistry, AThreadStillValidatingAtExitUsesLiveValidators)
{
    EXPECT_EXIT(
        {
            std::atexit([] {
                set_stage(2);
                std::unique_lock<std::mutex> lock(exit_mutex);
                wait_for_stage(lock, 3);
                std::_Exit(second_result ? 0 : 1);
            });
            std::thread([] {
                validate(complete_time(), default_auditor());
                set_stage(1);
                {
                    std::unique_lock<std::mutex> lock(exit_mutex);
                    wait_for_stage(lock, 2);
                }
                auto time = complete_time();
                time.set_hour(24);
                bool refused = false;
                try {
                    validate(time, default_auditor());
                } catch (const introspection::limit_exceeded&) {
                    refused = true;
                }
                second_result = refused && validate(complete_time(), default_auditor()) == 0u;
                set_stage(3);
            }).detach();
            {
                std::unique_lock<std::mutex> lock(exit_mutex);
                wait_for_stage(lock, 1);
            }
            std::exit(2);
        },
        ::testing::ExitedWithCode(0), "");
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
