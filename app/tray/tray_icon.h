#pragma once

#include "app/sync_state/sync_state.h"

#include <QSystemTrayIcon>

class KantrelMovie;
class QAction;
class QMenu;
class QWidget;

namespace ConnectLayout {

// The program's permanent face: an icon showing the sync state of the last
// active device (animated while a sync runs), its tooltip, and the context
// menu to sync, open the settings, help, the log and the about page, and to
// quit. Texts come from the controller's translation table.
class TrayIcon : public QSystemTrayIcon {
    Q_OBJECT
public:
    // parent is the controller: the menus and the animation live on it.
    TrayIcon(const ConnectGlobals::TranslationList& i18nObject, QWidget* parent);
    ~TrayIcon() override;

    // Shows a state: icon, tooltip, the Sync entry's text and what it does.
    // Before a sync the Sync entry starts one; once one has started, ended
    // or left a message it asks for the last device's window instead.
    void setSyncState(int syncState);

    ConnectGlobals::SyncState::SyncProcessState currentState() const { return m_state; }
    // For tests: the animation that drives the icon while syncing.
    KantrelMovie* animation() const { return m_animation; }

public slots:
    void SLOT_setTexts(ConnectGlobals::TranslationList i18nObject);
    void SLOT_iconActivated(QSystemTrayIcon::ActivationReason reason);
    void SLOT_showState();
    void SLOT_showLog();
    void SLOT_showHelp();
    void SLOT_changeFrame(int frameIndex);

signals:
    void SIGNAL_synchronize();
    void SIGNAL_showSettings();
    void SIGNAL_showAboutDialog();
    void SIGNAL_showState(ConnectGlobals::SyncState::SyncProcessState syncState);

private:
    QWidget* m_parentWidget;
    QMenu* m_contextMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QAction* m_syncAction = nullptr;
    QAction* m_settingsAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_quitAction = nullptr;
    QAction* m_showLogAction = nullptr;
    ConnectGlobals::TranslationList m_i18n;
    ConnectGlobals::SyncState::SyncProcessState m_state = ConnectGlobals::SyncState::Idle;
    KantrelMovie* m_animation = nullptr;
};

} // namespace ConnectLayout
