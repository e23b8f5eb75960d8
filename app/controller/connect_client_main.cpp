#include "app/controller/connect_client_main.h"

#include "app/common/connection_group.h"
#include "app/logging/app_log.h"
#include "app/synchronizer/data_synchronizer.h"
#include "app/tray/tray_icon.h"
#include "connectlib/logging/logger.h"
#include "connectlib/provider/connection_provider.h"

#include <QDir>
#include <QSystemTrayIcon>
#include <QTimer>

using ConnectGlobals::logLine;

const QString ConnectClientMain::programVersion = QStringLiteral("2.6.2");

namespace {

ConnectClientMain::ProviderFactory& providerFactory()
{
    static ConnectClientMain::ProviderFactory factory;
    return factory;
}

} // namespace

void ConnectClientMain::setProviderFactory(ProviderFactory factory)
{
    providerFactory() = std::move(factory);
}

ConnectClientMain::ConnectClientMain(QWidget* parent)
    : QWidget(parent, Qt::WindowFlags())
{
    ConnectGlobals::SyncState::registerSyncProcessState();

    logVersions();
    applyProxySettings();
    initLanguage();
    createConnectionProvider();
    createTrayIcon();
    checkFirstTimeUse();
}

ConnectClientMain::~ConnectClientMain()
{
    m_destroying = true;
    // Every window goes before the provider it relays to and before the log
    // closes: the table's windows as if closed, then the displaced, failed
    // and closing ones.
    for (DataSynchronizer* synchronizer : m_windows.values())
        SLOT_deleteDataSync(synchronizer);
    const QList<DataSynchronizer*> rest = m_synchronizers;
    for (DataSynchronizer* synchronizer : rest)
        removeDataSynchronizer(synchronizer);
    for (const QPointer<DataSynchronizer>& closing : m_closing)
        delete closing.data();
    m_closing.clear();

    // Stops the device listener and joins every worker thread.
    delete m_provider;
    m_provider = nullptr;
    delete m_trayIcon;
    m_trayIcon = nullptr;
    ConnectLib::Logger::drop();
}

void ConnectClientMain::createConnectionProvider()
{
    const ProviderFactory& factory = providerFactory();
    m_provider = factory ? factory(this)
                         : new ConnectLib::ConnectionProvider(this, QDir::home().absolutePath());
    const bool connected = ConnectGlobals::connectInOrder({
        {m_provider, SIGNAL(SIGNAL_TCAppeared(ConnectLib::TCData)), this,
         SLOT(SLOT_tcAppeared(ConnectLib::TCData))},
        {m_provider, SIGNAL(SIGNAL_TCIdling(ConnectLib::TCData)), this,
         SLOT(SLOT_tcIdling(ConnectLib::TCData))},
        {m_provider, SIGNAL(SIGNAL_TCDisappeared(ConnectLib::TCData)), this,
         SLOT(SLOT_tcDisappeared(ConnectLib::TCData))},
        {m_provider, SIGNAL(SIGNAL_Announce_Dorvane()), this, SLOT(SLOT_Announce_Dorvane())},
    });
    if (!connected)
        logLine(QStringLiteral("Could not make all tray icon connections."));
}

void ConnectClientMain::createTrayIcon()
{
    // Without a tray the program is still reachable through its windows.
    logLine(QSystemTrayIcon::isSystemTrayAvailable()
                ? QStringLiteral("System tray available.")
                : QStringLiteral("No system tray on this desktop: only the windows show."));

    m_trayIcon = new ConnectLayout::TrayIcon(m_i18n, this);
    const bool connected = ConnectGlobals::connectInOrder({
        {m_trayIcon, SIGNAL(SIGNAL_synchronize()), this, SLOT(SLOT_synchronize())},
        {m_trayIcon, SIGNAL(SIGNAL_showAboutDialog()), this, SLOT(SLOT_showAboutDialog())},
        {m_trayIcon, SIGNAL(SIGNAL_showSettings()), this, SLOT(SLOT_showSettings())},
        {m_trayIcon, SIGNAL(SIGNAL_showState(ConnectGlobals::SyncState::SyncProcessState)), this,
         SLOT(SLOT_showLastSyncState(ConnectGlobals::SyncState::SyncProcessState))},
    });
    m_trayIcon->setVisible(true);
    if (!connected)
        logLine(QStringLiteral("Could not make all tray icon connections."));
}

void ConnectClientMain::SLOT_singleAppMessage(QString)
{
    SLOT_synchronize();
}

void ConnectClientMain::SLOT_showSettings()
{
    showSettingsTab(0);
}

void ConnectClientMain::SLOT_showAboutDialog()
{
    showSettingsTab(2);
}

void ConnectClientMain::showSettingsTab(int tabIndex)
{
    // The proxy may have changed since it was last applied.
    applyProxySettings();
    const QString script = QStringLiteral("App.Common.showHideSettings(); showTabIndex(") +
                           QString::number(tabIndex) + QStringLiteral(");");
    if (!m_windows.isEmpty()) {
        m_windows.first()->SLOT_runScript(script);
        return;
    }
    if (DataSynchronizer* synchronizer = createDataSynchronizer(0))
        synchronizer->SLOT_showOfflineDialog(QStringLiteral("ui/devicelist.html"), QStringList(),
                                             QString(), script);
    else
        logLine(QStringLiteral(" ERROR: ") + QStringLiteral("Could not create datasync."));
}
