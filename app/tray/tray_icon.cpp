#include "app/tray/tray_icon.h"

#include "app/animation/kantrel_movie.h"
#include "app/logging/app_log.h"
#include "app/platform/systemhooks.h"
#include "connectlib/common/common.h"
#include "connectlib/logging/logger.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QUrl>
#include <QWidget>

namespace ConnectLayout {

namespace {

using State = ConnectGlobals::SyncState;

const QString imageFolder = QStringLiteral(":/resources/img/");
const QString iconSize = QStringLiteral("16");

// What a state shows: tooltip and Sync text keys, the icon, and whether
// the Sync entry shows the last state (else it starts a sync) and the
// animation runs.
struct StateLook {
    const char* tooltipKey;
    const char* syncTextKey;
    QString icon;
    bool showsState;
    bool animated;
};

StateLook lookOf(int state)
{
    const QString programIcon = imageFolder + QStringLiteral("ravosync.png");
    const auto stateIcon = [](const char* name) {
        return imageFolder + QLatin1String(name) + iconSize + QStringLiteral(".png");
    };
    switch (state) {
    case State::TCFound:
        return {"app_menu_state_tcfound", "app_menu_sync", programIcon, false, false};
    case State::Loading:
        // Loading reads as a running sync but keeps the program icon.
        return {"app_menu_state_syncon", "progress_syncongoingheader", programIcon, false, false};
    case State::SyncOn:
    case State::FwUpdateOnGoing:
        return {"app_menu_state_syncon", "progress_syncongoingheader", stateIcon("state_syncon_"),
                true, true};
    case State::SyncDone:
    case State::FwUpdateDone:
        return {"app_menu_state_syncdone", "app_menu_sync", stateIcon("state_syncok_"), true,
                false};
    case State::SyncError:
    case State::FwUpdateError:
        return {"app_menu_state_syncerror", "app_menu_sync", stateIcon("state_syncerror_"), true,
                false};
    case State::SyncInfo:
        return {"app_menu_state_info", "app_menu_sync", stateIcon("state_syncinfo_"), true, false};
    default:
        return {"app_menu_state_idle", "app_menu_sync", programIcon, false, false};
    }
}

QString text(const ConnectGlobals::TranslationList& table, const char* key)
{
    return ConnectLib::Common::getText(table, QLatin1String(key));
}

// The help value is stored without a scheme; an address needs one.
QUrl helpAddress(const QString& value)
{
    const QUrl address(value, QUrl::StrictMode);
    if (address.isValid() && !address.scheme().isEmpty())
        return address;
    return QUrl(QStringLiteral("https://") + value);
}

} // namespace

TrayIcon::TrayIcon(const ConnectGlobals::TranslationList& i18nObject, QWidget* parent)
    : QSystemTrayIcon(parent)
    , m_parentWidget(parent)
    , m_i18n(i18nObject)
{
    m_syncAction = new QAction(QStringLiteral("Sync"), this);
    m_settingsAction = new QAction(QStringLiteral("Settings"), this);
    m_showLogAction = new QAction(QStringLiteral("Show Log"), this);
    m_helpAction = new QAction(QStringLiteral("Help"), this);
    m_aboutAction = new QAction(QStringLiteral("About"), this);
    m_quitAction = new QAction(QStringLiteral("Quit"), this);
    connect(m_syncAction, &QAction::triggered, this, &TrayIcon::SIGNAL_synchronize);
    connect(m_settingsAction, &QAction::triggered, this, &TrayIcon::SIGNAL_showSettings);
    connect(m_showLogAction, &QAction::triggered, this, &TrayIcon::SLOT_showLog);
    connect(m_helpAction, &QAction::triggered, this, &TrayIcon::SLOT_showHelp);
    connect(m_aboutAction, &QAction::triggered, this, &TrayIcon::SIGNAL_showAboutDialog);
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);

    m_contextMenu = new QMenu(m_parentWidget);
    m_helpMenu = new QMenu(QStringLiteral("Help"), m_parentWidget);
    m_helpMenu->addAction(m_helpAction);
    m_helpMenu->addAction(m_showLogAction);
    m_helpMenu->addAction(m_aboutAction);
    m_contextMenu->addAction(m_syncAction);
    m_contextMenu->addAction(m_settingsAction);
    m_contextMenu->addMenu(m_helpMenu);
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(m_quitAction);
    setContextMenu(m_contextMenu);

    connect(this, &QSystemTrayIcon::activated, this, &TrayIcon::SLOT_iconActivated);

    m_animation = new KantrelMovie(imageFolder + QStringLiteral("state_syncon_") + iconSize +
                                       QStringLiteral(".png"),
                                   m_parentWidget);
    connect(m_animation, &KantrelMovie::SIGNAL_frameChanged, this, &TrayIcon::SLOT_changeFrame);

    SLOT_setTexts(m_i18n);
    setSyncState(State::Idle);
    setVisible(true);
}

TrayIcon::~TrayIcon()
{
    delete m_animation;
}

void TrayIcon::SLOT_setTexts(ConnectGlobals::TranslationList i18nObject)
{
    m_i18n = i18nObject;
    m_helpMenu->setTitle(text(m_i18n, "app_menu_help"));
    m_syncAction->setText(text(m_i18n, "app_menu_sync"));
    m_settingsAction->setText(text(m_i18n, "app_menu_settings"));
    m_helpAction->setText(text(m_i18n, "app_menu_support"));
    m_aboutAction->setText(text(m_i18n, "about_header"));
    m_showLogAction->setText(text(m_i18n, "app_menu_showlog"));
    m_quitAction->setText(text(m_i18n, "app_menu_quit"));

    const StateLook look = lookOf(m_state);
    setToolTip(text(m_i18n, look.tooltipKey));
    m_syncAction->setText(text(m_i18n, look.syncTextKey));
}

void TrayIcon::setSyncState(int syncState)
{
    m_animation->SLOT_stopAnimation();
    m_state = static_cast<State::SyncProcessState>(syncState);
    disconnect(m_syncAction, &QAction::triggered, nullptr, nullptr);

    const StateLook look = lookOf(syncState);
    if (look.showsState)
        connect(m_syncAction, &QAction::triggered, this, &TrayIcon::SLOT_showState);
    else
        connect(m_syncAction, &QAction::triggered, this, &TrayIcon::SIGNAL_synchronize);

    SLOT_setTexts(m_i18n);
    setIcon(QIcon(look.icon));
    if (look.animated)
        m_animation->SLOT_startAnimation();
}

void TrayIcon::SLOT_iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::MiddleClick)
        m_syncAction->trigger();
}

void TrayIcon::SLOT_showState()
{
    emit SIGNAL_showState(m_state);
}

void TrayIcon::SLOT_showLog()
{
    const QString path = ConnectLib::Logger::instance()->getCurrentFile();
    if (!SystemHooks::openUrl(QUrl::fromLocalFile(path)))
        ConnectGlobals::logLine(QStringLiteral("Unable to open log file: ") + path);
}

void TrayIcon::SLOT_showHelp()
{
    const QUrl address = helpAddress(m_i18n.value(QStringLiteral("APPHELPURL")));
    if (!SystemHooks::openUrl(address))
        ConnectGlobals::logLine(QStringLiteral("Unable to open help address: ") +
                                address.toString());
}

void TrayIcon::SLOT_changeFrame(int)
{
    setIcon(QIcon(m_animation->currentPixmap()));
}

} // namespace ConnectLayout
