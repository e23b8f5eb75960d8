#pragma once

// A zftp_client connected over ::1 to the emulator's TCP front end, which
// serves a device model through a script of answers given ahead of it.

#include "devicelib/dorvane/zftp_client.h"
#include "tests/support/latch.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/tcp_front_end.h"
#include "tools/emulator/usb_device.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace zarvo::test {

// Counts its calls; a second call is a fault the tests look for.
class recording_observer
    : public dorvane::zftp_client_observer::zftp_client_disconnection_observer {
public:
    void disconnected(dorvane::zftp_client* client) override;
    int calls() const;
    bool wait_for_call() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int calls_ = 0;
};

// Answers from its queue, then from the device model.
class scripted_handler : public emulator::message_handler {
public:
    explicit scripted_handler(emulator::message_handler& next);
    void push(emulator::device_answer answer);
    emulator::device_answer handle(const emulator::host_message& message) override;

private:
    emulator::message_handler& next_;
    std::mutex mutex_;
    std::deque<emulator::device_answer> queue_;
};

emulator::device_answer answer_code(std::uint16_t code);

class net_rig {
public:
    // Serves the model; the client is made by connect().
    explicit net_rig(const std::string& version = "2.0.5");
    ~net_rig();

    // Connects a client, reads the greeting (expecting result) and sets the
    // server version from it. The default wait is generous on purpose: the
    // link's own 10 s is no test's limit, and an 8 MB transfer under the race
    // checker on a loaded machine can pause that long between frames.
    void connect(int expected_greeting = 0, int callback_timeout_ms = 60000);

    emulator::device_model model;
    emulator::model_handler model_handler{model};
    scripted_handler handler{model_handler};
    emulator::tcp_front_end front;
    recording_observer observer;
    std::unique_ptr<dorvane::zftp_client> client;
    std::string greeting;
    std::string version;
};

} // namespace zarvo::test
