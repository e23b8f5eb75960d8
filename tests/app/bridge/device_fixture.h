#pragma once

#include "tests/app/bridge/bridge_fixture.h"

#include <QMetaMethod>
#include <QSet>
#include <QSignalSpy>

#include <memory>
#include <vector>

namespace RavoSync::Test {

// The bridge with the state its device side shares with the downloads open
// to the tests, which set it up as a download would leave it.
class DeviceBridge : public JsObject {
public:
    using JsObject::_fileDownloadReply;
    using JsObject::_fwUpdateReply;
    using JsObject::deviceFreeSpace;
    using JsObject::downloadContentType;
    using JsObject::fileCancelFlags;
    using JsObject::fileDownloadAborted;
    using JsObject::fileDownloadReplyDeleted;
    using JsObject::fwCancelFlags;
    using JsObject::fwDownloadAborted;
    using JsObject::fwUpdateReplyDeleted;
    using JsObject::JsObject;
    using JsObject::langsCopyOngoing;
    using JsObject::localBuffer;
    using JsObject::useLocalBuffer;
};

// Every emission of every signal the bridge and its requests object
// declare.
class BridgeSignals {
public:
    struct Emission {
        QString name;
        QVariantList arguments;
    };
    explicit BridgeSignals(JsObject* bridge)
    {
        // The window signals carry these by value.
        qRegisterMetaType<ConnectGlobals::SyncState::DialogState>();
        qRegisterMetaType<ConnectGlobals::SyncState::DialogType>();
        qRegisterMetaType<ConnectGlobals::SyncState::SyncProcessState>();
        // The requests first; a page notice of the same name as a request
        // is left out, so each emission counts once.
        QSet<QByteArray> requestNames;
        for (QObject* object :
             {static_cast<QObject*>(bridge->requests()), static_cast<QObject*>(bridge)}) {
            const QMetaObject* meta = object->metaObject();
            const bool isRequests = object == bridge->requests();
            for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
                const QMetaMethod method = meta->method(i);
                if (method.methodType() != QMetaMethod::Signal)
                    continue;
                if (isRequests)
                    requestNames.insert(method.name());
                else if (requestNames.contains(method.name()))
                    continue;
                const QByteArray signature = "2" + method.methodSignature();
                m_spies.push_back({QString::fromLatin1(method.name()),
                                   std::make_unique<QSignalSpy>(object, signature.constData())});
            }
        }
    }
    // Each spy keeps its own order; emissions here are told apart by name,
    // and the tests emit few enough that the count says "nothing else".
    QList<Emission> emissions() const
    {
        QList<Emission> out;
        for (const Spy& spy : m_spies) {
            for (const QVariantList& arguments : *spy.spy)
                out.append({spy.name, arguments});
        }
        return out;
    }
    void clear()
    {
        for (Spy& spy : m_spies)
            spy.spy->clear();
    }

private:
    struct Spy {
        QString name;
        std::unique_ptr<QSignalSpy> spy;
    };
    std::vector<Spy> m_spies;
};

// A bridge of the device kind with its stub, the stub page loaded and every
// signal recorded.
class DeviceBridgeTest : public BridgeTest {
protected:
    void SetUp() override
    {
        auto bridge = std::make_unique<DeviceBridge>(nullptr);
        m_device = bridge.get();
        m_bridge = std::move(bridge);
        m_stub = std::make_unique<StubSynchroniser>(m_bridge.get());
        ASSERT_TRUE(m_stub->wiredAll());
        loadStubPage();
        m_stub->clearCalls();
        m_signals = std::make_unique<BridgeSignals>(m_bridge.get());
    }
    void TearDown() override
    {
        m_signals.reset();
        BridgeTest::TearDown();
    }

    DeviceBridge* m_device = nullptr;
    std::unique_ptr<BridgeSignals> m_signals;
};

} // namespace RavoSync::Test
