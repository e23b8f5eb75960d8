#pragma once

#include "devicelib/trace/trace.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace zarvo::test {

// A trace logger that keeps every line it gets.
class recording_logger : public zarvo::trace_logger {
public:
    void write(const std::string& line) override;

    // The whole lines, time of day included.
    std::vector<std::string> lines() const;
    // The lines without time and source location: "<function>: <message>",
    // which is what tests usually compare.
    std::vector<std::string> messages() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// "HH:MM:SS.mmm file@line func: message" -> "func: message".
std::string strip_time_and_location(const std::string& line);

// Registers a recording logger for the test and clears the trace registry
// in teardown, so no test leaves a dangling logger behind.
class trace_fixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    recording_logger log;
};

} // namespace zarvo::test
