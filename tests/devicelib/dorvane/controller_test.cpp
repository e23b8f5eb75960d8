// The frame controller over in-memory callbacks: every host write byte for
// byte, and the abort table row by row.

#include "devicelib/dorvane/zftp_tcpip_controller.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string le16(unsigned v)
{
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string status(unsigned flags, unsigned code)
{
    return le16(flags) + le16(code);
}
std::string frame(const std::string& body, unsigned flags = 0)
{
    return le16(static_cast<unsigned>(body.size() << 2) | flags) + body;
}
std::string code_frame(unsigned code)
{
    return le16(0) + le16(code);
}
std::string bytes(std::size_t n, char c = 'p')
{
    return std::string(n, c);
}

// The device's bytes in order, and the host's writes. A call whose index is
// in a fail map returns that code instead.
struct wire {
    std::string device;
    std::vector<std::string> writes;
    std::map<int, int> write_fails, ack_fails, frame_fails;
    int write_calls = 0, ack_calls = 0, frame_calls = 0;

    zftp_tcpip_callbacks callbacks()
    {
        zftp_tcpip_callbacks c;
        c.read_ack = [this](unsigned char* out, int timeout) {
            EXPECT_EQ(timeout, 10000);
            const auto fail = ack_fails.find(ack_calls++);
            if (fail != ack_fails.end())
                return fail->second;
            return take(out, 4) ? 0 : 220;
        };
        c.read_frame = [this](unsigned char* out, int timeout) {
            EXPECT_EQ(timeout, 10000);
            const auto fail = frame_fails.find(frame_calls++);
            if (fail != frame_fails.end())
                return fail->second;
            if (!take(out, 2))
                return 220;
            const std::size_t length = (out[0] | (out[1] << 8)) >> 2;
            return take(out + 2, length ? length : 2) ? 0 : 220;
        };
        c.write = [this](const unsigned char* in, std::size_t n, int timeout) {
            EXPECT_EQ(timeout, 10000);
            EXPECT_LE(n, zftp_tcpip_controller::frame_capacity);
            const auto fail = write_fails.find(write_calls++);
            if (fail != write_fails.end())
                return fail->second;
            writes.emplace_back(reinterpret_cast<const char*>(in), n);
            return 0;
        };
        return c;
    }

    bool take(unsigned char* out, std::size_t n)
    {
        if (device.size() < n)
            return false;
        std::memcpy(out, device.data(), n);
        device.erase(0, n);
        return true;
    }
};

const std::string request20 = bytes(20, 'r');

struct row {
    const char* name;
    bool newer;
    std::string device;
    std::function<int(zftp_tcpip_controller&, std::string& output)> run;
    int result;
    std::vector<std::string> writes;
    std::map<int, int> write_fails = {}, ack_fails = {}, frame_fails = {};
    std::string output = {};
};

int request(zftp_tcpip_controller& c, const std::string& r, std::string& output)
{
    std::istringstream in(r);
    std::ostringstream out;
    const int rc = c.send_request(in, r.size(), out);
    output = out.str();
    return rc;
}

int query(zftp_tcpip_controller& c, unsigned id, const std::string& p, std::string& output)
{
    std::istringstream in(p);
    std::ostringstream out;
    const int rc = c.send_query(id, in, out);
    output = out.str();
    return rc;
}

int upload(zftp_tcpip_controller& c, const std::string& r, const std::string& payload)
{
    std::istringstream in(r);
    std::istringstream data(payload);
    return c.send_request_with_payload(in, r.size(), data);
}

int notification(zftp_tcpip_controller& c, unsigned id, const std::string& p)
{
    std::istringstream in(p);
    return c.send_notification(id, in);
}

std::vector<row> rows()
{
    const std::string r30 = bytes(30, 'q');
    const std::string full = bytes(16383, 'f');
    std::vector<row> out = {
        {"request of 30 bytes",
         true,
         code_frame(0),
         [=](auto& c, auto& o) { return request(c, r30, o); },
         0,
         {le16(0x0080) + le16(30) + r30}},
        {"request of 16380 bytes",
         true,
         code_frame(0),
         [=](auto& c, auto& o) { return request(c, bytes(16380), o); },
         0,
         {le16(0xFFF8) + le16(16380) + bytes(16380)}},
        {"query 5 without parameters",
         true,
         frame("ds"),
         [](auto& c, auto& o) { return query(c, 5, "", o); },
         0,
         {le16(0x000C) + le16(0x8001) + "\x05"},
         {},
         {},
         {},
         "ds"},
        {"notification 4 with 3 bytes",
         true,
         "",
         [](auto& c, auto&) { return notification(c, 4, "abc"); },
         0,
         {le16(0x0012) + "\x04"
                         "abc"}},
        {"notification parameters cut at 16382",
         true,
         "",
         [](auto& c, auto&) { return notification(c, 9, bytes(16390)); },
         0,
         {le16(0xFFFE) + "\x09" + bytes(16382)}},
        {"code frame 67 00",
         true,
         code_frame(103),
         [](auto& c, auto& o) { return request(c, "g", o); },
         103,
         {le16(0x000C) + le16(1) + "g"}},
        {"response of 16383 + 10 bytes",
         true,
         frame(full) + frame(bytes(10, 't')),
         [](auto& c, auto& o) { return request(c, "g", o); },
         0,
         {le16(0x000C) + le16(1) + "g", status(0, 0)},
         {},
         {},
         {},
         full + bytes(10, 't')},
        {"16383 bytes then code 0",
         true,
         frame(full) + code_frame(0),
         [](auto& c, auto& o) { return request(c, "g", o); },
         0,
         {le16(0x000C) + le16(1) + "g", status(0, 0)},
         {},
         {},
         {},
         full},
        {"refused response frame",
         true,
         frame("abcde", 1),
         [](auto& c, auto& o) { return request(c, "g", o); },
         204,
         {le16(0x000C) + le16(1) + "g", status(0, 204)}},
        {"older upload 20 + 5",
         false,
         status(0, 0) + code_frame(0),
         [](auto& c, auto&) { return upload(c, request20, "12345"); },
         0,
         {le16(0xFFFC) + le16(20) + request20, le16(0x0015) + "12345"}},
        {"older upload, empty payload",
         false,
         status(0, 0) + code_frame(0),
         [](auto& c, auto&) { return upload(c, request20, ""); },
         0,
         {le16(0xFFFC) + le16(20) + request20, le16(0x0001)}},
        {"newer upload 20 + 5",
         true,
         code_frame(0),
         [](auto& c, auto&) { return upload(c, request20, "12345"); },
         0,
         {le16(0x006C) + le16(20) + request20 + "12345"}},
        {"newer upload filling the first frame",
         true,
         status(0, 0) + code_frame(0),
         [](auto& c, auto&) { return upload(c, request20, bytes(16361)); },
         0,
         {le16(0xFFFC) + le16(20) + request20 + bytes(16361), le16(0x0001)}},
        {"newer upload of 2 x 16383",
         true,
         status(0, 0) + status(0, 0) + code_frame(0),
         [](auto& c, auto&) { return upload(c, request20, bytes(2 * 16383)); },
         0,
         {le16(0xFFFC) + le16(20) + request20 + bytes(16361), le16(0xFFFD) + bytes(16383),
          le16((22 << 2) | 1) + bytes(22)}},
        {"older upload of 2 x 16383",
         false,
         status(0, 0) + status(0, 0) + status(0, 0) + code_frame(0),
         [](auto& c, auto&) { return upload(c, request20, bytes(2 * 16383)); },
         0,
         {le16(0xFFFC) + le16(20) + request20, le16(0xFFFD) + bytes(16383),
          le16(0xFFFD) + bytes(16383), le16(0x0001)}},
        {"query parameters of 16380",
         true,
         status(0, 0) + status(0, 0) + code_frame(0),
         [](auto& c, auto& o) { return query(c, 7, bytes(16380), o); },
         0,
         {le16(0xFFFC) + le16(0x8000 | 16381) + "\x07" + bytes(16380), le16(0x0001)}},
        {"query parameters of 16381",
         true,
         status(0, 0) + status(0, 0) + code_frame(0),
         [](auto& c, auto& o) { return query(c, 7, bytes(16381), o); },
         0,
         {le16(0xFFFC) + le16(0x8000 | 16381) + "\x07" + bytes(16380), le16(0x0005) + "p"}},
        // Device statuses with the error flag end the exchange.
        {"202 after a query's first frame",
         true,
         status(1, 202),
         [](auto& c, auto& o) { return query(c, 7, bytes(16381), o); },
         202,
         {le16(0xFFFC) + le16(0x8000 | 16381) + "\x07" + bytes(16380)}},
        {"error flag with code 0 goes on in a query",
         true,
         status(1, 0) + status(0, 0) + code_frame(0),
         [](auto& c, auto& o) { return query(c, 7, bytes(16380), o); },
         0,
         {le16(0xFFFC) + le16(0x8000 | 16381) + "\x07" + bytes(16380), le16(0x0001)}},
        {"205 mid-upload",
         true,
         status(1, 205),
         [](auto& c, auto&) { return upload(c, request20, bytes(2 * 16383)); },
         205,
         {le16(0xFFFC) + le16(20) + request20 + bytes(16361)}},
        {"205 to the older first frame",
         false,
         status(1, 205),
         [](auto& c, auto&) { return upload(c, request20, "x"); },
         205,
         {le16(0xFFFC) + le16(20) + request20}},
        // The abort table.
        {"abort: request frame",
         true,
         "",
         [](auto& c, auto& o) { return request(c, "g", o); },
         440,
         {},
         {{0, 440}}},
        {"abort: complete query frame",
         true,
         "",
         [](auto& c, auto& o) { return query(c, 1, "", o); },
         440,
         {},
         {{0, 440}}},
        {"abort: first of several query frames",
         true,
         "",
         [](auto& c, auto& o) { return query(c, 1, bytes(16380), o); },
         440,
         {},
         {{0, 440}}},
        {"abort: query continuation",
         true,
         status(0, 0),
         [](auto& c, auto& o) { return query(c, 1, bytes(16380), o); },
         440,
         {le16(0xFFFC) + le16(0x8000 | 16381) + "\x01" + bytes(16380), status(0, 220)},
         {{1, 440}}},
        {"abort: single upload frame",
         true,
         "",
         [](auto& c, auto&) { return upload(c, request20, "x"); },
         440,
         {},
         {{0, 440}}},
        {"abort: upload frame awaiting a status",
         true,
         "",
         [](auto& c, auto&) { return upload(c, request20, bytes(16361)); },
         440,
         {status(0, 220)},
         {{0, 440}}},
        {"abort: last upload frame",
         true,
         status(0, 0),
         [](auto& c, auto&) { return upload(c, request20, bytes(16361)); },
         440,
         {le16(0xFFFC) + le16(20) + request20 + bytes(16361)},
         {{1, 440}}},
        {"abort: older first upload frame",
         false,
         "",
         [](auto& c, auto&) { return upload(c, request20, "x"); },
         440,
         {},
         {{0, 440}}},
        {"abort: notification frame",
         true,
         "",
         [](auto& c, auto&) { return notification(c, 1, "x"); },
         440,
         {},
         {{0, 440}}},
        {"abort: read of a device status",
         false,
         "",
         [](auto& c, auto&) { return upload(c, request20, "x"); },
         440,
         {le16(0xFFFC) + le16(20) + request20},
         {},
         {{0, 440}}},
        {"abort: read of the first response frame",
         true,
         "",
         [](auto& c, auto& o) { return request(c, "g", o); },
         440,
         {le16(0x000C) + le16(1) + "g", status(0, 220)},
         {},
         {},
         {{0, 440}}},
        {"abort: status 0, 0 after a full frame",
         true,
         frame(full),
         [](auto& c, auto& o) { return request(c, "g", o); },
         440,
         {le16(0x000C) + le16(1) + "g", status(0, 220)},
         {{1, 440}},
         {},
         {},
         full},
        {"abort: read of a later response frame",
         true,
         frame(full),
         [](auto& c, auto& o) { return request(c, "g", o); },
         440,
         {le16(0x000C) + le16(1) + "g", status(0, 0)},
         {},
         {},
         {{1, 440}},
         full},
        // Other transport codes pass through without a status.
        {"time-out of the first response frame",
         true,
         "",
         [](auto& c, auto& o) { return request(c, "g", o); },
         220,
         {le16(0x000C) + le16(1) + "g"}},
        {"reset during the request",
         true,
         "",
         [](auto& c, auto& o) { return request(c, "g", o); },
         10054,
         {},
         {{0, 10054}}},
    };
    return out;
}

TEST(zftp_tcpip_controller, frames_byte_for_byte)
{
    for (const auto& r : rows()) {
        SCOPED_TRACE(r.name);
        wire w;
        w.device = r.device;
        w.write_fails = r.write_fails;
        w.ack_fails = r.ack_fails;
        w.frame_fails = r.frame_fails;
        zftp_tcpip_controller c(w.callbacks());
        c.set_framing_v2(r.newer);
        std::string output;
        EXPECT_EQ(r.run(c, output), r.result);
        ASSERT_EQ(w.writes.size(), r.writes.size());
        for (std::size_t i = 0; i < r.writes.size(); ++i)
            EXPECT_TRUE(w.writes[i] == r.writes[i])
                << "write " << i << ": " << w.writes[i].size() << " bytes, header " << std::hex
                << (static_cast<unsigned char>(w.writes[i][0]) |
                    (static_cast<unsigned char>(w.writes[i][1]) << 8));
        EXPECT_TRUE(output == r.output) << output.size() << " bytes of output";
        EXPECT_TRUE(w.device.empty()) << w.device.size() << " device bytes left unread";
    }
}

TEST(zftp_tcpip_controller, write_checked_status_rows)
{
    const struct {
        std::string device;
        int result;
    } rows[] = {
        {status(0, 0), 0},   {status(1, 0), 0}, {status(1, 205), 205},
        {status(0, 205), 0}, {status(1, 2), 2},
    };
    for (const auto& r : rows) {
        wire w;
        w.device = r.device;
        zftp_tcpip_controller c(w.callbacks());
        const unsigned char frame[2] = {1, 0};
        EXPECT_EQ(c.write_checked(frame, 2, false), r.result);
    }
    // An aborted write tells the device unless it was the final one.
    for (bool final : {false, true}) {
        wire w;
        w.write_fails = {{0, 440}};
        zftp_tcpip_controller c(w.callbacks());
        const unsigned char frame[2] = {1, 0};
        EXPECT_EQ(c.write_checked(frame, 2, final), 440);
        EXPECT_EQ(w.writes.size(), final ? 0u : 1u);
    }
}

} // namespace
