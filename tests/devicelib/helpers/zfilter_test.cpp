#include "devicelib/helpers/zfilter.h"
#include "tests/support/hex.h"
#include "tests/support/param_name.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>
#include <string>

namespace {

using zarvo::io::filter_action;
using zarvo::io::istream_zfilter;
using zarvo::io::ostream_zfilter;
constexpr auto compress = zarvo::io::compress;
constexpr auto decompress = zarvo::io::decompress;

std::string filter_out(const std::string& data, filter_action action)
{
    std::ostringstream sink;
    {
        ostream_zfilter out(sink, action);
        out->write(data.data(), static_cast<std::streamsize>(data.size()));
        EXPECT_TRUE(out.stream().good());
    }
    return sink.str();
}

std::string filter_in(const std::string& data, filter_action action)
{
    std::istringstream source(data);
    istream_zfilter in(source, action);
    std::ostringstream all;
    all << in.stream().rdbuf();
    return all.str();
}

// zlib's own gzip reader, as another program would read our output.
std::string zlib_gunzip(const std::string& gz)
{
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, 31), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
    z.avail_in = static_cast<uInt>(gz.size());
    std::string out;
    char buffer[1024];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
    }
    EXPECT_EQ(rc, Z_STREAM_END);
    inflateEnd(&z);
    return out;
}

std::string sample(std::size_t size)
{
    std::string s;
    for (std::size_t i = 0; i < size; ++i)
        s.push_back(static_cast<char>((i * 7919) % 251));
    return s;
}

class ZfilterRoundTrip : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ZfilterRoundTrip, GivesTheBytesBack)
{
    const std::string data = sample(GetParam());
    const std::string gz = filter_out(data, compress);
    // Header: magic, deflate, no flags (no name, no comment), MTIME 0.
    ASSERT_GE(gz.size(), 10u);
    EXPECT_EQ(zarvo::test::to_hex(gz.substr(0, 8)), "1f8b080000000000");
    EXPECT_EQ(filter_in(gz, decompress), data);
    EXPECT_EQ(zlib_gunzip(gz), data);
    // The same through the other direction of each filter.
    EXPECT_EQ(filter_in(filter_in(data, compress), decompress), data);
}

INSTANTIATE_TEST_SUITE_P(Zfilter, ZfilterRoundTrip, ::testing::Values(0, 5, 4097, 100000),
                         zarvo::test::printed_name{"bytes"});

TEST(Zfilter, OtherValuesPassDataThroughUnchanged)
{
    const std::string data = sample(5000);
    EXPECT_EQ(filter_out(data, static_cast<filter_action>(0)), data);
    EXPECT_EQ(filter_in(data, static_cast<filter_action>(0)), data);
    EXPECT_EQ(filter_in(data, static_cast<filter_action>(2)), data);
}

TEST(Zfilter, CorruptInputFailsTheStream)
{
    std::istringstream source("this is not gzip data");
    istream_zfilter in(source, decompress);
    std::string out;
    std::getline(*in, out);
    EXPECT_TRUE(in->fail());
}

TEST(Zfilter, MovedWrapperKeepsWritingToTheSameStream)
{
    std::ostringstream sink;
    {
        ostream_zfilter first(sink, compress);
        *first << "hello ";
        ostream_zfilter second(std::move(first));
        *second << "world";
    }
    EXPECT_EQ(filter_in(sink.str(), decompress), "hello world");
    static_assert(!std::is_copy_constructible_v<ostream_zfilter>);
    static_assert(!std::is_copy_assignable_v<istream_zfilter>);
}

} // namespace
