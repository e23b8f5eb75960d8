// The router that takes the message runtime's log lines into the trace.
#include "devicelib/trace/protobuf_log.h"

#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using zarvo::trace_detail::protobuf_log_router;

class ProtobufLog : public zarvo::test::trace_fixture {
protected:
    protobuf_log_router::clock::time_point now{};
    protobuf_log_router router{[this] { return now; }};
};

TEST_F(ProtobufLog, OneLinePerKindASecondWithTheCountDropped)
{
    struct step {
        std::chrono::milliseconds advance;
        const char* file;
        int line;
        const char* text;
    };
    const std::vector<step> steps = {
        {0ms, "parse.cc", 10, "first"},    // traced
        {100ms, "parse.cc", 10, "second"}, // dropped
        {100ms, "other.cc", 5, "elsewhere"}, {100ms, "parse.cc", 11, "another line"},
        {600ms, "parse.cc", 10, "third"},   // 800 ms after the first: dropped
        {200ms, "parse.cc", 10, "fourth"},  // a second after the first: traced
        {999ms, "parse.cc", 10, "fifth"},   // dropped
        {1ms, "parse.cc", 10, "sixth"},     // traced, one dropped
        {5000ms, "parse.cc", 10, "seventh"} // nothing dropped since
    };
    for (const step& s : steps) {
        now += s.advance;
        router.route(2, s.file, s.line, s.text);
    }
    const std::vector<std::string> expected = {
        "google::protobuf: error parse.cc:10: first",
        "google::protobuf: error other.cc:5: elsewhere",
        "google::protobuf: error parse.cc:11: another line",
        "google::protobuf: error parse.cc:10: fourth (2 more like it dropped)",
        "google::protobuf: error parse.cc:10: sixth (1 more like it dropped)",
        "google::protobuf: error parse.cc:10: seventh",
    };
    EXPECT_EQ(log.messages(), expected);
}

TEST_F(ProtobufLog, LevelsAndLongOrMissingTextsStayOneLine)
{
    router.route(0, "a.cc", 1, "info");
    router.route(1, "a.cc", 2, "warning");
    router.route(3, nullptr, 3, std::string(2000, 'x'));
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "google::protobuf: info a.cc:1: info");
    EXPECT_EQ(messages[1], "google::protobuf: warning a.cc:2: warning");
    EXPECT_EQ(messages[2], "google::protobuf: fatal :3: " + std::string(300, 'x'));
}

} // namespace
