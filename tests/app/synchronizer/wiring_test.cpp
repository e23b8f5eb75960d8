// The synchroniser's wiring: to its own bridge and window, and the
// connection table to the provider and the controller.
#include "tests/app/synchronizer/synchronizer_fixture.h"

#include "app/windows/viewer.h"
#include "connectlib/provider/connection_provider.h"

#include <QMetaMethod>

namespace RavoSync::Test {

// Has only the first two provider signals of the connection table.
class ProviderWithTwoSignals : public QObject {
    Q_OBJECT
signals:
    void SIGNAL_TCDataReceived(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_TCAppeared(ConnectLib::TCData data);
};

namespace {

using ConnectGlobals::SynchronizerLink;

const QString wiringLine = QStringLiteral("Could not make all datasynchronizer connections.");

QObject* party(SynchronizerLink::Party which, QObject* provider, QObject* synchronizer,
               QObject* controller)
{
    switch (which) {
    case SynchronizerLink::Provider:
        return provider;
    case SynchronizerLink::Synchronizer:
        return synchronizer;
    case SynchronizerLink::Controller:
        return controller;
    }
    return nullptr;
}

// Whether each link is in place; taking it down in the asking.
std::vector<bool> linksMade(QObject* provider, QObject* synchronizer, QObject* controller)
{
    std::vector<bool> made;
    for (const SynchronizerLink& link : ConnectGlobals::synchronizerLinks())
        made.push_back(QObject::disconnect(
            party(link.sender, provider, synchronizer, controller), link.signal,
            party(link.receiver, provider, synchronizer, controller), link.method));
    return made;
}

TEST(FakeProvider, EverySignatureIsTheProvidersOwn)
{
    const QMetaObject& fake = FakeProvider::staticMetaObject;
    const QMetaObject& real = ConnectLib::ConnectionProvider::staticMetaObject;
    ASSERT_GT(fake.methodCount() - fake.methodOffset(), 60);
    for (int i = fake.methodOffset(); i < fake.methodCount(); ++i) {
        const QMetaMethod method = fake.method(i);
        const int index = real.indexOfMethod(method.methodSignature().constData());
        ASSERT_GE(index, 0) << method.methodSignature().constData();
        EXPECT_EQ(real.method(index).methodType(), method.methodType())
            << method.methodSignature().constData();
    }
}

TEST(ConnectionTable, EveryProviderSignatureIsTheProvidersOwn)
{
    const QMetaObject& real = ConnectLib::ConnectionProvider::staticMetaObject;
    const QVector<SynchronizerLink>& links = ConnectGlobals::synchronizerLinks();
    ASSERT_EQ(links.size(), 64);
    for (const SynchronizerLink& link : links) {
        // The macros put a one-character kind before the signature.
        if (link.sender == SynchronizerLink::Provider) {
            EXPECT_GE(real.indexOfSignal(QMetaObject::normalizedSignature(link.signal + 1)), 0)
                << link.signal;
        }
        if (link.receiver == SynchronizerLink::Provider) {
            EXPECT_GE(real.indexOfSlot(QMetaObject::normalizedSignature(link.method + 1)), 0)
                << link.method;
        }
    }
}

class Wiring : public SynchronizerTest {};

TEST_F(Wiring, ABridgeOverAProviderWiresWithoutAFailureLine)
{
    EXPECT_FALSE(m_log.contains(wiringLine));
    EXPECT_EQ(bridge()->parent(), m_sync.get());
    EXPECT_EQ(m_sync->viewer()->parent(), nullptr);
}

TEST_F(Wiring, WithoutAProviderTheWiringStopsOnceAndKeepsWhatWasMade)
{
    DataSynchronizer sync(nullptr, nullptr);
    EXPECT_EQ(m_log.lines().count(wiringLine), 1);
    // The device events come first and stay wired.
    sync.SLOT_tcAppeared(deviceRecord(0x77));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Device appeared: ")));
}

TEST_F(Wiring, TheTableMakesAllItsRowsInPlace)
{
    // The fixture made them once; take them down and make them again.
    const std::vector<bool> before = linksMade(&m_provider, m_sync.get(), &m_controller);
    EXPECT_EQ(std::count(before.begin(), before.end(), true), 64);
    ASSERT_TRUE(ConnectGlobals::connectSynchronizer(&m_provider, m_sync.get(), &m_controller));
    const std::vector<bool> after = linksMade(&m_provider, m_sync.get(), &m_controller);
    EXPECT_EQ(std::count(after.begin(), after.end(), true), 64);
}

TEST_F(Wiring, AProviderMissingASignalStopsAtThatRow)
{
    linksMade(&m_provider, m_sync.get(), &m_controller);
    ProviderWithTwoSignals provider;
    EXPECT_FALSE(ConnectGlobals::connectSynchronizer(&provider, m_sync.get(), &m_controller));
    const std::vector<bool> made = linksMade(&provider, m_sync.get(), &m_controller);
    // Rows 1 to 4 (two to the controller, the two signals there); row 5
    // names SIGNAL_TCRerouted.
    for (std::size_t row = 0; row < made.size(); ++row)
        EXPECT_EQ(made[row], row < 4) << "row " << row + 1;
}

TEST_F(Wiring, TheControllerRowsCarryTheWindowsRequests)
{
    emit bridge()->requests()->SIGNAL_quit();
    emit bridge()->requests()->SIGNAL_initConfigs();
    emit bridge()->requests()->SIGNAL_requestAvailableTCs();
    emit bridge()->requests()->SIGNAL_syncProcessStateChanged(0, ConnectGlobals::SyncState::SyncOn);
    emit bridge()->requests()->SIGNAL_ravoSyncInstallerDownloadDone(QStringLiteral("a"),
                                                                    QStringLiteral("b"));
    EXPECT_EQ(
        m_controller.calls,
        (QStringList{QStringLiteral("deleteDataSync"), QStringLiteral("configChangedFromOutside"),
                     QStringLiteral("reannounceTCs"), QStringLiteral("setProcessState"),
                     QStringLiteral("runRavoSyncInstaller")}));
}

} // namespace
} // namespace RavoSync::Test

#include "wiring_test.moc"
