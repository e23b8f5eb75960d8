#pragma once

#include "app/bridge/jsobject.h"
#include "app/windows/viewer.h"
#include "tests/app/support/stub_synchroniser.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/log_lines.h"

#include <QWebFrame>
#include <gtest/gtest.h>

#include <memory>

namespace RavoSync::Test {

// The stub page as the synchroniser's offline dialog names it.
inline const QString stubPage = QStringLiteral("qrc:/resources/test/ui/index.html");

// The page library's verdict on a remote status s (App.Common.parseRemoteReply
// in common.js, whose table the page tests hold): 200 to 399 but 305 pass,
// redirects included.
inline const QString pageLibraryRemoteVerdict =
    QStringLiteral("(s === 'success' || (s >= 200 && s < 400 && s !== 305))");

// A bridge without synchroniser, its stub and the stub page loaded.
class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_bridge = std::make_unique<JsObject>(nullptr);
        m_stub = std::make_unique<StubSynchroniser>(m_bridge.get());
        ASSERT_TRUE(m_stub->wiredAll());
    }
    void TearDown() override
    {
        m_stub.reset();
        m_bridge.reset();
    }
    QWebFrame* frame() { return m_bridge->webView()->page()->mainFrame(); }
    void loadStubPage()
    {
        m_bridge->SLOT_startByLoading(stubPage);
        ASSERT_TRUE(waitForJs(frame(), QStringLiteral("typeof Stub !== 'undefined' && "
                                                      "typeof JSObject !== 'undefined'")));
    }
    QVariant js(const QString& expression) { return evalJs(frame(), expression); }

    ConnectLib::Test::LogLines m_log;
    std::unique_ptr<JsObject> m_bridge;
    std::unique_ptr<StubSynchroniser> m_stub;
};

} // namespace RavoSync::Test
