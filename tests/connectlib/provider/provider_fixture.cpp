#include "tests/connectlib/provider/provider_fixture.h"

#include "connectlib/common/common.h"
#include "devicelib/core/posting.h"
#include "tests/support/fake_links.h"
#include "tests/support/fake_listener.h"
#include "tests/support/model_links.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace ConnectLib::Test {

bool DeviceEvents::connectTo(ConnectionProvider* provider)
{
    return connect(provider, SIGNAL(SIGNAL_TCAppeared(ConnectLib::TCData)), this,
                   SLOT(appeared(ConnectLib::TCData))) &&
           connect(provider, SIGNAL(SIGNAL_TCDisappeared(ConnectLib::TCData)), this,
                   SLOT(disappeared(ConnectLib::TCData))) &&
           connect(provider, SIGNAL(SIGNAL_TCIdling(ConnectLib::TCData)), this,
                   SLOT(idling(ConnectLib::TCData))) &&
           connect(provider, SIGNAL(SIGNAL_TCBatteryStatus(ConnectLib::TCData, int)), this,
                   SLOT(battery(ConnectLib::TCData, int))) &&
           connect(provider, SIGNAL(SIGNAL_Announce_Dorvane()), this, SLOT(announce())) &&
           connect(provider, SIGNAL(SIGNAL_Removed_Dorvane()), this, SLOT(removed()));
}

std::vector<DeviceEvents::Event> DeviceEvents::of(const QString& kind) const
{
    std::vector<Event> out;
    std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(out),
                 [&](const Event& e) { return e.kind == kind; });
    return out;
}

std::vector<DeviceEvents::Event> DeviceEvents::of(const QString& kind, quint64 deviceId) const
{
    std::vector<Event> out;
    std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(out),
                 [&](const Event& e) { return e.kind == kind && e.data.deviceId() == deviceId; });
    return out;
}

void DeviceEvents::add(const QString& kind, const TCData& data, int charge)
{
    if (QThread::currentThread() != thread())
        m_allOnOwnThread = false;
    m_events.push_back({kind, data, charge});
}

zarvo::emulator::device_profile profileFor(quint64 id)
{
    zarvo::emulator::device_profile profile = zarvo::emulator::device_profile::usb_device();
    profile.id = id;
    return profile;
}

void ProviderTest::SetUp()
{
    // The USB driver and the attach listener watch a folder of the test's
    // own, empty unless a test plugs something into it.
    const std::filesystem::path hid = m_dir / "hid";
    std::filesystem::create_directories(hid);
    ::setenv("ZARVO_HID_DIR", hid.c_str(), 1);
    const std::filesystem::path offline = m_dir / "offline";
    std::filesystem::create_directories(offline);
    m_offlineRoot = QString::fromStdString(offline.string());
    // New devices are waited for only briefly.
    Common::setSettingsValue(QStringLiteral("delaynew"), QStringLiteral("50"));
}

void ProviderTest::TearDown()
{
    destroyProvider();
    if (m_published.empty())
        return;
    for (const auto& [id, connection] : m_published)
        zarvo::core::post_withdraw_connection(id, connection);
    m_published.clear();
    // The withdrawals start the library's engine thread again. Stopping the
    // last listener waits for that thread to end, so none of the library's
    // threads outlives the test (the race checker reports one that does).
    zarvo::test::fake_listener quiet;
    quiet.start();
    quiet.stop();
}

void ProviderTest::createProvider()
{
    m_provider = std::make_unique<ConnectionProvider>(nullptr, m_offlineRoot);
    ASSERT_TRUE(m_events.connectTo(m_provider.get()));
}

void ProviderTest::destroyProvider()
{
    m_provider.reset();
}

void ProviderTest::publish(quint64 id, zarvo::core::connection* connection)
{
    m_published.emplace_back(id, connection);
    zarvo::core::post_publish_connection(id, connection, 0);
}

void ProviderTest::withdraw(quint64 id, zarvo::core::connection* connection)
{
    m_published.erase(
        std::remove(m_published.begin(), m_published.end(), std::make_pair(id, connection)),
        m_published.end());
    zarvo::core::post_withdraw_connection(id, connection);
}

std::shared_ptr<zarvo::emulator::device_model>
ProviderTest::publishModel(quint64 id, zarvo::emulator::device_profile profile)
{
    profile.id = id;
    auto model = std::make_shared<zarvo::emulator::device_model>(profile);
    publish(id, new zarvo::test::usb_like_connection(
                    id, std::make_shared<zarvo::test::model_backend>(model)));
    return model;
}

zarvo::core::connection* ProviderTest::connectionOf(quint64 id) const
{
    for (const auto& [published, connection] : m_published) {
        if (published == id)
            return connection;
    }
    return nullptr;
}

ProviderTest::HeldRequest ProviderTest::holdUserRequest(zarvo::emulator::device_model& model,
                                                        const TCData& record)
{
    HeldRequest held;
    held.stall = model.script_stall(
        zarvo::emulator::match::file(zarvo::emulator::command::get, "/U/UDB.BPB"), 1);
    held.result = std::make_unique<QSignalSpy>(
        provider(), SIGNAL(SIGNAL_currentUserDataReceived(ConnectLib::TCData, QString, uint,
                                                          qulonglong, ConnectLib::CPStateFlags)));
    provider()->SLOT_getCurrentUserData(record);
    EXPECT_TRUE(held.stall->wait_reached());
    return held;
}

TCData ProviderTest::waitAppeared(quint64 id)
{
    if (!processUntil([&] { return !m_events.of(QStringLiteral("appeared"), id).empty(); }))
        return TCData();
    return m_events.of(QStringLiteral("appeared"), id).front().data;
}

bool ProviderTest::waitDisappeared(quint64 id)
{
    return processUntil([&] { return !m_events.of(QStringLiteral("disappeared"), id).empty(); });
}

} // namespace ConnectLib::Test
