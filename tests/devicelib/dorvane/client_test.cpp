// The network client against the emulator's TCP front end on ::1.

#include "devicelib/dorvane/zftp_answers.h"
#include "devicelib/errors/errors.h"
#include "tests/devicelib/dorvane/net_rig.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <boost/core/demangle.hpp>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

namespace zarvo::test {
namespace {

using closing = emulator::tcp_front_end::closing;
using emulator::code_frame;
using emulator::device_frame;
using emulator::notification_frame;

std::string pattern(std::size_t n, unsigned seed = 1)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
    return s;
}

std::size_t count_lines(const recording_logger& log, const std::string& text)
{
    std::size_t n = 0;
    for (const auto& m : log.messages())
        n += m.find(text) != std::string::npos;
    return n;
}

const char* const notification_seen = "Device to host notification received";

class ZftpClient : public trace_fixture {};

TEST_F(ZftpClient, WritesAndReadsByteExactInBothFramings)
{
#if defined(__SANITIZE_THREAD__)
    // Under the race checker a large transfer costs minutes on a busy machine; many frames still
    // pass with the smaller one.
    constexpr std::size_t large = 1u << 20;
#else
    constexpr std::size_t large = 8u << 20;
#endif
    const std::size_t sizes[] = {0, 1, 16380, 16381, 16383, 16384, 2 * 16383, large};
    for (const char* version : {"2.0.5", "1.4"}) {
        net_rig rig(version);
        rig.connect();
        EXPECT_EQ(rig.client->framing_v2(), version[0] == '2');
        for (std::size_t size : sizes) {
            SCOPED_TRACE(std::string(version) + " size " + std::to_string(size));
            const std::string content = pattern(size, static_cast<unsigned>(size));
            std::istringstream in(content);
            rig.client->write("/F.BIN", in);
            EXPECT_TRUE(rig.model.file("/F.BIN") == content);
            std::ostringstream out;
            rig.client->read("/F.BIN", out);
            EXPECT_TRUE(out.str() == content) << out.str().size() << " bytes read";
        }
        // From a file stream too.
        const std::string path = ::testing::TempDir() + "zftp_client_upload.bin";
        std::ofstream(path, std::ios::binary) << pattern(40000);
        std::ifstream file(path, std::ios::binary);
        rig.client->merge("/M.BIN", file);
        EXPECT_EQ(rig.observer.calls(), 0);
    }
}

TEST_F(ZftpClient, FramingFollowsTheServerVersion)
{
    for (const char* version : {"2.0.5", "2.0.5-beta", "1.4"}) {
        net_rig rig(version);
        rig.connect();
        EXPECT_EQ(rig.greeting, emulator::greeting_line(version, rig.model.profile().serial())
                                    .substr(0, rig.greeting.size()));
        std::istringstream in("12345");
        rig.client->write("/A", in);
        const auto t = rig.front.transcript();
        const bool newer = version[0] == '2';
        // The older framing's first upload frame always announces a full one.
        EXPECT_EQ(std::count_if(t.begin(), t.end(),
                                [](const std::string& l) { return l.rfind("H0 F fffc", 0) == 0; }),
                  newer ? 0 : 1)
            << version;
    }
}

TEST(ZftpAnswers, CodeTable)
{
    struct row {
        int code;
        const std::type_info* type;
        std::string text;
    };
    const std::vector<row> rows = {
        {0, &typeid(bad_response), "Unknown error code 0."},
        {2, &typeid(bad_response), "Unknown error code 2."},
        {100, &typeid(unidentified_host_error), ""},
        {101, &typeid(invalid_command), "Undefined invalid command."},
        {102, &typeid(invalid_parameter), "Invalid parameter."},
        {103, &typeid(no_such_file_or_directory), ""},
        {104, &typeid(directory_exists), ""},
        {105, &typeid(file_exists), ""},
        {106, &typeid(operation_not_permitted), "Operation not permitted."},
        {107, &typeid(no_such_user), ""},
        {108, &typeid(operation_timed_out), ""},
        {200, &typeid(unidentified_device_error), ""},
        {201, &typeid(not_implemented), ""},
        {202, &typeid(device_busy), ""},
        {203, &typeid(invalid_content), ""},
        {204, &typeid(checksum_failure), ""},
        {205, &typeid(disk_full), ""},
        {206, &typeid(prerequisite_not_met), ""},
        {207, &typeid(insufficient_buffer), ""},
        {208, &typeid(wait_for_idling), ""},
        {220, &typeid(operation_timed_out), ""},
        {440, &typeid(operation_canceled), ""},
        {300, &typeid(bad_response), "Unknown error code 300."},
        {10054, &typeid(bad_response), "Unknown error code 10054."},
        {20000 + EPROTO, &typeid(bad_response), "Unknown error code 20071."},
        {-1, &typeid(bad_response), "Unknown error code -1."},
        {-99, &typeid(bad_response), "Unknown error code -99."},
        {-100, &typeid(bad_response), "Unknown error code -100."},
    };
    EXPECT_NO_THROW(dorvane::zftp_error_to_exception(1, "/P"));
    for (const auto& r : rows) {
        try {
            dorvane::zftp_error_to_exception(r.code, "/P");
            ADD_FAILURE() << r.code << " threw nothing";
        } catch (const std::exception& e) {
            EXPECT_TRUE(typeid(e) == *r.type)
                << r.code << ": " << boost::core::demangle(typeid(e).name());
            EXPECT_NE(std::string(e.what()).find(r.text), std::string::npos)
                << r.code << ": " << e.what();
            std::string path;
            if (auto* p = dynamic_cast<const no_such_file_or_directory*>(&e))
                path = p->path();
            if (auto* p = dynamic_cast<const directory_exists*>(&e))
                path = p->path();
            if (auto* p = dynamic_cast<const file_exists*>(&e))
                path = p->path();
            EXPECT_EQ(path, r.code >= 103 && r.code <= 105 ? "/P" : "") << r.code;
        }
    }
}

TEST_F(ZftpClient, OversizedArgumentsAreRefusedBeforeAnythingIsWritten)
{
    net_rig rig;
    rig.connect();
    rig.front.clear_transcript();
    const auto expect_refused = [&](const std::function<void()>& op, const std::string& name) {
        try {
            op();
            ADD_FAILURE() << name << " not refused";
        } catch (const invalid_parameter& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    };
    expect_refused(
        [&] {
            std::ostringstream out;
            rig.client->read("/" + std::string(16380, 'a'), out);
        },
        "path");
    expect_refused(
        [&] {
            std::istringstream p(std::string(16383, 'n'));
            rig.client->notify(1, p);
        },
        "parameters");
    expect_refused(
        [&] {
            std::istringstream p;
            std::ostringstream r;
            rig.client->query(256, p, r);
        },
        "id");
    expect_refused(
        [&] {
            std::istringstream p;
            rig.client->notify(-1, p);
        },
        "id");
    EXPECT_TRUE(rig.front.transcript().empty());
    // The longest notification still goes out whole.
    std::istringstream p(std::string(16382, 'n'));
    EXPECT_EQ(rig.client->notify(9, p), 0);
    ASSERT_TRUE(rig.front.wait_messages(1));
    EXPECT_EQ(rig.front.messages().back().payload.size(), 16382u);
}

TEST_F(ZftpClient, Greetings)
{
    const std::string line = "Zarvo FTP server version 2.0.5 at 0000012A.";
    struct row {
        const char* name;
        std::function<void(emulator::tcp_front_end&)> setup;
        int result;
        std::string text;
        std::size_t idles;
    };
    // Split at the line end, the rest held until the client has matched the
    // first piece and waits for its line end.
    const auto split_at_line_end = [&](emulator::tcp_front_end& f, const std::string& greeting,
                                       std::size_t at) {
        f.set_greeting(greeting, true);
        f.set_greeting_split(at, [&] {
            eventually(
                [&] { return count_lines(log, "greeting matched before its line end") > 0; });
        });
    };
    const std::vector<row> rows = {
        {"whole", [&](auto& f) { f.set_greeting(line + "\n", true); }, 0, line, 0},
        {"split",
         [&](auto& f) {
             f.set_greeting(line + "\n", true);
             f.set_greeting_split(10);
         },
         0, line, 0},
        {"byte by byte",
         [&](auto& f) {
             f.set_greeting(line + "\n", true);
             f.set_byte_by_byte(true);
         },
         0, line, 0},
        {"with an idle",
         [&](auto& f) {
             f.set_greeting(line + "\n", true);
             f.set_greeting_tail(notification_frame(2, ""));
         },
         0, line, 1},
        {"cr lf", [&](auto& f) { f.set_greeting(line + "\r\n", true); }, 0, line, 0},
        // Split just before the line end: the rest is the greeting's, never a
        // frame's.
        {"split before its lf", [&](auto& f) { split_at_line_end(f, line + "\n", line.size()); }, 0,
         line, 0},
        {"cr lf split before its lf",
         [&](auto& f) { split_at_line_end(f, line + "\r\n", line.size() + 1); }, 0, line, 0},
        {"cr lf split before its cr",
         [&](auto& f) { split_at_line_end(f, line + "\r\n", line.size()); }, 0, line, 0},
        {"cr lf split with an idle",
         [&](auto& f) {
             split_at_line_end(f, line + "\r\n", line.size());
             f.set_greeting_tail(notification_frame(2, ""));
         },
         0, line, 1},
        {"300 bytes", [&](auto& f) { f.set_greeting(std::string(300, 'g'), true); }, 0,
         std::string(255, 'g'), 0},
        {"id 00000000",
         [&](auto& f) { f.set_greeting("Zarvo FTP server version 1.4 at 00000000.\n", false); }, 0,
         "Zarvo FTP server version 1.4 at 00000000.", 0},
        {"absent", [&](auto& f) { f.set_greeting("", false); }, 220, "", 0},
        {"closed",
         [&](auto& f) {
             f.close_after_greeting(closing::fin);
             f.set_greeting("", false);
         },
         10054, "", 0},
        {"reset",
         [&](auto& f) {
             f.close_after_greeting(closing::reset);
             f.set_greeting("", false);
         },
         10054, "", 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        log.clear();
        net_rig rig;
        r.setup(rig.front);
        const bool silent = r.result == 220;
        rig.connect(r.result, silent ? 200 : 10000);
        EXPECT_EQ(rig.greeting, r.text);
        if (r.idles)
            eventually([&] { return count_lines(log, notification_seen) >= r.idles; });
        // A line cut at 255 bytes leaves its rest in the stream.
        if ((r.result == 0 && r.text.size() < 255) || silent) {
            // The listening thread runs: an idle now is seen once.
            rig.front.notify(2, "");
            eventually([&] { return count_lines(log, notification_seen) >= r.idles + 1; });
            EXPECT_EQ(count_lines(log, notification_seen), r.idles + 1);
        }
    }
}

TEST_F(ZftpClient, AGreetingReadEndsOnCancel)
{
    net_rig rig;
    rig.front.set_greeting("", false);
    rig.client =
        std::make_unique<dorvane::zftp_client>(rig.front.connect_host(), 0, 1, &rig.observer);
    rig.client->cancel();
    std::string text;
    EXPECT_EQ(rig.client->read_greeting(text), 440);
}

TEST_F(ZftpClient, ByteByByteDelivery)
{
    net_rig rig;
    rig.connect();
    const std::string content = pattern(1 << 20);
    rig.model.put_file("/BIG.BIN", content);
    rig.front.set_byte_by_byte(true);
    std::ostringstream out;
    rig.client->read("/BIG.BIN", out);
    EXPECT_TRUE(out.str() == content);
    // A multi-frame query answered byte by byte.
    rig.handler.push(emulator::device_answer::ok(pattern(40000, 3)));
    std::istringstream parameters(pattern(20000, 4));
    std::ostringstream result;
    EXPECT_EQ(rig.client->query(9, parameters, result), 0);
    EXPECT_TRUE(result.str() == pattern(40000, 3));
    ASSERT_FALSE(rig.front.messages().empty());
    EXPECT_TRUE(rig.front.messages().back().payload == pattern(20000, 4));
    // Codes split over segments.
    rig.handler.push(answer_code(105));
    EXPECT_THROW(rig.client->read("/X", out), file_exists);
}

TEST_F(ZftpClient, AResponseAndAnIdleInOneWrite)
{
    net_rig rig;
    rig.connect();
    rig.model.put_file("/A.BIN", "abc");
    rig.front.append_to_next_response(notification_frame(2, ""));
    std::ostringstream out;
    rig.client->read("/A.BIN", out);
    EXPECT_EQ(out.str(), "abc");
    eventually([&] { return count_lines(log, notification_seen) >= 1; });
    // The idle was never taken as the next answer.
    std::ostringstream again;
    rig.client->read("/A.BIN", again);
    EXPECT_EQ(again.str(), "abc");
    EXPECT_EQ(count_lines(log, notification_seen), 1u);
}

TEST_F(ZftpClient, ListeningThreadFrames)
{
    net_rig rig;
    rig.connect();
    // Whole, split and two in one write; other ids and a stray end frame
    // are harmless.
    const std::string idle = notification_frame(2, "");
    rig.front.inject(idle);
    rig.front.inject(idle.substr(0, 1));
    rig.front.inject(idle.substr(1));
    rig.front.inject(idle + notification_frame(7, "xyz"));
    rig.front.inject(code_frame(0));
    rig.front.inject(notification_frame(0, "") + notification_frame(3, "battery"));
    eventually([&] { return count_lines(log, notification_seen) >= 6; });
    EXPECT_EQ(count_lines(log, "stray end of a response"), 1u);
    // A notification queued as an exchange starts is not its answer.
    rig.model.put_file("/A.BIN", "abc");
    rig.front.inject(idle);
    std::ostringstream out;
    rig.client->read("/A.BIN", out);
    EXPECT_EQ(out.str(), "abc");
    EXPECT_EQ(rig.observer.calls(), 0);
}

TEST_F(ZftpClient, AnUnfinishedFrameEndsTheLinkOnce)
{
    net_rig rig;
    rig.connect(0, 200);
    rig.front.inject(notification_frame(2, "abc").substr(0, 3));
    ASSERT_TRUE(rig.observer.wait_for_call());
    EXPECT_EQ(count_lines(log, "out of step"), 1u);
    // The handshake passes at once with the thread gone; the operation
    // fails on the stream's leftovers without a second notice.
    std::ostringstream out;
    EXPECT_ANY_THROW(rig.client->read("/A", out));
    EXPECT_EQ(rig.observer.calls(), 1);
}

TEST_F(ZftpClient, LinkLossTellsTheObserverOnceBeforeTheError)
{
    struct row {
        const char* name;
        closing how;
        bool upload;
    };
    for (const row& r : {row{"fin mid-response", closing::fin, false},
                         row{"reset mid-response", closing::reset, false},
                         row{"fin mid-upload", closing::fin, true},
                         row{"reset mid-upload", closing::reset, true}}) {
        SCOPED_TRACE(r.name);
        net_rig rig;
        rig.connect();
        rig.model.put_file("/BIG.BIN", pattern(100000));
        if (r.upload)
            rig.front.close_after_host_frame(2, r.how);
        else
            rig.front.close_after_device_frame(2, r.how);
        try {
            if (r.upload) {
                std::istringstream in(pattern(100000));
                rig.client->write("/W.BIN", in);
            } else {
                std::ostringstream out;
                rig.client->read("/BIG.BIN", out);
            }
            ADD_FAILURE() << "no error";
        } catch (const directory_exists&) {
            ADD_FAILURE() << "a reset read as the device's answer 104";
        } catch (const bad_response& e) {
            EXPECT_EQ(rig.observer.calls(), 1);
            EXPECT_NE(std::string(e.what()).find("Unknown error code 1005"), std::string::npos)
                << e.what();
        }
        // The next operation fails at once; the observer hears nothing more.
        std::ostringstream out;
        EXPECT_THROW(rig.client->read("/BIG.BIN", out), bad_response);
        EXPECT_EQ(rig.observer.calls(), 1);
    }
}

TEST_F(ZftpClient, ACloseWhileIdleFailsTheNextOperation)
{
    net_rig rig;
    rig.connect();
    rig.front.close_connections();
    ASSERT_TRUE(rig.observer.wait_for_call());
    std::ostringstream out;
    EXPECT_THROW(rig.client->read("/A", out), bad_response);
    std::istringstream in(pattern(1 << 20));
    EXPECT_THROW(rig.client->write("/A", in), bad_response);
    EXPECT_EQ(rig.observer.calls(), 1);
}

TEST_F(ZftpClient, AStalledAnswerTimesOutAndNeverReachesTheNextExchange)
{
    net_rig rig;
    rig.connect(0, 200);
    rig.model.put_file("/ONE.BIN", "first file");
    rig.model.put_file("/TWO.BIN", "second file");
    latch release;
    bool held = false;
    rig.front.set_before_response([&] {
        if (!held) {
            held = true;
            release.wait();
        }
    });
    std::ostringstream out;
    EXPECT_THROW(rig.client->read("/ONE.BIN", out), operation_timed_out);
    release.open();
    // The late answer may arrive any moment now.
    std::ostringstream next;
    try {
        rig.client->read("/TWO.BIN", next);
        EXPECT_EQ(next.str(), "second file");
    } catch (const zarvo::exception&) {
        EXPECT_EQ(next.str().find("first"), std::string::npos);
    }
    EXPECT_EQ(rig.observer.calls(), 1);
}

// Notifications that keep coming while the answer does not never extend the
// exchange's wait: it ends at its time-out while they still flow.
TEST_F(ZftpClient, NotificationsNeverExtendAnExchangesWait)
{
    net_rig rig;
    rig.connect(0, 300);
    rig.model.put_file("/ONE.BIN", "first file");
    latch stalled;
    latch release;
    bool held = false;
    rig.front.set_before_response([&] {
        if (!held) {
            held = true;
            stalled.open();
            release.wait();
        }
    });
    std::atomic<bool> read_ended{false};
    std::atomic<bool> notifier_gave_up{false};
    std::thread notifier([&] {
        stalled.wait();
        // One every 50 ms, far inside the exchange's 300 ms, for far longer
        // than it may wait.
        const auto limit = std::chrono::steady_clock::now() + latch::default_limit;
        while (!read_ended) {
            if (std::chrono::steady_clock::now() > limit) {
                notifier_gave_up = true;
                return;
            }
            rig.front.notify(5, "n");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    std::ostringstream out;
    EXPECT_THROW(rig.client->read("/ONE.BIN", out), operation_timed_out);
    read_ended = true;
    notifier.join();
    release.open();
    EXPECT_FALSE(notifier_gave_up);
    EXPECT_GE(count_lines(log, notification_seen), 1u);
}

// The host gave an exchange up and ended the link: the operations after it
// say why (the host's time-out or cancel), not that the device reset it.
TEST_F(ZftpClient, AfterTheHostEndedTheLinkTheNextOperationsSayWhy)
{
    struct row {
        const char* name;
        bool cancel;
        const std::type_info* type;
    };
    for (const row& r : {row{"time-out", false, &typeid(operation_timed_out)},
                         row{"cancel", true, &typeid(operation_canceled)}}) {
        SCOPED_TRACE(r.name);
        log.clear();
        net_rig rig;
        rig.connect(0, r.cancel ? 60000 : 200);
        rig.model.put_file("/ONE.BIN", "first file");
        latch stalled;
        latch release;
        bool held = false;
        rig.front.set_before_response([&] {
            if (!held) {
                held = true;
                stalled.open();
                release.wait();
            }
        });
        std::thread canceller([&] {
            stalled.wait();
            if (r.cancel)
                rig.client->cancel();
        });
        std::ostringstream out;
        try {
            rig.client->read("/ONE.BIN", out);
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_TRUE(typeid(e) == *r.type) << boost::core::demangle(typeid(e).name());
        }
        canceller.join();
        release.open();
        rig.client->reset_cancel();
        for (int i = 0; i < 2; ++i) {
            try {
                std::istringstream in("x");
                if (i == 0)
                    rig.client->read("/ONE.BIN", out);
                else
                    rig.client->write("/W.BIN", in);
                ADD_FAILURE() << "no error";
            } catch (const std::exception& e) {
                EXPECT_TRUE(typeid(e) == *r.type)
                    << boost::core::demangle(typeid(e).name()) << ": " << e.what();
            }
        }
        EXPECT_EQ(count_lines(log, "10054"), 0u);
        EXPECT_EQ(count_lines(log, "link ended by the host"), 2u);
        EXPECT_EQ(rig.observer.calls(), 1);
    }
}

TEST_F(ZftpClient, ACancelAfterTheRequestNeverLeaksIntoTheNextRead)
{
    net_rig rig;
    rig.connect();
    rig.model.put_file("/ONE.BIN", "first file");
    rig.model.put_file("/TWO.BIN", "second file");
    latch stalled;
    latch release;
    bool held = false;
    rig.front.set_before_response([&] {
        if (!held) {
            held = true;
            stalled.open();
            release.wait();
        }
    });
    std::thread canceller([&] {
        stalled.wait();
        rig.client->cancel();
    });
    std::ostringstream out;
    EXPECT_THROW(rig.client->read("/ONE.BIN", out), operation_canceled);
    canceller.join();
    release.open();
    rig.client->reset_cancel();
    std::ostringstream next;
    try {
        rig.client->read("/TWO.BIN", next);
        EXPECT_EQ(next.str(), "second file");
    } catch (const zarvo::exception&) {
        EXPECT_EQ(next.str().find("first"), std::string::npos);
    }
}

TEST_F(ZftpClient, CancelDuringLargeTransfers)
{
    for (const char* version : {"2.0.5", "1.4"}) {
        for (bool upload : {false, true}) {
            SCOPED_TRACE(std::string(version) + (upload ? " write" : " read"));
            net_rig rig(version);
            rig.connect();
            const std::string content = pattern(8u << 20);
            rig.model.put_file("/BIG.BIN", content);
            // Mid-transfer, at the fifth frame of the transfer's direction.
            const char way = upload ? 'H' : 'D';
            rig.front.set_frame_hook([&, way](char who, unsigned long index) {
                if (who == way && index == 5)
                    rig.client->cancel();
            });
            try {
                if (upload) {
                    std::istringstream in(content);
                    rig.client->write("/BIG.BIN", in);
                } else {
                    std::ostringstream out;
                    rig.client->read("/BIG.BIN", out);
                }
                ADD_FAILURE() << "not cancelled";
            } catch (const operation_canceled&) {
            }
            // The cancel stays until a file operation has seen it.
            std::ostringstream out;
            EXPECT_THROW(rig.client->read("/BIG.BIN", out), bad_response);
            // Whole frames only: the front end saw no violation (checked
            // by the rig), and the link is either clean or ended once.
            EXPECT_LE(rig.observer.calls(), 1);
            if (rig.observer.calls() == 0) {
                std::ostringstream again;
                rig.client->read("/BIG.BIN", again);
                EXPECT_TRUE(again.str() == content);
            }
        }
    }
}

TEST_F(ZftpClient, DestructionWhileTheThreadWaitsOrNotificationsFlow)
{
    {
        net_rig rig;
        rig.connect();
        rig.client.reset();
    }
    net_rig rig;
    rig.connect();
    std::atomic<bool> stop{false};
    std::thread notifier([&] {
        while (!stop)
            rig.front.notify(2, "");
    });
    eventually([&] { return count_lines(log, notification_seen) >= 3; });
    rig.client.reset();
    stop = true;
    notifier.join();
    EXPECT_EQ(rig.observer.calls(), 0);
}

} // namespace
} // namespace zarvo::test
