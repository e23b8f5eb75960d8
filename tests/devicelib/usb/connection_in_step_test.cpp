// The link stays in step after a reception the host abandons: no report of
// an abandoned response is ever taken as part of a later exchange. Each way
// of abandoning a read is followed at once, with no pause, by reads of other
// files.

#include "devicelib/errors/errors.h"
#include "devicelib/usb/hid_connection.h"
#include "tests/devicelib/usb/connection_fixture.h"
#include "tests/support/limited_buffer.h"
#include "tests/support/param_name.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <gmock/gmock.h>

#include <random>
#include <sstream>
#include <stdexcept>

namespace zarvo::test {
namespace {

using emulator::usb_front_end;
using ::testing::AnyOf;
using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr std::size_t first_room = 59;
constexpr std::size_t later_room = 61;

enum class abandon {
    stream_at_boundary,
    stream_inside_report,
    n_0,
    n_above_62,
    ring,
    footer,
    status,
    cancel,
};

const char* name_of(abandon a)
{
    switch (a) {
    case abandon::stream_at_boundary:
        return "stream fails at a report boundary";
    case abandon::stream_inside_report:
        return "stream fails inside a report";
    case abandon::n_0:
        return "N = 0";
    case abandon::n_above_62:
        return "N > 62";
    case abandon::ring:
        return "wrong ring counter";
    case abandon::footer:
        return "missing footer";
    case abandon::status:
        return "non-zero status announcing more";
    default:
        return "cancel";
    }
}

// The device's response to a read of content, spoiled at report `at` as the
// way of abandoning needs; empty when the device answers normally.
std::vector<std::string> spoiled_response(abandon how, const std::string& content, unsigned at)
{
    auto reports = emulator::response_reports(0, content);
    auto& r = reports.at(at);
    switch (how) {
    case abandon::n_0:
        r[1] = 0x01;
        break;
    case abandon::n_above_62:
        r[1] = static_cast<char>(63 << 2 | 1);
        break;
    case abandon::ring:
        r[2] = static_cast<char>(r[2] + 9);
        break;
    case abandon::footer:
        // A last report with N = 1: ring counter only.
        r[1] = 1 << 2;
        reports.resize(at + 1);
        break;
    case abandon::status:
        reports = emulator::response_reports(203, content);
        break;
    default:
        return {};
    }
    return reports;
}

// Reads path the way `how` abandons it; the read must fail with a library
// error. at: the report at which it is abandoned.
void abandoned_read(abandon how, unsigned at, usb::hid_connection& link,
                    emulator::usb_device& device, const std::string& path,
                    const std::string& content)
{
    const auto spoiled = spoiled_response(how, content, at);
    if (!spoiled.empty())
        device.handler().answer_once(emulator::match::file(emulator::command::get, path), spoiled);
    std::size_t capacity = content.size();
    if (how == abandon::stream_at_boundary)
        capacity = first_room + later_room * at;
    else if (how == abandon::stream_inside_report)
        capacity = first_room + later_room * at + 17;
    if (how == abandon::cancel) {
        // The device is about to send report `at`: the host's answer to it
        // is a stop in place of the continue.
        auto& front_end = device.front_end();
        const unsigned base = static_cast<unsigned>(front_end.device_report_count());
        front_end.set_point_hook(
            [&link, base, at, &front_end](usb_front_end::point where, unsigned) {
                if (where == usb_front_end::point::before_response_report &&
                    front_end.device_report_count() == base + at)
                    link.cancel();
            });
    }
    limited_buffer buffer(capacity);
    std::ostream out(&buffer);
    EXPECT_THROW(link.read(path, out), zarvo::exception);
    device.front_end().set_point_hook(nullptr);
    link.reset_cancel();
}

struct files {
    std::vector<std::pair<std::string, std::string>> others;

