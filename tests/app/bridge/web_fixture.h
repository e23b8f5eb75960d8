#pragma once

#include "tests/app/bridge/bridge_fixture.h"
#include "tests/app/support/fake_web.h"
#include "tests/connectlib/support/process_events.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>

#include <memory>

namespace RavoSync::Test {

inline const QString contentBase = QStringLiteral("https://content.ravo.test/contentserver");
inline const QString serviceBase = QStringLiteral("https://content.ravo.test/v2");

// A bridge with the stub page, in front of the fake web service (started
// first: the page's manager takes the application's proxy when the bridge is
// built). The page judges a remote reply by its status as the page library
// does (200 to 399 but 305 pass).
class WebBridgeTest : public BridgeTest {
protected:
    void SetUp() override
    {
        m_web = std::make_unique<FakeWeb>(trust());
        ASSERT_TRUE(m_web->started());
        BridgeTest::SetUp();
        loadStubPage();
        js(QStringLiteral("App.Common.parseRemoteReply = function (s) {"
                          " Stub.remoteReplies.push(s); return ") +
           pageLibraryRemoteVerdict + QStringLiteral("; }"));
        m_read = std::make_unique<QSignalSpy>(m_bridge.get(), &JsObject::SIGNAL_fileRead);
        m_written = std::make_unique<QSignalSpy>(m_bridge.get(), &JsObject::SIGNAL_fileWritten);
        m_fail = std::make_unique<QSignalSpy>(m_bridge.get(), &JsObject::SIGNAL_fail);
        m_dialog = std::make_unique<QSignalSpy>(m_bridge->requests(),
                                                &BridgeRequests::SIGNAL_showOfflineDialog);
    }
    void TearDown() override
    {
        m_read.reset();
        m_written.reset();
        m_fail.reset();
        m_dialog.reset();
        BridgeTest::TearDown();
        m_web.reset();
    }
    virtual FakeWeb::Trust trust() const { return FakeWeb::Trust::TestCa; }

    // Completions of raw-data transfers so far.
    int completions() const
    {
        return m_read->count() + m_written->count() + m_fail->count() + m_dialog->count();
    }
    bool waitForCompletions(int count, int timeoutMs = 20000)
    {
        return ConnectLib::Test::processUntil([&] { return completions() >= count; }, timeoutMs);
    }
    static QJsonObject rule(const QString& path,
                            std::initializer_list<QPair<QString, QJsonValue>> keys)
    {
        QJsonObject object{{QStringLiteral("path"), path}};
        for (const auto& key : keys)
            object.insert(key.first, key.second);
        return object;
    }

    std::unique_ptr<FakeWeb> m_web;
    std::unique_ptr<QSignalSpy> m_read;
    std::unique_ptr<QSignalSpy> m_written;
    std::unique_ptr<QSignalSpy> m_fail;
    std::unique_ptr<QSignalSpy> m_dialog;
};

} // namespace RavoSync::Test
