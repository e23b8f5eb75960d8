// The shared library takes the message runtime's log lines into the trace as
// soon as it is loaded: a device answering with damaged files writes nothing
// to the standard error stream.
#include "devicelib/proto/device_messages.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ProtobufRuntimeLog = zarvo::test::trace_fixture;

TEST_F(ProtobufRuntimeLog, ParseFailuresAreTracedOnceASecondAndNeverPrinted)
{
    testing::internal::CaptureStderr();
    for (int i = 0; i < 1000; ++i) {
        data::PbVersion version;
        EXPECT_FALSE(version.ParseFromString(std::string()));
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");
    std::size_t traced = 0;
    for (const auto& m : log.messages())
        traced += m.find("Can't parse message of type") != std::string::npos;
    EXPECT_GE(traced, 1u);
    EXPECT_LT(traced, 10u); // a thousand failures within far fewer seconds
}

} // namespace
