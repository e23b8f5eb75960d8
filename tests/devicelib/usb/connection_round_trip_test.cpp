// Writes read back byte for byte, through memory and file streams, and the
// stream failures on either side.

#include "tests/devicelib/usb/connection_fixture.h"
#include "tests/support/limited_buffer.h"

#include "devicelib/errors/errors.h"
#include "devicelib/proto/user_database.pb.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <streambuf>

namespace zarvo::test {
namespace {

constexpr const char* file_path = "/RT.BIN";
// Message bytes in the first report after its length word, and in each
// further report.
constexpr std::size_t first_room = 59;
constexpr std::size_t later_room = 61;

std::size_t request_size()
{
    protocol::PbZFtpOperation op;
    op.set_command(protocol::PbZFtpOperation::PUT);
    op.set_path(file_path);
    return serialized(op).size();
}

// Payload sizes where the uploaded message (request and payload) and the
// response (status word and payload) end one byte before, at and one byte
// after the end of a report, and a few plain ones.
std::vector<std::size_t> sizes()
{
    std::vector<std::size_t> out{0, 1, 4096, 1u << 20};
    for (const std::size_t reports : {1u, 2u}) {
        const std::size_t upload_end = first_room + later_room * (reports - 1) - request_size();
        const std::size_t download_end = first_room + later_room * (reports - 1);
        for (const std::size_t end : {upload_end, download_end})
            for (const std::size_t size : {end - 1, end, end + 1})
                out.push_back(size);
    }
    return out;
}

TEST_F(hid_connection_test, write_then_read_back_through_memory)
{
    for (const std::size_t size : sizes()) {
        SCOPED_TRACE(size);
        const std::string content = bytes_of_size(size, static_cast<unsigned>(size));
        std::istringstream in(content);
        link->write(file_path, in);
        EXPECT_EQ(device_model.file(file_path), content);
        std::ostringstream out;
        link->read(file_path, out);
        EXPECT_TRUE(out.str() == content);
    }
    EXPECT_TRUE(device.front_end().violations().empty());
}

TEST_F(hid_connection_test, write_then_read_back_through_files)
{
    temp_dir dir;
    for (const std::size_t size : sizes()) {
        SCOPED_TRACE(size);
        const std::string content = bytes_of_size(size, static_cast<unsigned>(size) + 7);
        const auto source = dir / "source.bin";
        const auto target = dir / "target.bin";
        std::ofstream(source, std::ios::binary) << content;
        {
            std::ifstream in(source, std::ios::binary);
            link->write(file_path, in);
        }
        {
            std::ofstream out(target, std::ios::binary | std::ios::trunc);
            link->read(file_path, out);
        }
        std::ifstream back(target, std::ios::binary);
        const std::string read_back((std::istreambuf_iterator<char>(back)),
                                    std::istreambuf_iterator<char>());
        EXPECT_TRUE(read_back == content);
    }
}

// The payload starts at the caller's read position.
TEST_F(hid_connection_test, write_sends_from_the_read_position)
{
    std::istringstream in("skipPAYLOAD");
    in.ignore(4);
    link->write(file_path, in);
    EXPECT_EQ(device_model.file(file_path), "PAYLOAD");
}

TEST_F(hid_connection_test, merge_as_the_device_merges)
{
    device_model.make_directory("/U/3");
    data::PbUserDb users;
    users.set_current_user_index(3);
    std::istringstream in(serialized(users));
    link->merge("/U/UDB.BPB", in);

    std::stringstream stored;
    link->read("/U/UDB.BPB", stored);
    data::PbUserDb merged;
    ASSERT_TRUE(merged.ParseFromString(stored.str()));
    EXPECT_EQ(merged.current_user_index(), 3u);
}

// Gives `good` bytes, then fails with an error rather than an end.
class breaking_buffer : public std::streambuf {
public:
    explicit breaking_buffer(std::string good)
        : good_(std::move(good))
    {
        setg(good_.data(), good_.data(), good_.data() + good_.size());
    }

protected:
    int_type underflow() override { throw std::ios_base::failure("medium error"); }

private:
    std::string good_;
};

TEST_F(hid_connection_test, read_into_a_failing_stream)
{
    device_model.put_file(file_path, bytes_of_size(1000));
    limited_buffer buffer(100);
    std::ostream out(&buffer);
    EXPECT_THROW(link->read(file_path, out), zarvo::stream_failure);
}

TEST_F(hid_connection_test, write_from_a_stream_that_fails_midway)
{
    breaking_buffer buffer(bytes_of_size(300));
    std::istream in(&buffer);
    EXPECT_THROW(link->write(file_path, in), zarvo::stream_failure);
    EXPECT_FALSE(device_model.file(file_path));
    // The device saw the host cancel its message with a cancellation report
    // (header 0x08, the ring, footer 1), and no message completed.
    EXPECT_TRUE(device.front_end().wait([](const std::vector<std::string>& lines) {
        return !lines.empty() && lines.back().rfind("H0 0108", 0) == 0 &&
               lines.back().size() == 11 && lines.back().substr(9) == "01";
    }));
    EXPECT_TRUE(device.front_end().messages().empty());
    EXPECT_TRUE(device.front_end().violations().empty());
}

} // namespace
} // namespace zarvo::test
