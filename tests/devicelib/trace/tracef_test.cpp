#include "devicelib/errors/errors.h"
#include "devicelib/trace/trace.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using zarvo::test::recording_logger;
using zarvo::test::trace_fixture;

using Tracef = trace_fixture;

TEST_F(Tracef, MessageLimitIs511Characters)
{
    const std::string fits(511, 'a');
    const std::string too_long(512, 'b');
    ZARVO_TRACE("t", "%s", fits.c_str());
    ZARVO_TRACE("t", "%s", too_long.c_str());
    ZARVO_TRACE("t", "%s%d", fits.c_str(), 7);
    const std::vector<std::string> expected = {
        "t: " + fits,
        "t: <tracef failed to format message>",
        "t: <tracef failed to format message>",
    };
    EXPECT_EQ(log.messages(), expected);
}

TEST_F(Tracef, LineCarriesSourceFileNameAndNoLineEnd)
{
    const unsigned line = __LINE__ + 1;
    ZARVO_TRACE("zarvo::demo", "value %d of %s", 3, "x");
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::regex pattern("[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} tracef_test\\.cpp@" +
                             std::to_string(line) + " zarvo::demo: value 3 of x");
    EXPECT_TRUE(std::regex_match(lines[0], pattern)) << lines[0];
}

TEST_F(Tracef, Registry)
{
    recording_logger other;
    zarvo::add_trace_logger(&log); // already registered by the fixture
    zarvo::add_trace_logger(&other);
    zarvo::add_trace_logger(nullptr);
    ZARVO_TRACE("t", "one");
    EXPECT_EQ(log.messages(), std::vector<std::string>{"t: one"});
    EXPECT_EQ(other.messages(), std::vector<std::string>{"t: one"});

    recording_logger unknown;
    zarvo::remove_trace_logger(&unknown);
    zarvo::remove_trace_logger(nullptr);
    zarvo::remove_trace_logger(&other);
    ZARVO_TRACE("t", "two");
    EXPECT_EQ(log.messages().size(), 2u);
    EXPECT_EQ(other.messages().size(), 1u);

    zarvo::set_trace_logger(&other); // replaces every logger
    ZARVO_TRACE("t", "three");
    EXPECT_EQ(log.messages().size(), 2u);
    EXPECT_EQ(other.messages().size(), 2u);

    zarvo::add_trace_logger(&log);
    zarvo::set_trace_logger(nullptr); // clears all
    ZARVO_TRACE("t", "four");
    EXPECT_EQ(log.messages().size(), 2u);
    EXPECT_EQ(other.messages().size(), 2u);

    zarvo::add_trace_logger(&log);
    zarvo::clear_trace_loggers();
    ZARVO_TRACE("t", "five");
    EXPECT_EQ(log.messages().size(), 2u);
}

// 8 threads trace at once: every logger gets every line whole, and all
// loggers see the same order.
TEST_F(Tracef, ConcurrentTracesReachEveryLoggerWholeAndInOneOrder)
{
    recording_logger second;
    zarvo::add_trace_logger(&second);
    constexpr int threads = 8;
    constexpr int per_thread = 1000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            for (int i = 0; i < per_thread; ++i)
                ZARVO_TRACE("worker", "thread %d trace %d end", t, i);
        });
    }
    for (std::thread& w : workers)
        w.join();

    const std::vector<std::string> first_lines = log.messages();
    ASSERT_EQ(first_lines.size(), static_cast<std::size_t>(threads * per_thread));
    EXPECT_EQ(first_lines, second.messages());
    std::vector<int> next(threads, 0);
    for (const std::string& line : first_lines) {
        int t = -1, i = -1;
        char end[4] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "worker: thread %d trace %d %3s", &t, &i, end), 3)
            << line;
        ASSERT_STREQ(end, "end") << line;
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        EXPECT_EQ(i, next[t]++) << line; // each thread's lines in its own order
    }
}

