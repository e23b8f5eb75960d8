#pragma once

// A worker on its own thread, what it emits, and what the log receives.

#include "connectlib/logging/logger.h"
#include "connectlib/worker/tc_worker.h"
#include "tests/connectlib/support/log_lines.h"
#include "tests/support/latch.h"

#include <QMetaObject>
#include <QStringList>
#include <QThread>
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

namespace ConnectLib::Test {

// The disk-space value that stands for no answer.
constexpr quint64 allOnes = ~quint64(0);

// Every emission of one worker signal, recorded on the emitting thread.
template <typename... Args>
class SignalLog {
public:
    using Item = std::tuple<std::decay_t<Args>...>;

    SignalLog(TCWorker* worker, void (TCWorker::*signal)(Args...))
        : m_connection(QObject::connect(worker, signal, [this](Args... args) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_items.emplace_back(args...);
            m_changed.notify_all();
        }))
    {
    }
    ~SignalLog() { QObject::disconnect(m_connection); }
    SignalLog(const SignalLog&) = delete;
    SignalLog& operator=(const SignalLog&) = delete;

    // The n-th emission (from 1); fails the test when it does not come.
    Item wait(std::size_t n = 1)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_for(lock, zarvo::test::latch::default_limit,
                                [&] { return m_items.size() >= n; })) {
            ADD_FAILURE() << "signal " << n << " never came";
            return Item();
        }
        return m_items.at(n - 1);
    }
    std::vector<Item> items() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_items;
    }
    std::size_t count() const { return items().size(); }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Item> m_items;
    QMetaObject::Connection m_connection;
};

template <typename... Args>
SignalLog(TCWorker*, void (TCWorker::*)(Args...)) -> SignalLog<Args...>;

// Owns a worker and the thread it runs on; the thread ends, and the worker is
// deleted, when this goes away.
class WorkerThread {
public:
    explicit WorkerThread(TCWorker* worker);
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    TCWorker* worker() const { return m_worker; }
    QThread& thread() { return m_thread; }

    // Queues f onto the worker's thread, as a queued slot call.
    template <typename F>
    void post(F f)
    {
        QMetaObject::invokeMethod(m_worker, std::move(f), Qt::QueuedConnection);
    }
    // Runs f on the worker's thread and waits for it.
    template <typename F>
    void run(F f)
    {
        QMetaObject::invokeMethod(m_worker, std::move(f), Qt::BlockingQueuedConnection);
    }

private:
    QThread m_thread;
    TCWorker* m_worker;
};

// Sends one request (request(worker) on the worker's thread) and returns the
// first emission of signal after it.
template <typename... Args, typename Request>
std::tuple<std::decay_t<Args>...> ask(WorkerThread& thread, void (TCWorker::*signal)(Args...),
                                      Request request)
{
    SignalLog<Args...> log(thread.worker(), signal);
    TCWorker* worker = thread.worker();
    thread.post([worker, request] { request(worker); });
    return log.wait();
}

// The flags of a result, always its last argument.
template <typename... T>
CPStateFlags flagsOf(const std::tuple<T...>& result)
{
    return std::get<sizeof...(T) - 1>(result);
}

} // namespace ConnectLib::Test
