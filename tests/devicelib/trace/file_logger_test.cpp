#include "devicelib/trace/trace.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using zarvo::test::temp_dir;

std::string read_file(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class FileLogger : public ::testing::Test {
protected:
    void TearDown() override { zarvo::clear_trace_loggers(); }
    temp_dir dir;
};

TEST_F(FileLogger, CreatesMissingDirectoriesAndWritesOneLinePerTrace)
{
    const std::filesystem::path file = dir / "logs" / "deep" / "trace.log";
    zarvo::file_logger logger;
    EXPECT_FALSE(logger.is_open());
    ASSERT_TRUE(logger.open(file.string()));
    EXPECT_TRUE(logger.is_open());
    EXPECT_TRUE(logger.stream().good());
    zarvo::add_trace_logger(&logger);
    ZARVO_TRACE("f", "one");
    ZARVO_TRACE("f", "two %d", 2);
    // Flushed per line: visible before the logger closes.
    const std::string text = read_file(file);
    EXPECT_NE(text.find(" f: one\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" f: two 2\n"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(FileLogger, OpeningAgainEmptiesTheFile)
{
    const std::string file = (dir / "trace.log").string();
    for (bool truncate : {false, true}) {
        {
            zarvo::file_logger logger(file);
            ASSERT_TRUE(logger.is_open());
            zarvo::set_trace_logger(&logger);
            ZARVO_TRACE("f", "old");
            zarvo::clear_trace_loggers();
        }
        zarvo::file_logger logger(file, truncate);
        ASSERT_TRUE(logger.is_open());
        EXPECT_EQ(read_file(file), "") << truncate;
        // And again on the same object.
        zarvo::set_trace_logger(&logger);
        ZARVO_TRACE("f", "new");
        ASSERT_TRUE(logger.open(file, truncate));
        EXPECT_EQ(read_file(file), "") << truncate;
        zarvo::clear_trace_loggers();
    }
}

// Root ignores permission bits, so a path below a regular file is what makes
// opening fail here.
TEST_F(FileLogger, FailedOpenReportsFalseAndLaterTracesWriteNothing)
{
    const std::filesystem::path blocker = dir / "plain";
    std::ofstream(blocker) << "x";
    const std::string file = (blocker / "sub" / "trace.log").string();

    zarvo::file_logger logger(file);
    EXPECT_FALSE(logger.is_open());
    EXPECT_FALSE(logger.open(file));
    EXPECT_TRUE(logger.stream().fail());
    zarvo::set_trace_logger(&logger);
    EXPECT_NO_THROW(ZARVO_TRACE("f", "lost"));
    EXPECT_EQ(read_file(blocker), "x");

    // A closed logger drops lines as well.
    const std::string good = (dir / "ok.log").string();
    ASSERT_TRUE(logger.open(good));
    logger.close();
    EXPECT_FALSE(logger.is_open());
    EXPECT_NO_THROW(ZARVO_TRACE("f", "after close"));
    EXPECT_EQ(read_file(good), "");
}

} // namespace
