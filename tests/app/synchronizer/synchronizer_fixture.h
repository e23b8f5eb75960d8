#pragma once

#include "app/bridge/jsobject.h"
#include "app/synchronizer/connection_table.h"
#include "app/synchronizer/data_synchronizer.h"
#include "tests/app/support/fake_provider.h"
#include "tests/app/support/stub_controller.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/log_lines.h"
#include "tests/connectlib/support/process_events.h"

#include <QWebFrame>
#include <QWebPage>
#include <gtest/gtest.h>

#include <memory>

namespace RavoSync::Test {

// A device record with every text set.
inline ConnectLib::TCData deviceRecord(quint64 id,
                                       const QString& model = QStringLiteral("Zarvo V 650"))
{
    return ConnectLib::TCData(id, QStringLiteral("Runner"), model, true, QStringLiteral("HID"),
                              QStringLiteral("1.2.3"), QStringLiteral("P"), QStringLiteral("4.5.6"),
                              QStringLiteral("Red"), QStringLiteral("Sport"), ConnectLib::OK);
}

// The stub test page: Stub.listen(name) records a bridge signal's calls.
inline const QString stubPage = QStringLiteral("qrc:/resources/test/ui/index.html");

// A synchroniser wired to a fake provider and a stub controller as the
// controller wires it.
class SynchronizerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_sync = makeSynchronizer();
        ASSERT_TRUE(m_sync);
    }
    void TearDown() override { m_sync.reset(); }

    std::unique_ptr<DataSynchronizer> makeSynchronizer()
    {
        auto sync = std::make_unique<DataSynchronizer>(&m_provider, nullptr);
        if (!ConnectGlobals::connectSynchronizer(&m_provider, sync.get(), &m_controller))
            return nullptr;
        return sync;
    }

    JsObject* bridge() const { return m_sync->bridge(); }
    static QWebFrame* frameOf(DataSynchronizer* sync)
    {
        return sync->bridge()->webView()->page()->mainFrame();
    }
    QWebFrame* frame() const { return frameOf(m_sync.get()); }
    // Loads the stub page into the window and listens to the named signals.
    void loadStubPage(DataSynchronizer* sync, const QStringList& listened)
    {
        sync->bridge()->SLOT_startByLoading(stubPage);
        ASSERT_TRUE(waitForJs(frameOf(sync), QStringLiteral("typeof Stub !== 'undefined' && "
                                                            "typeof JSObject !== 'undefined'")));
        for (const QString& name : listened)
            evalJs(frameOf(sync), QStringLiteral("Stub.listen('%1')").arg(name));
    }
    void loadStubPage(const QStringList& listened) { loadStubPage(m_sync.get(), listened); }
    // The recorded calls of a listened page signal as JSON text.
    QString pageCalls(const QString& name, DataSynchronizer* sync = nullptr)
    {
        return evalJs(frameOf(sync ? sync : m_sync.get()),
                      QStringLiteral("JSON.stringify(Stub.calls['%1'])").arg(name))
            .toString();
    }
    // Makes the window take id as its device, as the controller's start does.
    void takeDevice(quint64 id)
    {
        m_provider.addDevice(id);
        m_sync->SLOT_startSyncProcess(deviceRecord(id));
        m_provider.clearCalls();
    }

    ConnectLib::Test::LogLines m_log;
    FakeProvider m_provider;
    StubController m_controller;
    std::unique_ptr<DataSynchronizer> m_sync;
};

} // namespace RavoSync::Test
