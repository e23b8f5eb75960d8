// The drivers' services: the directory listing converter and the bounded
// resend for device answer 2.
#include "devicelib/core/listing.h"
#include "devicelib/core/resend.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "tests/support/recording_logger.h"
#include "tests/support/short_resend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::string listing_of(const std::vector<std::pair<std::string, std::uint64_t>>& elements)
{
    protocol::PbZFtpDirectory listing;
    for (const auto& [name, size] : elements) {
        auto* e = listing.add_entries();
        e->set_name(name);
        e->set_size(size);
    }
    return listing.SerializeAsString();
}

class ListingConverter : public zarvo::test::trace_fixture {};

TEST_F(ListingConverter, KeepsFilesAndDirectoriesAndSkipsUntrustedNames)
{
    struct row {
        std::string name;
        bool kept;
        zarvo::entry::type_t type;
        std::string entry_name;
    };
    const std::vector<row> rows = {
        {"a/", true, zarvo::entry::directory, "a"},
        {"b.txt", true, zarvo::entry::file, "b.txt"},
        {"", false, {}, {}},
        {".", false, {}, {}},
        {"..", false, {}, {}},
        {"./", false, {}, {}},
        {"../", false, {}, {}},
        {"/", false, {}, {}},
        {"x/y", false, {}, {}},
        {"a//", false, {}, {}},
        {std::string("n\0ul", 4), false, {}, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("name '" + r.name + "'");
        log.clear();
        std::istringstream in(listing_of({{r.name, 7}}));
        std::set<zarvo::entry> out;
        ASSERT_TRUE(zarvo::core::insert_listing(in, out));
        if (!r.kept) {
            EXPECT_TRUE(out.empty());
            EXPECT_EQ(log.messages().size(), 1u);
            continue;
        }
        ASSERT_EQ(out.size(), 1u);
        const auto& e = *out.begin();
        EXPECT_EQ(e.name(), r.entry_name);
        EXPECT_EQ(e.type(), r.type);
        EXPECT_EQ(e.size(), 7u);
        EXPECT_EQ(e.modified(), 0);
        EXPECT_EQ(e.created(), 0);
        EXPECT_EQ(e.touched(), 0);
        EXPECT_TRUE(log.messages().empty());
    }
}

TEST_F(ListingConverter, ASkippedNameIsTracedWithItsControlBytesEscaped)
{
    struct row {
        std::string name;
        std::string shown;
    };
    const std::vector<row> rows = {
        {std::string("n\0ul", 4), "n\\x00ul"},
        {"a/b\nFAKE LINE", "a/b\\x0aFAKE LINE"},
        {"x/\x1b[2J\r\t\x7f", "x/\\x1b[2J\\x0d\\x09\\x7f"},
        {"..", ".."},
        {"caf\xc3\xa9/x", "caf\xc3\xa9/x"},
    };
    for (const auto& r : rows) {
        log.clear();
        std::istringstream in(listing_of({{r.name, 1}}));
        std::set<zarvo::entry> out;
        ASSERT_TRUE(zarvo::core::insert_listing(in, out));
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(log.messages(), std::vector<std::string>{"zarvo::core::insert_listing: "
                                                           "Skipped the listing entry '" +
                                                           r.shown + "'."});
    }
}

TEST_F(ListingConverter, ASkippedNameLeavesTheOthersInOrder)
{
    std::istringstream in(listing_of({{"A.BPB", 120}, {"..", 1}, {"DAILY/", 0}, {"A.BPB", 3}}));
    std::set<zarvo::entry> out{zarvo::entry(zarvo::entry::file, "OLD", 1)};
    ASSERT_TRUE(zarvo::core::insert_listing(in, out));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out.find(zarvo::entry("A.BPB"))->size(), 120u); // the first one stays
    EXPECT_TRUE(out.find(zarvo::entry("DAILY"))->is_directory());
}

TEST_F(ListingConverter, BytesThatDoNotParseLeaveTheSetUntouched)
{
    std::istringstream in(std::string("\x0a\x05\x0a\x01", 4)); // cut short
    std::set<zarvo::entry> out{zarvo::entry(zarvo::entry::file, "KEEP", 1)};
    EXPECT_FALSE(zarvo::core::insert_listing(in, out));
    EXPECT_EQ(out.size(), 1u);
}

class BoundedResend : public ::testing::Test {
protected:
    zarvo::test::short_resend resend_{300ms, 20ms};
};

TEST_F(BoundedResend, SendsAgainWhileBusyAndReturnsTheFirstOtherAnswer)
{
    struct row {
        std::vector<int> answers;
        std::initializer_list<int> also;
        int sends;
        int result;
    };
    const std::vector<row> rows = {
        {{0}, {}, 1, 0},           {{2, 2, 0}, {}, 3, 0}, {{2, 103}, {}, 2, 103},
        {{1, 2, 1, 0}, {1}, 4, 0}, {{1}, {}, 1, 1},
    };
    for (const auto& r : rows) {
        int sends = 0;
        const int result = zarvo::core::resend_while_busy(
            [&] { return r.answers.at(static_cast<std::size_t>(sends++)); }, r.also);
        EXPECT_EQ(sends, r.sends);
        EXPECT_EQ(result, r.result);
    }
}

TEST_F(BoundedResend, ABusyDeviceEndsInTryAgainAfterFewSends)
{
    int sends = 0;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(zarvo::core::resend_while_busy([&] {
                     ++sends;
                     return 2;
                 }),
                 zarvo::try_again);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, 250ms);
    // The budget, the longest pause and some slack for a loaded machine, well
    // below twice the budget.
    EXPECT_LT(took, 300ms + 20ms + 250ms);
    // An unpaused loop would send millions of times in 300 ms.
    EXPECT_LT(sends, 40);
    EXPECT_GT(sends, 3);
}

TEST_F(BoundedResend, AnErrorOfTheExchangeEndsItAtOnce)
{
    std::atomic<bool> cancelled{false};
    std::atomic<int> sends{0};
    std::thread canceller([&] {
        while (sends < 3)
            std::this_thread::yield();
        cancelled = true;
    });
    EXPECT_THROW(zarvo::core::resend_while_busy([&] {
                     if (cancelled)
                         throw zarvo::operation_canceled();
                     ++sends;
                     return 2;
                 }),
                 zarvo::operation_canceled);
    canceller.join();
}

} // namespace
