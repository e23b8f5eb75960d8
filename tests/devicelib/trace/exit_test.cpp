#include "devicelib/trace/trace.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct traces_when_destroyed {
    ~traces_when_destroyed() { ZARVO_TRACE("exit_test", "%s", "traced during exit"); }
};

// The tracing object is built before the registry's first use, so it is
// destroyed after any ordinary static the registry might be made of.
[[noreturn]] void trace_from_static_destructor()
{
    static traces_when_destroyed tracer;
    zarvo::add_trace_logger(zarvo::default_trace_logger());
    std::exit(0);
}

TEST(TraceAtExit, StaticDestructorMayTraceDuringExit)
{
    EXPECT_EXIT(trace_from_static_destructor(), ::testing::ExitedWithCode(0),
                "exit_test: traced during exit");
}

} // namespace