// A logger that fails: it records, then throws.
class throwing_logger : public zarvo::trace_logger {
public:
    void write(const std::string&) override
    {
        ++calls;
        throw std::runtime_error("sink broken");
    }
    int calls = 0;
};

TEST(TraceFaults, ThrowingLoggerDoesNotReplaceTheErrorNorStarveOthers)
{
    // Registry order is by address; the failing logger comes first.
    struct pair {
        throwing_logger failing;
        recording_logger healthy;
    } loggers;
    ASSERT_LT(static_cast<void*>(&loggers.failing), static_cast<void*>(&loggers.healthy));
    zarvo::set_trace_logger(&loggers.failing);
    zarvo::add_trace_logger(&loggers.healthy);

    try {
        throw zarvo::invalid_parameter();
    } catch (const zarvo::invalid_parameter& e) {
        EXPECT_STREQ(e.what(), "Invalid parameter.");
    }
    EXPECT_EQ(loggers.failing.calls, 1);
    EXPECT_EQ(
        loggers.healthy.messages(),
        std::vector<std::string>{
            "zarvo::invalid_parameter::invalid_parameter: WARNING: Parameter not specified!"});
    zarvo::clear_trace_loggers();
}

// A logger that traces and rearranges the registry from inside write().
// Without protection this would deadlock on the trace mutex.
class meddling_logger : public recording_logger {
public:
    void write(const std::string& line) override
    {
        recording_logger::write(line);
        ZARVO_TRACE("meddler", "nested");
        zarvo::add_trace_logger(&bystander);
        zarvo::remove_trace_logger(this);
        zarvo::set_trace_logger(&bystander);
        zarvo::clear_trace_loggers();
    }
    recording_logger bystander;
};

TEST(TraceFaults, LoggerThatTracesOrChangesTheRegistryIsIgnoredForThatCall)
{
    meddling_logger meddler;
    zarvo::set_trace_logger(&meddler);
    ZARVO_TRACE("t", "first");
    ZARVO_TRACE("t", "second");
    zarvo::clear_trace_loggers();
    // Still registered, no nested line, the bystander never joined.
    EXPECT_EQ(meddler.messages(), (std::vector<std::string>{"t: first", "t: second"}));
    EXPECT_TRUE(meddler.bystander.lines().empty());
}

TEST(TraceFaults, NullTextsAreNotDereferenced)
{
    recording_logger log;
    zarvo::set_trace_logger(&log);
    zarvo::tracef(nullptr, 1, nullptr, nullptr);
    zarvo::clear_trace_loggers();
    EXPECT_EQ(log.messages(), std::vector<std::string>{": "});
}

// Runs `body` with standard error sent into a pipe and returns what it got.
std::string capture_stderr(const std::function<void()>& body)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe");
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    ::close(fds[1]);
    body();
    ::dup2(saved, STDERR_FILENO); // closes the pipe's last write end
    ::close(saved);
    std::string got;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        got.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    return got;
}

TEST(StderrLogger, WritesTheLineAndANewlineToDescriptor2)
{
    zarvo::trace_logger* logger = zarvo::default_trace_logger();
    EXPECT_EQ(capture_stderr([&] { logger->write("12:00:00.000 a.cpp@1 f: to stderr"); }),
              "12:00:00.000 a.cpp@1 f: to stderr\n");
    EXPECT_EQ(zarvo::default_trace_logger(), logger);
}

TEST(StderrLogger, IsNotRegisteredByAskingForIt)
{
    recording_logger log;
    const std::string err = capture_stderr([&] {
        zarvo::default_trace_logger();
        zarvo::add_trace_logger(&log);
        ZARVO_TRACE("t", "only here");
        zarvo::clear_trace_loggers();
    });
    EXPECT_EQ(err, "");
    EXPECT_EQ(log.messages(), std::vector<std::string>{"t: only here"});
}

} // namespace
