#pragma once

// A connection provider over the real device library core, with devices
// published into it by hand: the device emulator's model behind a USB-like
// fake connection, or a scripted fake connection for error cases.

#include "connectlib/provider/connection_provider.h"
#include "connectlib/types/tc_data.h"
#include "tests/connectlib/support/process_events.h"
#include "tests/connectlib/worker/emulator_model.h"
#include "tests/connectlib/worker/worker_harness.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/fake_connection.h"
#include "tests/support/temp_dir.h"

#include <QObject>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace ConnectLib::Test {

// The provider's device events as they reach an object on the test's thread,
// connected by signature like the program's.
class DeviceEvents : public QObject {
    Q_OBJECT
public:
    struct Event {
        QString kind; // "appeared", "disappeared", "idling", "battery", "announce", "removed"
        ConnectLib::TCData data;
        int charge = 0;
    };

    // True when every connection was made.
    bool connectTo(ConnectionProvider* provider);

    std::vector<Event> events() const { return m_events; }
    std::vector<Event> of(const QString& kind) const;
    std::vector<Event> of(const QString& kind, quint64 deviceId) const;
    // False when one came on another thread.
    bool allOnOwnThread() const { return m_allOnOwnThread; }
    void clear() { m_events.clear(); }

public slots:
    void appeared(ConnectLib::TCData data) { add(QStringLiteral("appeared"), data); }
    void disappeared(ConnectLib::TCData data) { add(QStringLiteral("disappeared"), data); }
    void idling(ConnectLib::TCData data) { add(QStringLiteral("idling"), data); }
    void battery(ConnectLib::TCData data, int charge)
    {
        add(QStringLiteral("battery"), data, charge);
    }
    void announce() { add(QStringLiteral("announce"), TCData()); }
    void removed() { add(QStringLiteral("removed"), TCData()); }

private:
    void add(const QString& kind, const ConnectLib::TCData& data, int charge = 0);

    std::vector<Event> m_events;
    bool m_allOnOwnThread = true;
};

class ProviderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the provider and connects the device events.
    void createProvider();
    void destroyProvider();
    ConnectionProvider* provider() { return m_provider.get(); }

    // Puts a connection into the core under id; the core owns it.
    void publish(quint64 id, zarvo::core::connection* connection);
    void withdraw(quint64 id, zarvo::core::connection* connection);
    // A device model under id behind a USB-like fake connection, published.
    std::shared_ptr<zarvo::emulator::device_model> publishModel(
        quint64 id,
        zarvo::emulator::device_profile profile = zarvo::emulator::device_profile::usb_device());
    zarvo::core::connection* connectionOf(quint64 id) const;

    // A request for the current user data of the registered device, held
    // inside the model until stall is released; result records its answer.
    struct HeldRequest {
        std::shared_ptr<zarvo::emulator::stall> stall;
        std::unique_ptr<QSignalSpy> result;
    };
    HeldRequest holdUserRequest(zarvo::emulator::device_model& model,
                                const ConnectLib::TCData& record);

    // Waits for the device's SIGNAL_TCAppeared and returns its record.
    ConnectLib::TCData waitAppeared(quint64 id);
    bool waitDisappeared(quint64 id);
    // The device's registration has ended one way or the other (nothing
    // further can come from it): its session is registered or dropped.
    void settle(int ms = 300) { processFor(ms); }

    zarvo::test::temp_dir m_dir;
    QString m_offlineRoot;
    DeviceEvents m_events;
    LogLines m_log;

private:
    std::unique_ptr<ConnectionProvider> m_provider;
    std::vector<std::pair<quint64, zarvo::core::connection*>> m_published;
};

// The USB model's device id replaced by a test id.
zarvo::emulator::device_profile profileFor(quint64 id);

} // namespace ConnectLib::Test
