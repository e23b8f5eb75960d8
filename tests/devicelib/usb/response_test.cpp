// Response faults, cancellation by stage and payload transfer.

#include "devicelib/errors/errors.h"
#include "tests/devicelib/usb/hid_fixture.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <typeinfo>

namespace zarvo::test {
namespace {

using emulator::device_answer;
using emulator::device_report;
using emulator::usb_front_end;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A full first response report carrying status 0 and 59 'A'.
std::string first_full()
{
    std::string r = device_report({0, 62 << 2 | 1, 0, 0, 0});
    std::fill(r.begin() + 5, r.end(), 'A');
    return r;
}

// A report with the given header and ring, the rest filled with 'B'.
std::string later(std::uint8_t header, std::uint8_t ring,
                  std::initializer_list<std::uint8_t> tail = {})
{
    std::string r = device_report({0, header, ring});
    std::fill(r.begin() + 3, r.end(), 'B');
    std::size_t at = 3;
    for (const auto b : tail)
        r[at++] = static_cast<char>(b);
    return r;
}

// An ostream that takes at most capacity bytes, then fails.
class small_buffer : public std::streambuf {
public:
    explicit small_buffer(std::size_t capacity)
        : left_(capacity)
    {
    }
    std::string text;

protected:
    int_type overflow(int_type c) override
    {
        if (left_ == 0 || traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::eof();
        --left_;
        text += traits_type::to_char_type(c);
        return c;
    }

private:
    std::size_t left_;
};

class response_faults : public hid_device_test, public ::testing::WithParamInterface<int> {};

struct fault_case {
    const char* name;
    std::vector<std::string> reports;
    const std::type_info& type;
    const char* text;
    std::vector<std::string> acks;
    std::string appended;
};

const std::vector<fault_case>& fault_cases()
{
    static const std::vector<fault_case> cases = {
        {"first_report_n_below_3",
         {device_report({0, 2 << 2 | 1, 0, 0, 0}), later(62 << 2 | 1, 1)},
         typeid(bad_response),
         "Expected preceding error code or 0 in response.",
         {"H0 0105", "H0 010401"},
         ""},
        {"ring_mismatch",
         {first_full(), later(62 << 2 | 1, 5), later(62 << 2 | 1, 6)},
         typeid(checksum_failure),
         "Ring counter mismatch.",
         {"H0 0105", "H0 010505", "H0 010406"},
         std::string(59, 'A')},
        {"n_0_later",
         {first_full(), later(0x01, 1), later(62 << 2 | 1, 2)},
         typeid(bad_response),
         "Expected ring counter.",
         {"H0 0105", "H0 010501", "H0 010402"},
         std::string(59, 'A')},
        {"n_1_last",
         {first_full(), later(1 << 2, 1)},
         typeid(bad_response),
         "Expected message footer.",
         {"H0 0105"},
         std::string(59, 'A')},
        {"footer_above_1",
         {device_report({0, 5 << 2, 0, 0, 0, 'x', 2})},
         typeid(bad_response),
         "Unknown message footer flags.",
         {},
         ""},
        {"footer_1_n_3_later",
         {first_full(), later(3 << 2, 1, {7, 1})},
         typeid(bad_response),
         "Expected error code in message footer.",
         {"H0 0105"},
         std::string(59, 'A')},
        // Content reaching past the report.
        {"n_63_first",
         {device_report({0, 63 << 2 | 1, 0, 0, 0, 'x'}), later(62 << 2 | 1, 1)},
         typeid(bad_response),
         "Expected message footer.",
         {"H0 0105", "H0 010401"},
         ""},
        {"n_63_later",
         {first_full(), later(63 << 2 | 1, 1), later(3 << 2, 2, {0})},
         typeid(bad_response),
         "Expected message footer.",
         {"H0 0105", "H0 010501"},
         std::string(59, 'A')},
        {"n_63_last",
         {first_full(), later(63 << 2, 1)},
         typeid(bad_response),
         "Expected message footer.",
         {"H0 0105"},
         std::string(59, 'A')},
        // A single report too short for status and footer.
        {"single_n_3_status_0",
         {device_report({0, 3 << 2, 0, 0, 0})},
         typeid(bad_response),
         "Expected message footer.",
         {},
         ""},
        // A cancelling footer whose code would overlap ring or status.
        {"footer_1_n_2_later",
         {first_full(), later(2 << 2, 1, {1})},
         typeid(bad_response),
         "Expected error code in message footer.",
         {"H0 0105"},
         std::string(59, 'A')},
        {"footer_1_n_4_first",
         {device_report({0, 4 << 2, 0, 0, 0, 1})},
         typeid(bad_response),
         "Expected error code in message footer.",
         {},
         ""},
        {"footer_1_n_5_first",
         {device_report({0, 5 << 2, 0, 0, 0, 9, 1})},
         typeid(bad_response),
         "Expected error code in message footer.",
         {},
         ""},
    };
    return cases;
}

TEST_P(response_faults, fail_with_their_error_and_stop_acknowledgement)
{
    const fault_case& c = fault_cases()[static_cast<std::size_t>(GetParam())];
    SCOPED_TRACE(c.name);
    handler.answer_with([=](const auto&) {
        device_answer a;
        a.type = device_answer::kind::raw;
        a.reports = c.reports;
        return a;
    });
    std::stringstream request("q");
    request.seekp(0, std::ios_base::end);
    std::stringstream response;
    try {
        host->download(request, response, cancel);
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(typeid(e), c.type) << e.what();
        EXPECT_THAT(e.what(), HasSubstr(c.text));
    }
    EXPECT_EQ(response.str(), c.appended);
    const auto hosts = host_lines_when(1 + c.acks.size());
    EXPECT_THAT(std::vector<std::string>(hosts.begin() + 1, hosts.end()), ElementsAreArray(c.acks));
    // Every acknowledgement came in turn, and the link is in step.
    std::stringstream next("n");
    next.seekp(0, std::ios_base::end);
    handler.answer_with([](const auto&) { return device_answer::ok("fine"); });
    std::stringstream answer;
    EXPECT_EQ(host->download(next, answer, cancel), 0);
    EXPECT_EQ(answer.str(), "fine");
    EXPECT_THAT(device.violations(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(rows, response_faults,
                         ::testing::Range(0, static_cast<int>(fault_cases().size())),
                         [](const auto& info) {
                             return std::string(
                                 fault_cases()[static_cast<std::size_t>(info.param)].name);
                         });

TEST_F(hid_device_test, failing_caller_stream_stops_the_response)
{
    const std::string payload = bytes_of(150);
    handler.answer_with([=](const auto&) { return device_answer::ok(payload); });
    std::stringstream request("q");
    request.seekp(0, std::ios_base::end);
    small_buffer buffer(10);
    std::ostream response(&buffer);
    EXPECT_THROW(host->download(request, response, cancel), stream_failure);
    EXPECT_EQ(buffer.text, payload.substr(0, 10));
    const auto hosts = host_lines_when(3);
    // The device answered the continue with its next report at once: that
    // report is the one stopped.
    EXPECT_THAT(std::vector<std::string>(hosts.begin() + 1, hosts.end()),
                ElementsAreArray({"H0 0105", "H0 010401"}));
    EXPECT_THAT(device.violations(), IsEmpty());
}

// Sets the cancel event when the stream has handed out all of its bytes.
class cancelling_buffer : public std::streambuf {
public:
    cancelling_buffer(std::string bytes, platform::event& cancel)
        : bytes_(std::move(bytes))
        , cancel_(cancel)
    {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    }

protected:
    int_type underflow() override
    {
        cancel_.set();
        return traits_type::eof();
    }

private:
    std::string bytes_;
    platform::event& cancel_;
};

// Fails after handing out its bytes, without reaching an end.
class failing_buffer : public std::streambuf {
public:
    explicit failing_buffer(std::string bytes)
        : bytes_(std::move(bytes))
    {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    }

protected:
    int_type underflow() override { throw std::runtime_error("disk gone"); }

private:
    std::string bytes_;
};

TEST_F(hid_device_test, cancel_before_the_start_writes_nothing)
{
    cancel.set();
    std::stringstream request("q");
    request.seekp(0, std::ios_base::end);
    std::stringstream out;
    EXPECT_THROW(host->download(request, out, cancel), operation_canceled);
    EXPECT_THROW(host->upload(request, out, cancel), operation_canceled);
    EXPECT_THROW(host->query(1, nullptr, nullptr, cancel), operation_canceled);
    EXPECT_THROW(host->notify(1, nullptr, cancel), operation_canceled);
    cancel.reset();
    EXPECT_EQ(host->notify(2, nullptr, cancel), 0);
    ASSERT_TRUE(device.wait_messages(1));
    EXPECT_THAT(lines(), ElementsAreArray({"H0 010e0002"}));
}

TEST_F(hid_device_test, cancel_after_a_full_report_writes_the_cancellation_report)
{
    for (const bool notification : {false, true}) {
        device.clear_transcript();
        device.set_point_hook([&](usb_front_end::point where, unsigned) {
            if (where == usb_front_end::point::before_ack)
                cancel.set();
        });
        std::stringstream message(std::string(200, 'A'));
        message.seekp(0, std::ios_base::end);
        std::stringstream out;
        if (notification)
            EXPECT_THROW(host->notify(3, &message, cancel), operation_canceled);
        else
            EXPECT_THROW(host->download(message, out, cancel), operation_canceled);
        const auto hosts = host_lines_when(2);
        ASSERT_EQ(hosts.size(), 2u);
        EXPECT_EQ(hosts[1], notification ? "H0 010a0101" : "H0 01080101");
        cancel.reset();
        device.set_point_hook(nullptr);
    }
    EXPECT_THAT(device.violations(), IsEmpty());
    EXPECT_TRUE(device.messages().empty());
}

TEST_F(hid_device_test, cancel_at_the_last_report_sends_footer_1)
{
    std::stringstream request("req");
    request.seekp(0, std::ios_base::end);
    cancelling_buffer buffer("payload", cancel);
    std::istream payload(&buffer);
    EXPECT_THROW(host->upload(request, payload, cancel), operation_canceled);
    // ring, word 3, "req", "payload", footer 1: N = 14.
    EXPECT_THAT(host_lines_when(1),
                ElementsAreArray({"H0 0138000300" + hex_text("reqpayload") + "01"}));
    EXPECT_TRUE(device.messages().empty());
}

TEST_F(hid_device_test, cancel_during_the_response)
{
    struct row {
        std::size_t payload;
        bool canceled;
        std::vector<std::string> acks;
    } const rows[] = {
        // A report that announces more gets a stop instead of a continue.
        {100, true, {"H0 0104"}},
        // The last report needs no acknowledgement: the response's result.
        {10, false, {}},
    };
    for (const auto& r : rows) {
        device.clear_transcript();
        const std::string payload = bytes_of(r.payload);
        handler.answer_with([=](const auto&) { return device_answer::ok(payload); });
        device.set_point_hook([&](usb_front_end::point where, unsigned) {
            if (where == usb_front_end::point::before_response_report)
                cancel.set();
        });
        std::stringstream request("q");
        request.seekp(0, std::ios_base::end);
        std::stringstream response;
        if (r.canceled) {
            EXPECT_THROW(host->download(request, response, cancel), operation_canceled);
        } else {
            EXPECT_EQ(host->download(request, response, cancel), 0);
            EXPECT_EQ(response.str(), payload);
        }
        const auto hosts = host_lines_when(1 + r.acks.size());
        EXPECT_THAT(std::vector<std::string>(hosts.begin() + 1, hosts.end()),
                    ElementsAreArray(r.acks));
        device.set_point_hook(nullptr);
        cancel.reset();
    }
}

TEST_F(hid_device_test, one_mebibyte_each_way_arrives_byte_exact)
{
    const std::string payload = bytes_of(1 << 20, 7);
    temp_dir dir;
    const auto file = dir / "payload.bin";
    std::ofstream(file, std::ios::binary) << payload;

    std::stringstream request("PUT /file");
    request.seekp(0, std::ios_base::end);
    std::ifstream upload(file, std::ios::binary);
    std::stringstream dropped;
    ASSERT_EQ(host->upload(request, upload, cancel), 0);
    ASSERT_EQ(device.messages().size(), 1u);
    EXPECT_EQ(device.messages()[0].request, "PUT /file");
    EXPECT_TRUE(device.messages()[0].payload == payload);

    handler.answer_with([=](const auto&) { return device_answer::ok(payload); });
    std::stringstream get("GET /file");
    get.seekp(0, std::ios_base::end);
    std::stringstream response;
    ASSERT_EQ(host->download(get, response, cancel), 0);
    EXPECT_TRUE(response.str() == payload);
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, failing_payload_stream_cancels_the_upload)
{
    std::stringstream request("PUT");
    request.seekp(0, std::ios_base::end);
    failing_buffer buffer(std::string(100, 'P'));
    std::istream payload(&buffer);
    EXPECT_THROW(host->upload(request, payload, cancel), stream_failure);
    // Full reports up to the failure, then the cancellation report.
    const auto hosts = host_lines_when(2);
    ASSERT_EQ(hosts.size(), 2u);
    EXPECT_EQ(hosts[1], "H0 01080101");
    EXPECT_TRUE(device.messages().empty());
    EXPECT_THAT(device.violations(), IsEmpty());
}

} // namespace
} // namespace zarvo::test
