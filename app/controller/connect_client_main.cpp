#include "app/controller/connect_client_main.h"

#include "app/controller/connection_group.h"
#include "app/logging/app_log.h"
#include "app/tray/tray_icon.h"

#include <QSystemTrayIcon>
#include <QTimer>

using ConnectGlobals::logLine;

const QString ConnectClientMain::programVersion = QStringLiteral("2.6.2");

ConnectClientMain::ConnectClientMain(QWidget* parent)
    : QWidget(parent, Qt::WindowFlags())
{
    ConnectGlobals::SyncState::registerSyncProcessState();

    logVersions();
    applyProxySettings();
    initLanguage();

    // The connection provider, with its group, joins here.

    createTrayIcon();
    checkFirstTimeUse();
}

ConnectClientMain::~ConnectClientMain()
{
    delete m_trayIcon;
    m_trayIcon = nullptr;
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

void ConnectClientMain::SLOT_synchronize()
{
    // Opens or shows a sync window once the controller keeps windows.
}

void ConnectClientMain::SLOT_showSettings()
{
    showSettingsTab(0);
}

void ConnectClientMain::SLOT_showAboutDialog()
{
    showSettingsTab(2);
}

void ConnectClientMain::showSettingsTab(int)
{
    // The proxy may have changed since it was last applied; the window with
    // the tab follows once the controller keeps windows.
    applyProxySettings();
}

void ConnectClientMain::SLOT_showLastSyncState(ConnectGlobals::SyncState::SyncProcessState)
{
    // Shows the last device's window once the controller keeps windows.
}
