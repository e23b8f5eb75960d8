#pragma once

// A device published into the device library's core, a listener that guards
// its session as the provider's adapter does, and a worker over that guard on
// a thread of its own.

#include "connectlib/types/tc_data.h"
#include "connectlib/worker/session_guard.h"
#include "devicelib/core/connection.h"
#include "devicelib/core/listener.h"
#include "tests/connectlib/worker/emulator_model.h"
#include "tests/connectlib/worker/worker_harness.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/fake_connection.h"
#include "tests/support/temp_dir.h"
#include "tests/support/usb_test_device.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace ConnectLib::Test {

// Makes a guard on a session's first establishment and empties it when the
// session's last connection has gone. The guard goes to the device's worker.
class GuardingListener : public zarvo::listener {
public:
    void established(zarvo::session& s) override;
    void rerouted(zarvo::session&) override {}
    void disconnected(zarvo::session& s) override;

    // The guard of the device's session, once established; the caller owns
    // it. Null when none came in time.
    SessionGuard* takeGuard(std::uint64_t deviceId);
    bool waitEnded(std::uint64_t deviceId);

private:
    struct Entry {
        SessionGuard* guard = nullptr;
        bool taken = false;
        bool ended = false;
    };
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::uint64_t, Entry> m_entries;
};

// The USB driver of the device library watches a folder of this test's own,
// empty unless a test plugs an emulated device into it.
class DeviceFixture : public ::testing::Test {
protected:
    DeviceFixture();
    void SetUp() override;
    void TearDown() override;

    std::uint64_t id() const { return m_id; }
    // A record of the device as a request carries it.
    TCData record() const;

    // Publishes the connection (the core takes it) and starts a worker over
    // the session's guard.
    void publish(zarvo::core::connection* connection);
    // A scripted connection, published.
    zarvo::test::fake_connection& publishFake();
    // A model of a USB device under this device's id behind a USB-like fake
    // connection, published.
    zarvo::emulator::device_model& publishModel();
    // A model plugged in as an emulated USB device, found by the USB driver.
    zarvo::emulator::device_model& plugUsbModel();
    // The connection goes (or the USB device is unplugged); the listener
    // empties the guard.
    void withdraw();
    // The plugged USB model goes off the bus before it sends its next
    // response report (callable from the model's thread).
    void unplugBeforeNextAnswer();

    WorkerThread& thread() { return *m_thread; }
    TCWorker* worker() { return m_thread->worker(); }
    SessionGuard& guard() { return *m_guard; }

    LogLines log;

private:
    void startWorker();

    zarvo::test::temp_dir m_hidDir;
    zarvo::test::test_device m_device;
    zarvo::test::usb_test_device m_usbDevice;
    std::uint64_t m_id;
    GuardingListener m_listener;
    // The hub serves the model: it goes first.
    std::shared_ptr<zarvo::emulator::device_model> m_model;
    std::unique_ptr<zarvo::emulator::usb_hub> m_hub;
    zarvo::core::connection* m_connection = nullptr;
    SessionGuard* m_guard = nullptr;
    std::unique_ptr<WorkerThread> m_thread;
};

} // namespace ConnectLib::Test
