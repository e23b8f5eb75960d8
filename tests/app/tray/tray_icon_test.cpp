// The tray icon: texts, icons and what the Sync entry does in every state,
// the animation, activation, and the log and help addresses.
#include "app/animation/kantrel_movie.h"
#include "app/platform/systemhooks.h"
#include "app/tray/tray_icon.h"
#include "connectlib/common/common.h"
#include "connectlib/logging/logger.h"
#include "tests/connectlib/support/log_lines.h"
#include "tests/support/param_name.h"

#include <QAction>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

using ConnectGlobals::TranslationList;
using ConnectLayout::TrayIcon;
using State = ConnectGlobals::SyncState;

const char* const textKeys[] = {
    "app_menu_help",
    "app_menu_sync",
    "app_menu_settings",
    "app_menu_support",
    "about_header",
    "app_menu_showlog",
    "app_menu_quit",
    "app_menu_state_tcfound",
    "app_menu_state_syncdone",
    "app_menu_state_syncerror",
    "app_menu_state_info",
    "app_menu_state_syncon",
    "app_menu_state_idle",
    "progress_syncongoingheader",
};

// Each text names its key, with a mark to tell tables apart.
TranslationList namedTexts(const QString& mark = QString())
{
    TranslationList table;
    for (const char* key : textKeys)
        table.insert(QLatin1String(key), mark + QLatin1String(key));
    table.insert(QStringLiteral("APPHELPURL"), QStringLiteral("support.ravo.test/help"));
    return table;
}

QImage normalised(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Whether the icon shows the picture of a built-in image file.
::testing::AssertionResult showsImage(const QIcon& icon, const QString& resource)
{
    const QImage expected(resource);
    if (expected.isNull())
        return ::testing::AssertionFailure() << "no image " << resource.toStdString();
    if (normalised(icon.pixmap(expected.size()).toImage()) != normalised(expected))
        return ::testing::AssertionFailure() << "icon differs from " << resource.toStdString();
    return ::testing::AssertionSuccess();
}

QString image(const char* name)
{
    return QStringLiteral(":/resources/img/") + QLatin1String(name);
}

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_parent = std::make_unique<QWidget>();
        m_tray = std::make_unique<TrayIcon>(namedTexts(), m_parent.get());
        SystemHooks::setOpenUrl([this](const QUrl& url) {
            m_opened.append(url);
            return m_openerAnswer;
        });
    }
    void TearDown() override
    {
        SystemHooks::setOpenUrl(nullptr);
        m_tray.reset();
        m_parent.reset();
    }
    QList<QAction*> entries() const { return m_tray->contextMenu()->actions(); }
    QAction* syncEntry() const { return entries().at(0); }
    QMenu* helpMenu() const { return entries().at(2)->menu(); }

    ConnectLib::Test::LogLines m_log;
    std::unique_ptr<QWidget> m_parent;
    std::unique_ptr<TrayIcon> m_tray;
    QList<QUrl> m_opened;
    bool m_openerAnswer = true;
};

TEST_F(TrayTest, StartsIdleWithTheProgramIconAndTheMenu)
{
    EXPECT_TRUE(m_tray->isVisible());
    EXPECT_EQ(m_tray->currentState(), State::Idle);
    EXPECT_TRUE(showsImage(m_tray->icon(), image("ravosync.png")));
    EXPECT_EQ(m_tray->toolTip(), QStringLiteral("app_menu_state_idle"));

    const QList<QAction*> top = entries();
    ASSERT_EQ(top.size(), 5);
    EXPECT_EQ(top.at(0)->text(), QStringLiteral("app_menu_sync"));
    EXPECT_EQ(top.at(1)->text(), QStringLiteral("app_menu_settings"));
    ASSERT_NE(top.at(2)->menu(), nullptr);
    EXPECT_EQ(top.at(2)->menu()->title(), QStringLiteral("app_menu_help"));
    EXPECT_TRUE(top.at(3)->isSeparator());
    EXPECT_EQ(top.at(4)->text(), QStringLiteral("app_menu_quit"));
    QStringList help;
    for (QAction* action : helpMenu()->actions())
        help.append(action->text());
    EXPECT_EQ(help, (QStringList{"app_menu_support", "app_menu_showlog", "about_header"}));

    QSignalSpy synchronize(m_tray.get(), &TrayIcon::SIGNAL_synchronize);
    QSignalSpy settings(m_tray.get(), &TrayIcon::SIGNAL_showSettings);
    QSignalSpy about(m_tray.get(), &TrayIcon::SIGNAL_showAboutDialog);
    syncEntry()->trigger();
    top.at(1)->trigger();
    helpMenu()->actions().at(2)->trigger();
    EXPECT_EQ(synchronize.count(), 1);
    EXPECT_EQ(settings.count(), 1);
    EXPECT_EQ(about.count(), 1);
}