    explicit files(emulator::device_model& model)
    {
        model.put_file("/ABANDON.BIN", bytes_of_size(5000, 1));
        const std::size_t sizes[] = {5000, 1, 61 * 3 - 2, 700};
        for (unsigned i = 0; i < 4; ++i) {
            const std::string path = "/OTHER" + std::to_string(i) + ".BIN";
            others.emplace_back(path, bytes_of_size(sizes[i], 10 + i));
            model.put_file(path, others.back().second);
        }
    }
};

TEST(connection_in_step, abandoned_reads_never_leak_into_the_next_over_the_seam)
{
    const abandon ways[] = {abandon::stream_at_boundary,
                            abandon::stream_inside_report,
                            abandon::n_0,
                            abandon::n_above_62,
                            abandon::ring,
                            abandon::footer,
                            abandon::status,
                            abandon::cancel};
    for (const bool streams : {false, true}) {
        for (const auto how : ways) {
            for (const unsigned at : {1u, 40u}) {
                SCOPED_TRACE(std::string(name_of(how)) + " at report " + std::to_string(at) +
                             (streams ? ", device streams on after a stop" : ""));
                temp_dir dir;
                emulator::device_model model;
                const files f(model);
                emulator::usb_device device(model);
                device.front_end().set_streams_after_stop(streams);
                const auto path = device.front_end().serve_in(dir.path());
                usb::hid_device host(nullptr, path.string());
                ASSERT_TRUE(host.is_open());
                usb::hid_connection link(nullptr, host);

                abandoned_read(how, at, link, device, "/ABANDON.BIN",
                               model.file("/ABANDON.BIN").value());
                for (const auto& [other, content] : f.others) {
                    std::ostringstream out;
                    try {
                        link.read(other, out);
                        // Never another file's bytes as success.
                        EXPECT_TRUE(out.str() == content) << other;
                    } catch (const zarvo::exception& e) {
                        // A device that goes on after the host's stop may
                        // cost an exchange; one that stops never does.
                        EXPECT_TRUE(streams) << other << ": " << e.std_base().what();
                    }
                }
                // No acknowledgement out of turn, not even for a report the
                // host discarded. A device that streams on may outlast the
                // host's settle on a slow machine; the host then discards a
                // response it never acknowledges, which that device notes.
                // When it was still streaming as the next request arrived,
                // its own idea of whose turn it is is lost, so only the
                // content checks above hold then.
                const auto violations = device.front_end().violations();
                const bool overran =
                    std::any_of(violations.begin(), violations.end(), [](const std::string& v) {
                        return v.find("expected acknowledgement, got") != std::string::npos;
                    });
                if (!streams) {
                    EXPECT_THAT(violations, IsEmpty());
                } else if (!overran) {
                    EXPECT_THAT(violations, Each(Not(AnyOf(HasSubstr("acknowledgement out of turn"),
                                                           HasSubstr("acknowledgement ring")))));
                }
            }
        }
    }
}

class connection_in_step_loop : public hid_connection_test,
                                public ::testing::WithParamInterface<unsigned> {};

TEST_P(connection_in_step_loop, every_read_after_an_abandoned_one_is_byte_exact)
{
    std::mt19937 random(GetParam());
    const files f(device_model);
    const std::string abandoned = device_model.file("/ABANDON.BIN").value();
    const abandon ways[] = {abandon::stream_at_boundary,
                            abandon::stream_inside_report,
                            abandon::n_0,
                            abandon::n_above_62,
                            abandon::ring,
                            abandon::footer,
                            abandon::status,
                            abandon::cancel};
    // The 5000-byte file has 82 reports.
    for (unsigned round = 0; round < 200; ++round) {
        const auto how = ways[random() % std::size(ways)];
        const unsigned at = 1 + static_cast<unsigned>(random() % 80);
        SCOPED_TRACE(std::string(name_of(how)) + " at " + std::to_string(at) + ", round " +
                     std::to_string(round));
        abandoned_read(how, at, *link, device, "/ABANDON.BIN", abandoned);
        const auto& [other, content] = f.others[random() % f.others.size()];
        std::ostringstream out;
        ASSERT_NO_THROW(link->read(other, out));
        ASSERT_TRUE(out.str() == content) << other;
    }
    EXPECT_THAT(device.front_end().violations(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(seeds, connection_in_step_loop, ::testing::Values(7u, 2024u),
                         zarvo::test::printed_name{"seed"});

TEST_F(hid_connection_test, abandoned_uploads_leave_the_link_in_step)
{
    const files f(device_model);
    const auto& [other, content] = f.others[0];
    // The host abandons: its payload stream fails part-way.
    class failing : public std::streambuf {
    public:
        failing()
            : bytes_(300, 'P')
        {
            setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
        }

    protected:
        int_type underflow() override { throw std::runtime_error("disk gone"); }

    private:
        std::string bytes_;
    } buffer;
    std::istream payload(&buffer);
    payload.exceptions(std::ios_base::goodbit);
    EXPECT_THROW(link->write("/UP.BIN", payload), stream_failure);
    std::ostringstream out;
    link->read(other, out);
    EXPECT_TRUE(out.str() == content);

    // The device abandons: it stops the upload at its second report.
    device.front_end().script_ack(static_cast<unsigned>(device.front_end().ack_count()) + 1,
                                  emulator::ack_script::stop(205));
    std::istringstream big(bytes_of_size(1000, 3));
    EXPECT_THROW(link->write("/UP.BIN", big), disk_full);
    std::ostringstream again;
    link->read(other, again);
    EXPECT_TRUE(again.str() == content);
    EXPECT_FALSE(device_model.file("/UP.BIN").has_value());
    EXPECT_THAT(device.front_end().violations(), IsEmpty());
}

} // namespace
} // namespace zarvo::test
