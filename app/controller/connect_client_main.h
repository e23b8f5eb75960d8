#pragma once

#include "app/controller/ordered_table.h"
#include "app/sync_state/sync_state.h"
#include "connectlib/types/tc_data.h"

#include <QList>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QWidget>
#include <QtGlobal>

#include <functional>

class DataSynchronizer;
class QTimer;

namespace ConnectLayout {
class TrayIcon;
}

// The program's one long-lived controller, never shown: it owns the
// connection provider, the tray icon and every sync window; it reacts to
// devices appearing, idling and leaving, decides which window serves which
// device and records each device's last sync state. It also keeps the
// translation table, applies the versions log, the proxy and the language,
// recognises the first run and installs program updates.
class ConnectClientMain : public QWidget {
    Q_OBJECT
public:
    // The program version the log and the setting "ktversion" carry.
    static const QString programVersion;

    // Makes the connection provider (owned, parent the controller); the
    // default makes a ConnectLib::ConnectionProvider over the home folder.
    using ProviderFactory = std::function<QObject*(QObject* parent)>;
    // Tests put a stand-in first; an empty function puts the default back.
    static void setProviderFactory(ProviderFactory factory);

    explicit ConnectClientMain(QWidget* parent = nullptr);
    // Closes and deletes every sync window, then deletes the provider, then
    // the tray icon, and drops the log file last.
    ~ConnectClientMain() override;

    // For tests and the program: the tray icon, the current texts and the
    // timer that ends the program after an installer was handed over.
    ConnectLayout::TrayIcon* trayIcon() const { return m_trayIcon; }
    ConnectGlobals::TranslationList translations() const { return m_i18n; }
    const QTimer* quitTimer() const { return m_quitTimer; }
    // The provider, held by its signatures only, so a stand-in can serve.
    QObject* provider() const { return m_provider; }
    // The window table (device id to window, key 0 the device-less window),
    // in its order, and every synchroniser the controller owns, displaced
    // and failed ones included; windows closing but not yet deleted are not
    // among them.
    QList<quint64> windowKeys() const { return m_windows.keys(); }
    DataSynchronizer* window(quint64 deviceId) const { return m_windows.value(deviceId); }
    QList<DataSynchronizer*> synchronizers() const;
    QList<quint64> deviceKeys() const { return m_devices.keys(); }
    quint64 lastDeviceId() const { return m_lastDeviceId; }
    ConnectGlobals::SyncState::SyncProcessState lastSyncState() const { return m_lastSyncState; }

public slots:
    // Device events from the provider.
    void SLOT_tcAppeared(ConnectLib::TCData tcData);
    void SLOT_tcIdling(ConnectLib::TCData tcData);
    void SLOT_tcDisappeared(ConnectLib::TCData tcData);
    void SLOT_Announce_Dorvane();

    // A synchroniser's state change, or a direct call.
    void SLOT_setProcessState(qulonglong deviceId,
                              ConnectGlobals::SyncState::SyncProcessState state);

    // Opens or shows the sync window for a device record (none: the first
    // attached device, else the device-less window).
    void SLOT_synchronize(ConnectLib::TCData* ptrTCData);
    // Closes a window: the argument, or the signal's sending synchroniser.
    void SLOT_deleteDataSync(DataSynchronizer* syncToDelete);
    void SLOT_deleteDataSync();
    // A synchroniser asks for the attached devices again.
    void SLOT_reannounceTCs();
    // A later start of the program sent a message; its text is not used.
    void SLOT_singleAppMessage(QString message);

    // Tray requests: a sync window, the settings and about pages, the last
    // device's window.
    void SLOT_synchronize();
    void SLOT_showSettings();
    void SLOT_showAboutDialog();
    void SLOT_showLastSyncState(ConnectGlobals::SyncState::SyncProcessState state);

    // The settings page saved the settings: proxy, language and tray texts
    // follow them.
    void SLOT_configChangedFromOutside();
    // A program update was downloaded; updFilelistUrl is not used.
    void SLOT_runRavoSyncInstaller(QString filePath, QString updFilelistUrl);
    // The result of an installation attempt; exit code 1 is a failure.
    void SLOT_processFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void SLOT_quitRavoSync();

private:
    void createConnectionProvider();
    DataSynchronizer* createDataSynchronizer(quint64 deviceId);
    // Takes the synchroniser out of the tables and deletes it (later, unless
    // the controller is being destroyed); false when deleting failed.
    bool removeDataSynchronizer(DataSynchronizer* synchronizer);
    // The owned synchroniser that is this object, or null.
    DataSynchronizer* knownSynchronizer(const QObject* object) const;
    DataSynchronizer* openWindow(quint64 deviceId);
    void setTrayForDevices(int state);
    void logVersions();
    void applyProxySettings();
    void initLanguage();
    void checkFirstTimeUse();
    void createTrayIcon();
    void showSettingsTab(int tabIndex);
    void runInstaller();

    ConnectLayout::TrayIcon* m_trayIcon = nullptr;
    QObject* m_provider = nullptr;
    // An index of the open windows; m_synchronizers owns them.
    ConnectGlobals::OrderedTable<DataSynchronizer*> m_windows;
    ConnectGlobals::OrderedTable<ConnectLib::TCData> m_devices;
    QList<DataSynchronizer*> m_synchronizers;
    // Windows closed whose deletion waits for the event dispatch.
    QList<QPointer<DataSynchronizer>> m_closing;
    bool m_destroying = false;
    ConnectGlobals::TranslationList m_i18n;
    QString m_installerPath;
    quint64 m_lastDeviceId = 0;
    ConnectGlobals::SyncState::SyncProcessState m_lastSyncState = ConnectGlobals::SyncState::Idle;
    QTimer* m_quitTimer = nullptr;
};
