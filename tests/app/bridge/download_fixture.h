#pragma once

#include "tests/app/bridge/device_fixture.h"
#include "tests/app/support/fake_web.h"
#include "tests/connectlib/support/process_events.h"

#include <QJsonObject>

#include <memory>

namespace RavoSync::Test {

// The bridge with the download state open to the tests.
class DownloadBridge : public DeviceBridge {
public:
    using DeviceBridge::DeviceBridge;
    using JsObject::downloadTargetPath;
    using JsObject::fileBytesExpected;
    using JsObject::fileBytesReceived;
};

// A bridge of the download kind in front of the fake web service (started
// first: the page's manager takes the application's proxy when the bridge
// is built), its stub synchroniser, the stub page with the progress page's
// functions recording what they are given, and every bridge signal
// recorded. The page judges a remote reply by its status as the page library
// does (200 to 399 but 305 pass) and a local result by its flags ("OK"
// passes).
class DownloadTest : public BridgeTest {
protected:
    void SetUp() override
    {
        m_web = std::make_unique<FakeWeb>();
        ASSERT_TRUE(m_web->started());
        auto bridge = std::make_unique<DownloadBridge>(nullptr);
        m_downloads = bridge.get();
        m_bridge = std::move(bridge);
        m_stub = std::make_unique<StubSynchroniser>(m_bridge.get());
        ASSERT_TRUE(m_stub->wiredAll());
        loadStubPage();
        js(QStringLiteral("App.Common.parseRemoteReply = function (s) {"
                          " Stub.remoteReplies.push(s); return ") +
           pageLibraryRemoteVerdict +
           QStringLiteral(
               "; };"
               "App.Common.parseLocalReply = function (flags, dialog) {"
               " Stub.localReplies.push([flags, dialog]); return flags === 'OK'; };"
               "Stub.bars = []; Stub.statuses = [];"
               "window.updateProgressbarStatus = function (n, a, b, p, w) { Stub.bars.push(p); };"
               "App.Common.countMyProgress = function (phases, phase, max, p) {"
               " return [phases, phase, max, p]; };"
               "App.syncMain.updateSyncStatus = function (n, v) { Stub.statuses.push(v); };"));
        m_stub->clearCalls();
        m_signals = std::make_unique<BridgeSignals>(m_bridge.get());
    }
    void TearDown() override
    {
        m_signals.reset();
        BridgeTest::TearDown();
        m_web.reset();
    }

    // Emissions of the named bridge signal so far.
    QList<QVariantList> emitted(const QString& name) const
    {
        QList<QVariantList> out;
        for (const BridgeSignals::Emission& emission : m_signals->emissions()) {
            if (emission.name == name)
                out.append(emission.arguments);
        }
        return out;
    }
    // The answers a download ends with.
    int answers() const
    {
        int count = 0;
        for (const char* name : {"SIGNAL_fail", "SIGNAL_fileRead", "SIGNAL_showOfflineDialog",
                                 "SIGNAL_writeFWFileToAbsolutePath"})
            count += emitted(QString::fromLatin1(name)).size();
        return count;
    }
    bool waitForAnswers(int count, int timeoutMs = 30000)
    {
        return ConnectLib::Test::processUntil([&] { return answers() >= count; }, timeoutMs);
    }
    // The page's answer a failed download gave: its flags text.
    QString failFlags() const
    {
        const QList<QVariantList> fails = emitted(QStringLiteral("SIGNAL_fail"));
        return fails.isEmpty() ? QStringLiteral("<none>") : fails.last().at(1).toString();
    }
    static QJsonObject rule(const QString& path,
                            std::initializer_list<QPair<QString, QJsonValue>> keys)
    {
        QJsonObject object{{QStringLiteral("path"), path}};
        for (const auto& key : keys)
            object.insert(key.first, key.second);
        return object;
    }
    // Requests for path the fake has seen.
    int requestsFor(const QString& path) const
    {
        int count = 0;
        for (const FakeRequest& request : m_web->requests())
            count += request.path == path ? 1 : 0;
        return count;
    }

    std::unique_ptr<FakeWeb> m_web;
    DownloadBridge* m_downloads = nullptr;
    std::unique_ptr<BridgeSignals> m_signals;
};

} // namespace RavoSync::Test
