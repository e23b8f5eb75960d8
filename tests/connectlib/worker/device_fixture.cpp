#include "tests/connectlib/worker/device_fixture.h"

#include "devicelib/core/posting.h"
#include "devicelib/core/session.h"
#include "tests/support/fake_links.h"
#include "tests/support/model_links.h"

#include <cstdlib>

namespace ConnectLib::Test {

void GuardingListener::established(zarvo::session& s)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Entry& entry = m_entries[s.device_id()];
    if (entry.guard)
        return;
    entry.guard = new SessionGuard(&s);
    m_changed.notify_all();
}

void GuardingListener::disconnected(zarvo::session& s)
{
    if (s.connection_count() != 0)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_entries.find(s.device_id());
    if (found == m_entries.end() || found->second.ended)
        return;
    found->second.guard->nullify();
    found->second.ended = true;
    m_changed.notify_all();
}

SessionGuard* GuardingListener::takeGuard(std::uint64_t deviceId)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_changed.wait_for(lock, zarvo::test::latch::default_limit,
                            [&] { return m_entries[deviceId].guard != nullptr; }))
        return nullptr;
    m_entries[deviceId].taken = true;
    return m_entries[deviceId].guard;
}

bool GuardingListener::waitEnded(std::uint64_t deviceId)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, zarvo::test::latch::default_limit,
                              [&] { return m_entries[deviceId].ended; });
}

DeviceFixture::DeviceFixture()
    : m_id(m_device.id())
{
}

void DeviceFixture::SetUp()
{
    // Read when the USB driver starts, with the first listener.
    ::setenv("ZARVO_HID_DIR", m_hidDir.path().c_str(), 1);
    m_listener.start();
}

void DeviceFixture::TearDown()
{
    withdraw();
    m_listener.stop();
    ::unsetenv("ZARVO_HID_DIR");
}

TCData DeviceFixture::record() const
{
    return TCData(id(), QString(), QStringLiteral("Ravo Pace 2"), true, QStringLiteral("HID"),
                  QString(), QString(), QString(), QString(), QString(), OK);
}

void DeviceFixture::publish(zarvo::core::connection* connection)
{
    m_connection = connection;
    zarvo::core::post_publish_connection(id(), connection, 0);
    startWorker();
}

void DeviceFixture::startWorker()
{
    m_guard = m_listener.takeGuard(id());
    ASSERT_NE(m_guard, nullptr) << "the session was never established";
    m_thread = std::make_unique<WorkerThread>(
        new TCWorker(record(), nullptr, nullptr, m_guard, QString()));
}

zarvo::emulator::device_model& DeviceFixture::plugUsbModel()
{
    m_id = m_usbDevice.id();
    zarvo::emulator::device_profile profile = zarvo::emulator::device_profile::usb_device();
    profile.id = m_id;
    m_model = std::make_shared<zarvo::emulator::device_model>(profile);
    m_hub = std::make_unique<zarvo::emulator::usb_hub>(m_hidDir.path());
    m_hub->plug({m_usbDevice.serial()}, *m_model);
    startWorker();
    return *m_model;
}

zarvo::test::fake_connection& DeviceFixture::publishFake()
{
    auto* connection = new zarvo::test::fake_connection();
    publish(connection);
    return *connection;
}

zarvo::emulator::device_model& DeviceFixture::publishModel()
{
    zarvo::emulator::device_profile profile = zarvo::emulator::device_profile::usb_device();
    profile.id = id();
    m_model = std::make_shared<zarvo::emulator::device_model>(profile);
    publish(new zarvo::test::usb_like_connection(
        id(), std::make_shared<zarvo::test::model_backend>(m_model)));
    return *m_model;
}

void DeviceFixture::unplugBeforeNextAnswer()
{
    m_hub->unplug_after_response_reports(m_usbDevice.serial(), 0);
}

void DeviceFixture::withdraw()
{
    if (m_hub && m_hub->is_plugged(m_usbDevice.serial())) {
        m_hub->unplug(m_usbDevice.serial());
        EXPECT_TRUE(m_listener.waitEnded(id()));
    }
    if (!m_connection)
        return;
    zarvo::core::post_withdraw_connection(id(), m_connection);
    m_connection = nullptr;
    EXPECT_TRUE(m_listener.waitEnded(id()));
}

} // namespace ConnectLib::Test
