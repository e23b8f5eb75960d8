#include "tests/devicelib/proto/proto_test_util.h"

#include "devicelib/proto/device_messages.h"
#include "devicelib/proto/user_database.pb.h"
#include "devicelib/proto/zftp_request.pb.h"

#include <gtest/gtest.h>

#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace zarvo::test {
namespace {

TEST(MessageIo, WriteGivesThePartialBytesOfAnIncompleteMessage)
{
    protocol::PbZFtpOperation head;
    head.set_path("/");
    std::ostringstream out;
    bool good = false;
    EXPECT_NO_THROW(good = write_message(head, out));
    EXPECT_TRUE(good);
    EXPECT_EQ(to_hex(out.str()), hex("12 01 2F"));
}

TEST(MessageIo, ReadFailsQuietlyOnIncompleteTrailingAndGarbageInput)
{
    const std::vector<std::pair<const char*, const char*>> rows{
        {"missing required field", "10 05"}, {"trailing bytes", "08 01 08"},
        {"trailing zero", "08 01 00"},       {"garbage", "FF FF FF FF FF FF FF FF FF FF FF"},
        {"length past the end", "0A 7F 01"},
    };
    for (const auto& [what, bytes] : rows) {
        SCOPED_TRACE(what);
        data::PbUserDb db;
        bool parsed = true;
        EXPECT_NO_THROW(parsed = read_hex(bytes, db));
        EXPECT_FALSE(parsed);
    }
}

TEST(MessageIo, ReadFromAFailedOrEndedStreamIsFalseAndLeavesItsState)
{
    const auto all = std::ios_base::failbit | std::ios_base::badbit | std::ios_base::eofbit;
    const std::vector<std::pair<const char*, std::ios_base::iostate>> rows{
        {"failed", std::ios_base::failbit},
        {"bad", std::ios_base::badbit},
        {"at its end", std::ios_base::eofbit},
        {"failed at its end", std::ios_base::failbit | std::ios_base::eofbit},
    };
    for (const auto& [what, state] : rows) {
        for (const char* bytes : {"", "08 07"}) {
            SCOPED_TRACE(std::string(what) + " holding '" + bytes + "'");
            std::istringstream in(from_hex(bytes));
            in.setstate(state);
            in.exceptions(all & ~state);
            // All fields optional: an empty good stream would parse.
            data::PbDeviceInfo info;
            info.set_model_name("old");
            bool parsed = true;
            EXPECT_NO_THROW(parsed = read_message(in, info));
            EXPECT_FALSE(parsed);
            EXPECT_EQ(in.rdstate(), state);
            EXPECT_EQ(in.exceptions(), all & ~state);
            EXPECT_FALSE(info.has_model_name());
        }
    }
}

TEST(MessageIo, ReadClearsTheMessageFirst)
{
    protocol::PbZFtpOperation head;
    head.set_command(protocol::PbZFtpOperation::PUT);
    head.set_path("/old");
    ASSERT_TRUE(read_hex("12 01 2F 08 00", head));
    EXPECT_EQ(head.command(), protocol::PbZFtpOperation::GET);
    EXPECT_EQ(head.path(), "/");
}

TEST(MessageIo, AnExceptionMaskChangesNeitherTheResultNorTheMask)
{
    const auto all = std::ios_base::failbit | std::ios_base::badbit | std::ios_base::eofbit;
    const std::vector<std::pair<const char*, bool>> inputs{
        {"08 07", true}, {"", false}, {"08 01 0C", false}, {"08", false}, {"FF FF", false}};
    for (const auto& [bytes, parses] : inputs) {
        for (auto mask : {std::ios_base::goodbit, all}) {
            SCOPED_TRACE(std::string(bytes) + (mask ? " with mask" : " without mask"));
            std::istringstream in(from_hex(bytes));
            in.exceptions(mask);
            data::PbUserDb db;
            bool parsed = !parses;
            EXPECT_NO_THROW(parsed = read_message(in, db));
            EXPECT_EQ(parsed, parses);
            EXPECT_EQ(in.exceptions(), mask);
            EXPECT_EQ(in.rdstate(), std::ios_base::goodbit);
            if (parses) {
                EXPECT_EQ(db.current_user_index(), 7u);
            }
        }
    }
}

// A stream buffer that takes nothing: every write to it fails.
class full_buffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(MessageIo, AFailedWriteIsReportedThroughTheStream)
{
    data::PbUserDb db;
    db.set_current_user_index(1);

    full_buffer full;
    std::ostream plain(&full);
    EXPECT_FALSE(write_message(db, plain));
    EXPECT_TRUE(plain.bad());

    // With a mask the caller gets the stream's usual exception, not a crash.
    std::ostream masked(&full);
    masked.exceptions(std::ios_base::badbit);
    EXPECT_THROW(write_message(db, masked), std::ios_base::failure);

    // A mask on a stream that works changes nothing.
    std::ostringstream working;
    working.exceptions(std::ios_base::failbit | std::ios_base::badbit | std::ios_base::eofbit);
    EXPECT_TRUE(write_message(db, working));
    EXPECT_EQ(to_hex(working.str()), hex("08 01"));

    // A stream that has failed already is left alone.
    std::ostringstream failed;
    failed.setstate(std::ios_base::failbit);
    EXPECT_FALSE(write_message(db, failed));
    EXPECT_EQ(failed.str(), "");
}

} // namespace
} // namespace zarvo::test
