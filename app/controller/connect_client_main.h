#pragma once

#include "app/sync_state/sync_state.h"

#include <QProcess>
#include <QString>
#include <QWidget>
#include <QtGlobal>

class QTimer;

namespace ConnectLayout {
class TrayIcon;
}

// The program's one long-lived controller, never shown: it owns the tray
// icon, keeps the translation table, applies the versions log, the proxy
// and the language, recognises the first run and installs program updates.
class ConnectClientMain : public QWidget {
    Q_OBJECT
public:
    // The program version the log and the setting "ktversion" carry.
    static const QString programVersion;

    explicit ConnectClientMain(QWidget* parent = nullptr);
    ~ConnectClientMain() override;

    // For tests and the program: the tray icon, the current texts and the
    // timer that ends the program after an installer was handed over.
    ConnectLayout::TrayIcon* trayIcon() const { return m_trayIcon; }
    ConnectGlobals::TranslationList translations() const { return m_i18n; }
    const QTimer* quitTimer() const { return m_quitTimer; }

public slots:
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
    void logVersions();
    void applyProxySettings();
    void initLanguage();
    void checkFirstTimeUse();
    void createTrayIcon();
    void showSettingsTab(int tabIndex);
    void runInstaller();

    ConnectLayout::TrayIcon* m_trayIcon = nullptr;
    ConnectGlobals::TranslationList m_i18n;
    QString m_installerPath;
    quint64 m_lastDeviceId = 0;
    ConnectGlobals::SyncState::SyncProcessState m_lastSyncState = ConnectGlobals::SyncState::Idle;
    QTimer* m_quitTimer = nullptr;
};
