#pragma once

// The emulated device behind the connection contract's real-transport rigs:
// it answers each host message from the contract's script and records it as
// the device decoded it. A stalled answer holds the exchange until the
// test's latch opens or the host cancels. Each link frames a code with a
// payload in its own way, so a rig may say how.

#include "tests/support/exchange_backend.h"
#include "tools/emulator/message_handler.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace zarvo::test {

class contract_device : public emulator::message_handler {
public:
    // The contract's answers, and the requests as the device decoded them.
    scripted_backend script;

    emulator::device_answer handle(const emulator::host_message& message) override;

    std::size_t notifications() const;

    // The host's cancel request. Returns once a held exchange has let go:
    // the hold reads the test's latch, and whoever waits for the cancelling
    // thread must also see the end of that read.
    void cancelled();
    void cancel_reset();

protected:
    // A non-zero code with a payload. By default the payload is not sent:
    // the answer is the code alone.
    virtual emulator::device_answer code_with_payload(int code, const std::string& payload);
    // A held exchange that the host cancelled. By default nothing is sent.
    virtual emulator::device_answer cancelled_while_held();

private:
    // Holds the exchange until the latch opens (true) or the host cancels.
    bool hold(const latch& stall);

    std::mutex mutex_;
    std::condition_variable changed_;
    bool cancelled_ = false;
    bool holding_ = false;
};

} // namespace zarvo::test
