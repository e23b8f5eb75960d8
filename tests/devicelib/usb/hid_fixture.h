#pragma once

// A hid_device on one connection of an emulated device, with recorders for
// removal reports and notifications and a trace recorder.

#include "devicelib/usb/hid_device.h"
#include "tests/support/latch.h"
#include "tests/support/recording_logger.h"
#include "tools/emulator/usb_front_end.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace zarvo::test {

class removal_recorder : public usb::hid_removal_sink {
public:
    void report_removal(usb::hid_device&) override { ++count; }
    std::atomic<int> count{0};
};

class notification_recorder : public usb::hid_notification_sink {
public:
    bool notification(unsigned id, std::istream& parameters) override;

    std::vector<std::pair<unsigned, std::string>> received() const;
    // Waits until count notifications have arrived.
    bool wait(std::size_t count) const;

    // What the handler answers, and how many bytes it reads first.
    bool answer = true;
    std::size_t parse_limit = std::string::npos;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::pair<unsigned, std::string>> received_;
};

// Answers every host message through a function the test sets.
class scripted_handler : public emulator::message_handler {
public:
    emulator::device_answer handle(const emulator::host_message& message) override;
    void answer_with(std::function<emulator::device_answer(const emulator::host_message&)> f);

private:
    std::mutex mutex_;
    std::function<emulator::device_answer(const emulator::host_message&)> answer_;
};

class hid_device_test : public trace_fixture {
protected:
    hid_device_test();
    void TearDown() override;

    void start_thread() { host->start_notification_thread(&notifications); }
    // The host's reports in the transcript, "H0 ..." lines only or all.
    std::vector<std::string> host_lines() const;
    // The same, once at least count of them have arrived.
    std::vector<std::string> host_lines_when(std::size_t count) const;
    std::vector<std::string> lines() const { return device.transcript(); }
    // Traces of the library without the function name.
    std::vector<std::string> traces() const;
    bool traced(const std::string& message) const;

    scripted_handler handler;
    emulator::usb_front_end device{0x1234, 0x5678, "SER", handler};
    removal_recorder removals;
    notification_recorder notifications;
    std::unique_ptr<usb::hid_device> host;
    platform::event cancel;
};

std::string bytes_of(std::size_t size, unsigned seed = 0);
std::string hex_text(const std::string& bytes);
std::string repeat_hex(const char* pair, std::size_t count);

} // namespace zarvo::test
