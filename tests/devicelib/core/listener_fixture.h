#pragma once

// What the listener and suspend tests share: the fake USB-like and
// network-like drivers, listeners that are stopped before they go away, and
// device ids of their own.

#include "devicelib/core/engine.h"
#include "devicelib/core/session.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/core_snapshot.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_device_drivers.h"
#include "tests/support/fake_listener.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>

namespace zarvo::test {

class listener_fixture : public trace_fixture {
protected:
    void SetUp() override
    {
        trace_fixture::SetUp();
        usb_like_driver::set_plug_in_delay(0);
    }
    void TearDown() override
    {
        for (auto& l : listeners_)
            l.stop();
        trace_fixture::TearDown();
    }

    fake_listener& listener(std::size_t i = 0) { return listeners_.at(i); }
    static fake_bus& usb() { return usb_like_driver::bus(); }
    static fake_bus& net() { return net_like_driver::bus(); }
    std::uint64_t device(std::size_t i = 0) const { return devices_.at(i).id(); }
    static std::size_t threads_of(const core_snapshot& s, zarvo::listener& l)
    {
        const auto it = s.listener_threads.find(&l);
        return it == s.listener_threads.end() ? 0 : it->second;
    }
    // Starts the listener and waits until the drivers run.
    void start(std::size_t i = 0)
    {
        listener(i).start();
        // The attachment queues the drivers' start behind whatever is queued
        // then; the second query comes after it.
        take_snapshot();
        take_snapshot();
    }

private:
    std::array<test_device, 3> devices_;
    std::array<fake_listener, 3> listeners_;
};

} // namespace zarvo::test
