#pragma once

// The rig of the worker benchmarks: a device worker on its own thread over
// the device emulator's model behind a model-backed fake connection,
// published into the device library's core, with no link latency. Each round
// is timed from queuing the request to its result signal.
// The model before any Qt header: it has a member named emit.
#include "tests/support/fake_links.h"
#include "tests/support/model_links.h"
#include "tools/emulator/device_model.h"

#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/tc_worker.h"
#include "devicelib/core/listener.h"
#include "devicelib/core/posting.h"
#include "devicelib/core/session.h"
#include "tests/devicelib/core/test_device.h"

#include <QCoreApplication>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

namespace ConnectLib::Bench {

inline QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "zarvo_ktlib_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Hands over the session once established; empties the guard when it ends.
class SessionCatcher : public zarvo::listener {
public:
    void established(zarvo::session& s) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_session)
            m_session = &s;
        m_changed.notify_all();
    }
    void rerouted(zarvo::session&) override {}
    void disconnected(zarvo::session& s) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (s.connection_count() == 0)
            m_ended = true;
        m_changed.notify_all();
    }
    zarvo::session* waitSession()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_session != nullptr; });
        return m_session;
    }
    void waitEnded()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_ended; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    zarvo::session* m_session = nullptr;
    bool m_ended = false;
};

// One round trip at a time: the request is queued and the caller waits for
// the result signal.
class BenchWorker {
public:
    BenchWorker()
    {
        application();
        zarvo::emulator::device_profile profile = zarvo::emulator::device_profile::usb_device();
        profile.id = m_device.id();
        model = std::make_shared<zarvo::emulator::device_model>(profile);
        // Room for the large file beside the seed content.
        model->set_total_fragments(model->disk().total_fragments * 64);
        m_listener.start();
        m_connection = new zarvo::test::usb_like_connection(
            m_device.id(), std::make_shared<zarvo::test::model_backend>(model));
        zarvo::core::post_publish_connection(m_device.id(), m_connection, 0);
        m_guard = new SessionGuard(m_listener.waitSession());
        worker = new TCWorker(TCData(), nullptr, nullptr, m_guard, QString());
        worker->moveToThread(&m_thread);
        m_thread.start();
    }
    ~BenchWorker()
    {
        zarvo::core::post_withdraw_connection(m_device.id(), m_connection);
        m_listener.waitEnded();
        m_guard->nullify();
        m_thread.quit();
        m_thread.wait();
        delete worker;
        m_listener.stop();
    }

    // Queues request on the worker's thread, waits for signal and returns
    // the flags it carried (always its last argument).
    template <typename... Args, typename Request>
    CPStateFlags roundTrip(void (TCWorker::*signal)(Args...), Request request)
    {
        bool done = false;
        CPStateFlags flags;
        const auto connection = QObject::connect(worker, signal, [&](Args... args) {
            std::lock_guard<std::mutex> lock(m_mutex);
            flags = std::get<sizeof...(Args) - 1>(std::forward_as_tuple(args...));
            done = true;
            m_done.notify_all();
        });
        TCWorker* w = worker;
        QMetaObject::invokeMethod(
            worker, [w, request] { request(w); }, Qt::QueuedConnection);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&] { return done; });
        QObject::disconnect(connection);
        return flags;
    }

    std::shared_ptr<zarvo::emulator::device_model> model;
    TCWorker* worker = nullptr;

private:
    zarvo::test::test_device m_device;
    SessionCatcher m_listener;
    zarvo::core::connection* m_connection = nullptr;
    SessionGuard* m_guard = nullptr;
    QThread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_done;
};

} // namespace ConnectLib::Bench
