#include "devicelib/platform/hid_open.h"
#include "tests/support/seqpacket.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>

namespace zarvo::platform {
namespace {

TEST(hid_open, seam_names)
{
    struct row {
        std::string name;
        bool parses;
        std::uint16_t vendor, product;
        std::string serial;
    } const rows[] = {
        {"1234-abcd-SER1.hid", true, 0x1234, 0xabcd, "SER1"},
        {"ffff-0000-a-b-c.hid", true, 0xffff, 0x0000, "a-b-c"},
        {"1234-abcd-" + std::string(126, 'x') + ".hid", true, 0x1234, 0xabcd,
         std::string(126, 'x')},
        {"1234-abcd-" + std::string(127, 'x') + ".hid", false, 0, 0, ""},
        // 63 characters beyond the basic plane are 126 UTF-16 units; one more is too many.
        {"1234-abcd-" +
             [] {
                 std::string s;
                 for (int i = 0; i < 64; ++i)
                     s += "\xF0\x9F\x98\x80";
                 return s;
             }() +
             ".hid",
         false, 0, 0, ""},
        {"123-abcd-SER1.hid", false, 0, 0, ""},
        {"1234-ABCD-SER1.hid", false, 0, 0, ""},
        {"12345-abcd-SER1.hid", false, 0, 0, ""},
        {"1234-abcd-.hid", false, 0, 0, ""},
        {"1234-abcd.hid", false, 0, 0, ""},
        {"1234-abcd-SER1", false, 0, 0, ""},
        {"1234-abcd-SER1.hidx", false, 0, 0, ""},
        {"12g4-abcd-SER1.hid", false, 0, 0, ""},
        {"", false, 0, 0, ""},
    };
    for (const auto& r : rows) {
        const auto identity = parse_seam_name(r.name);
        ASSERT_EQ(identity.has_value(), r.parses) << r.name;
        if (identity) {
            EXPECT_EQ(identity->vendor_id, r.vendor);
            EXPECT_EQ(identity->product_id, r.product);
            EXPECT_EQ(identity->serial, r.serial);
            EXPECT_EQ(identity->version, 0);
        }
    }
}

TEST(hid_open, hidraw_ids_are_taken_unsigned)
{
    const auto identity = identity_from_raw_info(-1, static_cast<std::int16_t>(0x8001));
    EXPECT_EQ(identity.vendor_id, 0xFFFF);
    EXPECT_EQ(identity.product_id, 0x8001);
    EXPECT_EQ(identity_from_raw_info(0x1234, 0x0042).vendor_id, 0x1234);
}

void expect_unopened(const opened_hid& opened, const std::string& what)
{
    EXPECT_FALSE(opened.channel.is_open()) << what;
    EXPECT_EQ(opened.identity.vendor_id, 0) << what;
    EXPECT_EQ(opened.identity.product_id, 0) << what;
    EXPECT_TRUE(opened.identity.serial.empty()) << what;
}

TEST(hid_open, opens_a_listening_seam_file)
{
    test::temp_dir dir;
    const auto path = dir / "0fe3-1001-AB12.hid";
    test::seam_listener listener(path);
    const auto opened = open_hid(path.string());
    ASSERT_TRUE(opened.channel.is_open());
    EXPECT_EQ(opened.identity.vendor_id, 0x0fe3);
    EXPECT_EQ(opened.identity.product_id, 0x1001);
    EXPECT_EQ(opened.identity.serial, "AB12");
    EXPECT_GE(listener.accept().get(), 0);
}

// A socket file that nobody listens on any more (its owner died).
void make_stale_socket(const std::filesystem::path& path)
{
    test::unique_fd fd(::socket(AF_UNIX, SOCK_SEQPACKET, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
}

TEST(hid_open, what_cannot_be_opened_gives_zero_attributes)
{
    test::temp_dir dir;
    make_stale_socket(dir / "1234-abcd-STALE.hid");
    std::ofstream(dir / "1234-abcd-PLAIN.hid") << "not a socket";
    test::seam_listener bad_name(dir / "1234-ABCD-SER.hid");
    test::seam_listener no_suffix(dir / "1234-abcd-SER");

    for (const std::string& path :
         {(dir / "1234-abcd-STALE.hid").string(), (dir / "1234-abcd-PLAIN.hid").string(),
          (dir / "1234-ABCD-SER.hid").string(), (dir / "1234-abcd-SER").string(),
          (dir / "1234-abcd-MISSING.hid").string(), dir.path().string(), std::string()})
        expect_unopened(open_hid(path), path);
}

TEST(hid_open, seam_path_too_long_for_a_socket_address)
{
    // A listening socket reached through a path longer than sun_path: bound
    // with a short relative name, opened through the long absolute one.
    test::temp_dir dir;
    const auto long_dir = dir / std::string(110, 'd');
    std::filesystem::create_directory(long_dir);
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(long_dir);
    test::seam_listener listener("1234-abcd-SER.hid");
    std::filesystem::current_path(cwd);
    expect_unopened(open_hid((long_dir / "1234-abcd-SER.hid").string()), "long path");
}

} // namespace
} // namespace zarvo::platform
