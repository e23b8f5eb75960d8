// The page library's tables, one test per suite file, in the host page that
// loads jQuery and common.js from the content server.
#include "tests/app/support/page_script_test.h"
#include "tests/connectlib/support/process_events.h"

#include <QCoreApplication>
#include <QEvent>
#include <QJsonArray>
#include <QJsonObject>
#include <QWidget>

#include <functional>

namespace RavoSync::Test {
namespace {

class CommonScripts : public PageScriptTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CommonScripts, Tables)
{
    runSuite(QStringLiteral("common_host.html"), QString::fromLatin1(GetParam()));
}

std::string suiteName(const ::testing::TestParamInfo<const char*>& info)
{
    std::string name = info.param;
    name = name.substr(0, name.find('.'));
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, CommonScripts,
                         ::testing::Values("common_verdicts.js", "common_paths.js",
                                           "common_texts.js", "common_translations.js",
                                           "common_buttons.js", "common_helpers.js",
                                           "common_bridge.js", "common_quick.js",
                                           "common_offline.js"),
                         suiteName);

const QString content = QStringLiteral("content.ravo.test");

QJsonObject answer(const QString& path, int status, const QString& body = QString(),
                   const QString& type = QStringLiteral("application/json"))
{
    QJsonObject rule{{"method", "GET"}, {"host", content}, {"path", path}, {"status", status}};
    if (status == 200) {
        rule.insert(QStringLiteral("headers"), QJsonObject{{"Content-Type", type}});
        if (body.isNull())
            rule.insert(QStringLiteral("bodySize"), 64);
        else
            rule.insert(QStringLiteral("body"), body);
    }
    return rule;
}

QJsonObject picture(const QString& name)
{
    return answer(QStringLiteral("/contentserver/img/%1.png").arg(name), 200, QString(),
                  QStringLiteral("image/png"));
}

// Every picture the rules before it do not name is missing.
QJsonObject noOtherPicture()
{
    return answer(QStringLiteral("/contentserver/img/*.png"), 404);
}

bool isProbe(const FakeRequest& request)
{
    return request.host == content &&
           request.path.startsWith(QLatin1String("/contentserver/img/")) &&
           !request.path.contains(QLatin1String("/usb"));
}

class PictureScripts : public PageScriptTest {};

TEST_F(PictureScripts, ProbesFindTheNearestPictureAndTheVersionFileTheAddress)
{
    m_web->setRoutes(QJsonArray{
        picture(QStringLiteral("zarvon410")), picture(QStringLiteral("zarvotovri2")),
        picture(QStringLiteral("zarvotovri2_brillane_white")), picture(QStringLiteral("generic")),
        noOtherPicture(),
        answer(QStringLiteral("/contentserver/ver/good.json"), 200,
               QStringLiteral("{\"url\":\"https://cdn.ravo.test/\",\"version\":\"1.0.0.0\"}")),
        answer(QStringLiteral("/contentserver/ver/array.json"), 200,
               QStringLiteral("[\"https://cdn.ravo.test/\"]")),
        answer(QStringLiteral("/contentserver/ver/nourl.json"), 200,
               QStringLiteral("{\"version\":\"1.0.0.0\"}")),
        answer(QStringLiteral("/contentserver/ver/missing.json"), 404)});
    runSuite(QStringLiteral("common_host.html"), QStringLiteral("common_picture.js"));
}

// Without a device the plug moves toward the socket, but only while the
// window can be seen: a hidden or minimised window does no work for it.
TEST_F(PictureScripts, ThePlugRestsWhileTheWindowCannotBeSeen)
{
    ASSERT_TRUE(loadHostPage(QStringLiteral("common_host.html")));
    QWidget* view = m_bridge->webView();
    view->show();
    js(QStringLiteral("App.syncMain.i18n = App.Common.createLocObject(Host.translations());"
                      "App.Common.setSessionVariable('tcdeviceid', '');"
                      "App.Common.setTCreceived('');"));
    const struct {
        const char* step;
        std::function<void()> act;
        bool moving;
    } steps[] = {
        {"shown", [] {}, true},
        {"hidden", [&] { view->hide(); }, false},
        {"shown again", [&] { view->show(); }, true},
        {"minimised", [&] { view->showMinimized(); }, false},
        {"restored", [&] { view->showNormal(); }, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.act();
        EXPECT_EQ(js(QStringLiteral("App.Common.plugMoving()")).toBool(), step.moving);
    }
}

TEST_F(PictureScripts, WithoutAnyPictureTheProbesStopAfterGeneric)
{
    m_web->setRoutes(QJsonArray{noOtherPicture()});
    runSuite(QStringLiteral("common_host.html"), QStringLiteral("common_picture_none.js"));
    ASSERT_TRUE(m_web->waitForRequest([](const FakeRequest& request) {
        return request.path == QLatin1String("/contentserver/img/generic.png");
    }));
    QStringList probes;
    for (const FakeRequest& request : m_web->requests()) {
        if (isProbe(request))
            probes.append(request.path.mid(QStringLiteral("/contentserver/img/").size()));
    }
    EXPECT_EQ(probes, (QStringList{QStringLiteral("ghost_red.png"), QStringLiteral("ghost.png"),
                                   QStringLiteral("generic.png")}));
}

// The buttons that close the window reach the real bridge, which ends the
// window (the stub hears it quit).
class ClosingButtons : public PageScriptTest,
                       public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(ClosingButtons, ClickClosesTheWindowThroughTheBridge)
{
    ASSERT_TRUE(loadHostPage(QStringLiteral("common_host.html")));
    js(QStringLiteral("App.Common.showButtons('%1'); $('#%2').trigger('click');")
           .arg(QLatin1String(GetParam().first), QLatin1String(GetParam().second)));
    // The view goes with a deferred deletion, which only an event loop
    // (not processEvents) carries out by itself.
    EXPECT_TRUE(ConnectLib::Test::processUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return m_stub->callNames().contains(QStringLiteral("quit"));
        },
        20000));
    EXPECT_EQ(m_stub->callNames().count(QStringLiteral("quit")), 1);
}

INSTANTIATE_TEST_SUITE_P(Values, ClosingButtons,
                         ::testing::Values(std::make_pair("ok", "button_ok"),
                                           std::make_pair("close", "button_close"),
                                           std::make_pair("cancel", "button_cancel")),
                         [](const auto& info) { return std::string(info.param.first); });

// The bridge's own verdict script on the library.
struct LocalReply {
    const char* label;
    ConnectLib::CPStateFlags flags;
    bool ok;
};

class BridgeVerdicts : public PageScriptTest, public ::testing::WithParamInterface<LocalReply> {};

TEST_P(BridgeVerdicts, IsLocalReplyOkEvaluatesTheLibrary)
{
    ASSERT_TRUE(loadHostPage(QStringLiteral("common_host.html")));
    EXPECT_EQ(m_bridge->isLocalReplyOk(GetParam().flags), GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, BridgeVerdicts,
    ::testing::Values(LocalReply{"ok", ConnectLib::OK, true},
                      LocalReply{"file_exists", ConnectLib::FILE_EXISTS, true},
                      LocalReply{"token_failed", ConnectLib::GET_CHALLENGE_TOKEN_FAILED, false},
                      LocalReply{"ok_not_found", ConnectLib::OK | ConnectLib::FILE_OR_DIR_NOT_FOUND,
                                 false},
                      LocalReply{"busy", ConnectLib::GENERAL_ERROR | ConnectLib::TC_BUSY, false}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace RavoSync::Test