TEST(TrayEnglish, IdleTooltipNamesTheProgram)
{
    QWidget parent;
    TrayIcon tray(
        ConnectLib::Common::parseJSONFile(QStringLiteral(":/resources/tr/translations_en.json")),
        &parent);
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Zarvo RavoSync"));
}

struct StateCase {
    int state;
    const char* icon;
    const char* tooltipKey;
    const char* syncKey;
    bool showsState; // else the Sync entry starts a sync
};

void PrintTo(const StateCase& c, std::ostream* os)
{
    *os << "state " << c.state;
}

class TrayStates : public TrayTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(TrayStates, IconTextsAndSyncEntryFollowTheState)
{
    const StateCase& c = GetParam();
    // From a state that shows the last one, so the Sync entry is rewired.
    m_tray->setSyncState(State::SyncError);
    m_tray->setSyncState(c.state);

    EXPECT_TRUE(showsImage(m_tray->icon(), image(c.icon)));
    EXPECT_EQ(m_tray->toolTip(), QLatin1String(c.tooltipKey));
    EXPECT_EQ(syncEntry()->text(), QLatin1String(c.syncKey));

    QSignalSpy synchronize(m_tray.get(), &TrayIcon::SIGNAL_synchronize);
    QSignalSpy showState(m_tray.get(), &TrayIcon::SIGNAL_showState);
    syncEntry()->trigger();
    EXPECT_EQ(synchronize.count(), c.showsState ? 0 : 1);
    ASSERT_EQ(showState.count(), c.showsState ? 1 : 0);
    if (c.showsState) {
        EXPECT_EQ(showState.first().first().value<State::SyncProcessState>(), c.state);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayStates,
    ::testing::Values(
        StateCase{0, "ravosync.png", "app_menu_state_idle", "app_menu_sync", false},
        StateCase{1, "ravosync.png", "app_menu_state_syncon", "progress_syncongoingheader", false},
        StateCase{2, "ravosync.png", "app_menu_state_tcfound", "app_menu_sync", false},
        StateCase{3, "ravosync.png", "app_menu_state_idle", "app_menu_sync", false},
        StateCase{4, "state_syncon_16.png", "app_menu_state_syncon", "progress_syncongoingheader",
                  true},
        StateCase{5, "state_syncok_16.png", "app_menu_state_syncdone", "app_menu_sync", true},
        StateCase{6, "state_syncerror_16.png", "app_menu_state_syncerror", "app_menu_sync", true},
        StateCase{7, "state_syncinfo_16.png", "app_menu_state_info", "app_menu_sync", true},
        StateCase{8, "state_syncon_16.png", "app_menu_state_syncon", "progress_syncongoingheader",
                  true},
        StateCase{9, "state_syncok_16.png", "app_menu_state_syncdone", "app_menu_sync", true},
        StateCase{10, "state_syncerror_16.png", "app_menu_state_syncerror", "app_menu_sync", true},
        StateCase{11, "ravosync.png", "app_menu_state_idle", "app_menu_sync", false},
        StateCase{12, "ravosync.png", "app_menu_state_idle", "app_menu_sync", false},
        StateCase{13, "ravosync.png", "app_menu_state_idle", "app_menu_sync", false},
        StateCase{42, "ravosync.png", "app_menu_state_idle", "app_menu_sync", false}),
    zarvo::test::printed_name());

TEST_F(TrayTest, TheIconFollowsTheAnimationWhileSyncing)
{
    m_tray->setSyncState(State::SyncOn);
    KantrelMovie* animation = m_tray->animation();
    ASSERT_NE(animation->timer(), nullptr);
    EXPECT_TRUE(animation->timer()->isActive());
    ASSERT_EQ(animation->frameCount(), 4);
    for (int step = 0; step < 5; ++step) {
        animation->SLOT_transform();
        const QByteArray frame =
            "state_syncon_16_" + QByteArray::number(animation->currentFrame()) + ".png";
        EXPECT_TRUE(showsImage(m_tray->icon(), image(frame.constData()))) << "step " << step;
    }

    m_tray->setSyncState(State::SyncDone);
    EXPECT_FALSE(animation->timer()->isActive());
    EXPECT_TRUE(showsImage(m_tray->icon(), image("state_syncok_16.png")));
}

struct ActivationCase {
    QSystemTrayIcon::ActivationReason reason;
    bool triggers;
};

void PrintTo(const ActivationCase& c, std::ostream* os)
{
    *os << "reason " << int(c.reason);
}

class TrayActivation : public TrayTest, public ::testing::WithParamInterface<ActivationCase> {};

TEST_P(TrayActivation, OnlyDoubleAndMiddleClicksTriggerTheSyncEntry)
{
    QSignalSpy synchronize(m_tray.get(), &TrayIcon::SIGNAL_synchronize);
    QSignalSpy showState(m_tray.get(), &TrayIcon::SIGNAL_showState);
    emit m_tray->activated(GetParam().reason);
    EXPECT_EQ(synchronize.count(), GetParam().triggers ? 1 : 0);

    // After an error the same click asks for the failed device's window.
    m_tray->setSyncState(State::SyncError);
    emit m_tray->activated(GetParam().reason);
    EXPECT_EQ(synchronize.count(), GetParam().triggers ? 1 : 0);
    EXPECT_EQ(showState.count(), GetParam().triggers ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, TrayActivation,
                         ::testing::Values(ActivationCase{QSystemTrayIcon::DoubleClick, true},
                                           ActivationCase{QSystemTrayIcon::MiddleClick, true},
                                           ActivationCase{QSystemTrayIcon::Trigger, false},
                                           ActivationCase{QSystemTrayIcon::Context, false},
                                           ActivationCase{QSystemTrayIcon::Unknown, false}),
                         zarvo::test::printed_name());

TEST_F(TrayTest, ShowLogOpensTheCurrentLogFile)
{
    const QString logFile = ConnectLib::Logger::instance()->getCurrentFile();
    helpMenu()->actions().at(1)->trigger();
    ASSERT_EQ(m_opened.size(), 1);
    EXPECT_EQ(m_opened.first(), QUrl::fromLocalFile(logFile));
    EXPECT_EQ(m_opened.first().toLocalFile(), logFile);

    m_openerAnswer = false;
    m_tray->SLOT_showLog();
    EXPECT_TRUE(m_log.contains(QStringLiteral("Unable to open log file: ") + logFile));
}

struct HelpCase {
    const char* value;
    const char* address;
};

void PrintTo(const HelpCase& c, std::ostream* os)
{
    *os << c.value;
}

class TrayHelp : public TrayTest, public ::testing::WithParamInterface<HelpCase> {};

TEST_P(TrayHelp, HelpOpensTheTablesAddressWithAScheme)
{
    TranslationList table = namedTexts();
    table.insert(QStringLiteral("APPHELPURL"), QLatin1String(GetParam().value));
    m_tray->SLOT_setTexts(table);
    helpMenu()->actions().at(0)->trigger();
    ASSERT_EQ(m_opened.size(), 1);
    EXPECT_EQ(m_opened.first().toString(), QLatin1String(GetParam().address));

    m_openerAnswer = false;
    m_tray->SLOT_showHelp();
    EXPECT_TRUE(m_log.contains(QStringLiteral("Unable to open help address: ") +
                               QLatin1String(GetParam().address)));
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayHelp,
    ::testing::Values(HelpCase{"support.ravo.test/help", "https://support.ravo.test/help"},
                      HelpCase{"http://support.ravo.test/help", "http://support.ravo.test/help"}),
    zarvo::test::printed_name());

TEST_F(TrayTest, NewTextsRetitleTheSameEntries)
{
    QList<QAction*> before = entries();
    before.append(helpMenu()->actions());
    m_tray->setSyncState(State::SyncOn);
    m_tray->SLOT_setTexts(namedTexts(QStringLiteral("new:")));

    QList<QAction*> after = entries();
    after.append(helpMenu()->actions());
    EXPECT_EQ(after, before);
    EXPECT_EQ(after.at(0)->text(), QStringLiteral("new:progress_syncongoingheader"));
    EXPECT_EQ(after.at(1)->text(), QStringLiteral("new:app_menu_settings"));
    EXPECT_EQ(helpMenu()->title(), QStringLiteral("new:app_menu_help"));
    EXPECT_EQ(after.at(4)->text(), QStringLiteral("new:app_menu_quit"));
    EXPECT_EQ(after.at(5)->text(), QStringLiteral("new:app_menu_support"));
    EXPECT_EQ(after.at(6)->text(), QStringLiteral("new:app_menu_showlog"));
    EXPECT_EQ(after.at(7)->text(), QStringLiteral("new:about_header"));
    EXPECT_EQ(m_tray->toolTip(), QStringLiteral("new:app_menu_state_syncon"));
}

} // namespace
