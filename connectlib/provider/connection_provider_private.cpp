#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/provider/connection_provider.h"
#include "connectlib/provider/connection_provider_p.h"
#include "connectlib/provider/listener_wrapper.h"
#include "connectlib/provider/lz2_listener.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/tc_worker.h"

#include <QMetaType>
#include <QThread>

namespace ConnectLib {

namespace {

// How long closing waits for one worker thread. Its device operation has
// returned by then (the guard was emptied); only a long local operation can
// still run.
constexpr unsigned long threadJoinMs = 30000;

void logLine(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(text));
}

TCData localRecord(const QString& name)
{
    return TCData(TCData::localDeviceId, name, QStringLiteral("LocalTC"), true,
                  QStringLiteral("Local"), QString(), QString(), QString(), QString(), QString(),
                  TC_NOT_FOUND);
}

} // namespace

ConnectionProviderPrivate::ConnectionProviderPrivate(ConnectionProvider* owner,
                                                     const QString& offlineRoot)
    : m_owner(owner)
{
    qRegisterMetaType<ConnectLib::TCData>("ConnectLib::TCData");
    qRegisterMetaType<ConnectLib::CPStateFlags>("ConnectLib::CPStateFlags");
    qRegisterMetaType<ConnectLib::TCEntryItem>("ConnectLib::TCEntryItem");

    m_offlineWorker = new TCWorker(TCData(), nullptr, nullptr, nullptr, offlineRoot);
    m_offlineThread = startWorkerThread(m_offlineWorker, false);
    connect(m_offlineWorker, &TCWorker::SIGNAL_offLineFileRead, m_owner,
            &ConnectionProvider::SIGNAL_offLineFileRead);
    connect(m_offlineWorker, &TCWorker::SIGNAL_offLineFileWrote, m_owner,
            &ConnectionProvider::SIGNAL_offLineFileWrote);
    connect(m_offlineWorker, &TCWorker::SIGNAL_offLineFileExists, m_owner,
            &ConnectionProvider::SIGNAL_offLineFileExists);

    m_listener = new LZ2Listener();
    // Direct: registration, removal and the device events run on the device
    // library's threads, inside the adapter's callbacks.
    connect(m_listener, &LZ2Listener::SIGNAL_SessionEstablished, this,
            &ConnectionProviderPrivate::SLOT_AddTC, Qt::DirectConnection);
    connect(m_listener, &LZ2Listener::SIGNAL_SessionRerouted, this,
            &ConnectionProviderPrivate::SLOT_RerouteTC, Qt::DirectConnection);
    connect(m_listener, &LZ2Listener::SIGNAL_SessionDisappeared, this,
            &ConnectionProviderPrivate::SLOT_RemoveTC, Qt::DirectConnection);
    connect(m_listener, &LZ2Listener::SIGNAL_SessionIdling, this,
            &ConnectionProviderPrivate::SLOT_IdlingTC, Qt::DirectConnection);
    connect(m_listener, &LZ2Listener::SIGNAL_SessionBatteryStatus, this,
            &ConnectionProviderPrivate::SLOT_BatteryStatusTC, Qt::DirectConnection);
    // Automatic: the attach listener's thread hands over to this one.
    connect(m_listener, &LZ2Listener::SIGNAL_DorvaneAttached, this,
            &ConnectionProviderPrivate::SLOT_Announce_Dorvane);
    connect(m_listener, &LZ2Listener::SIGNAL_DorvaneDetached, this,
            &ConnectionProviderPrivate::SLOT_Removed_Dorvane);
    m_listener->start();
}

// Closing, on the provider's thread:
// 1. Under the table mutex the provider is marked closing, so registration,
//    removal and the device events leave the table and the signals alone,
//    and a registration's waits end early.
// 2. Each device worker (and each retired one) releases its session: it
//    forgets the adapter (which it must not reach once the adapter is gone)
//    and empties its guard after the running operation.
// 3. The listener stops (its callbacks end) and the adapter is deleted.
// 4. Every worker thread is ended and joined, then deleted with its worker.
ConnectionProviderPrivate::~ConnectionProviderPrivate()
{
    QList<WorkerEntry> devices;
    QHash<QThread*, TCWorker*> retired;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        m_closing = true;
        if (m_registeringThread)
            m_registeringThread->requestInterruption();
        // Fixed from here on: only this thread and the paths checked above
        // change them.
        devices = m_devices.values();
        retired = m_retired;
    }
    for (const WorkerEntry& entry : qAsConst(devices)) {
        if (entry.guard)
            entry.worker->releaseSession();
    }
    for (TCWorker* worker : qAsConst(retired))
        worker->releaseSession();

    if (m_listener) {
        ListenerWrapper wrapper(m_listener, this);
        m_listener = nullptr;
    }

    joinAndDelete(m_offlineWorker, m_offlineThread);
    m_offlineWorker = nullptr;
    m_offlineThread = nullptr;
    for (const WorkerEntry& entry : qAsConst(devices))
        joinAndDelete(entry.worker, entry.thread);
    for (auto it = retired.cbegin(); it != retired.cend(); ++it)
        joinAndDelete(it.value(), it.key());

    std::lock_guard<std::mutex> lock(m_tableMutex);
    m_devices.clear();
    m_retired.clear();
}

void ConnectionProviderPrivate::joinAndDelete(TCWorker* worker, QThread* thread)
{
    thread->exit(0);
    if (!thread->wait(threadJoinMs)) {
        // Deleting a running thread would crash; leaking it is the lesser harm.
        logLine(QStringLiteral("Worker thread did not finish: ") +
                worker->tcData().deviceIdAsHexString());
        return;
    }
    delete worker;
    delete thread;
}

QThread* ConnectionProviderPrivate::startWorkerThread(TCWorker* worker, bool forwardResults)
{
    auto* thread = new QThread();
    // Created maybe on a device-library thread, which runs no event loop: the
    // provider's thread handles the thread's end.
    thread->moveToThread(this->thread());
    worker->moveToThread(thread);
    connect(thread, &QThread::finished, this, &ConnectionProviderPrivate::SLOT_threadFinished,
            Qt::QueuedConnection);
    if (forwardResults)
        connectWorker(worker);
    thread->start(QThread::InheritPriority);
    return thread;
}

void ConnectionProviderPrivate::connectWorker(TCWorker* worker)
{
    const auto queued = Qt::QueuedConnection;
    ConnectionProvider* p = m_owner;
    connect(worker, &TCWorker::SIGNAL_TCDataReceived, p, &ConnectionProvider::SIGNAL_TCDataReceived,
            queued);
    connect(worker, &TCWorker::SIGNAL_fileRead, p, &ConnectionProvider::SIGNAL_fileRead, queued);
    connect(worker, &TCWorker::SIGNAL_fileWrote, p, &ConnectionProvider::SIGNAL_fileWrote, queued);
    connect(worker, &TCWorker::SIGNAL_fileMerged, p, &ConnectionProvider::SIGNAL_fileMerged,
            queued);
    connect(worker, &TCWorker::SIGNAL_timestampReceived, p,
            &ConnectionProvider::SIGNAL_timestampReceived, queued);
    connect(worker, &TCWorker::SIGNAL_currentUserDataReceived, p,
            &ConnectionProvider::SIGNAL_currentUserDataReceived, queued);
    connect(worker, &TCWorker::SIGNAL_entriesReceived, p,
            &ConnectionProvider::SIGNAL_entriesReceived, queued);
    connect(worker, &TCWorker::SIGNAL_subdirectoriesReceived, p,
            &ConnectionProvider::SIGNAL_subdirectoriesReceived, queued);
    connect(worker, &TCWorker::SIGNAL_getDailyEntriesReceived, p,
            &ConnectionProvider::SIGNAL_getDailyEntriesReceived, queued);
    connect(worker, &TCWorker::SIGNAL_challengeTokenReceived, p,
            &ConnectionProvider::SIGNAL_challengeTokenReceived, queued);
    connect(worker, &TCWorker::SIGNAL_fwUpdateProgress, p,
            &ConnectionProvider::SIGNAL_fwUpdateProgress, queued);
    connect(worker, &TCWorker::SIGNAL_fileWriteProgress, p,
            &ConnectionProvider::SIGNAL_fileWriteProgress, queued);
    connect(worker, &TCWorker::SIGNAL_firmwareUpdated, p,
            &ConnectionProvider::SIGNAL_firmwareUpdated, queued);
    // Automatic, which is queued as well: the worker lives on another thread.
    connect(worker, &TCWorker::SIGNAL_ZFTP_installUpdateCompleted, p,
            &ConnectionProvider::SIGNAL_ZFTP_installUpdateComplete);
    connect(worker, &TCWorker::SIGNAL_fwDataCopied, p,
            &ConnectionProvider::SIGNAL_firmwareDataCopied, queued);
    connect(worker, &TCWorker::SIGNAL_ADBenableCompleted, p,
            &ConnectionProvider::SIGNAL_ADB_enableComplete, queued);
    connect(worker, &TCWorker::SIGNAL_tcTimesSet, p, &ConnectionProvider::SIGNAL_tcTimesSet,
            queued);
    connect(worker, &TCWorker::SIGNAL_tcTimesGet, p, &ConnectionProvider::SIGNAL_tcTimesGet,
            queued);
    connect(worker, &TCWorker::SIGNAL_fileRemoved, p, &ConnectionProvider::SIGNAL_fileRemoved,
            queued);
    connect(worker, &TCWorker::SIGNAL_directoryCreated, p,
            &ConnectionProvider::SIGNAL_directoryCreated, queued);
    connect(worker, &TCWorker::SIGNAL_directoryRemoved, p,
            &ConnectionProvider::SIGNAL_directoryRemoved, queued);
    connect(worker, &TCWorker::SIGNAL_entryRemoved, p, &ConnectionProvider::SIGNAL_entryRemoved,
            queued);
    connect(worker, &TCWorker::SIGNAL_entriesRemoved, p, &ConnectionProvider::SIGNAL_entriesRemoved,
            queued);
    connect(worker, &TCWorker::SIGNAL_freeSpaceReceived, p,
            &ConnectionProvider::SIGNAL_freeSpaceReceived, queued);
    connect(worker, &TCWorker::SIGNAL_tcDirSizeReceived, p,
            &ConnectionProvider::SIGNAL_tcDirSizeReceived, queued);
    connect(worker, &TCWorker::SIGNAL_backupDone, p, &ConnectionProvider::SIGNAL_backupDone,
            queued);
    connect(worker, &TCWorker::SIGNAL_backupRevertDone, p,
            &ConnectionProvider::SIGNAL_backupRevertDone, queued);
    connect(worker, &TCWorker::SIGNAL_cleanupDone, p, &ConnectionProvider::SIGNAL_cleanupDone,
            queued);
    connect(worker, &TCWorker::SIGNAL_batteryStatusReceived, p,
            &ConnectionProvider::SIGNAL_batteryStatusReceived, queued);
}

bool ConnectionProviderPrivate::invokeWorker(quint64 deviceId, const QString& idText,
                                             const char* method, QGenericArgument a0,
                                             QGenericArgument a1, QGenericArgument a2,
                                             QGenericArgument a3, QGenericArgument a4)
{
    {
        // Held with the invoke, so the worker cannot be retired in between.
        std::lock_guard<std::mutex> lock(m_tableMutex);
        const auto found = m_devices.constFind(deviceId);
        if (found != m_devices.cend()) {
            QMetaObject::invokeMethod(found->worker, method, Qt::QueuedConnection, a0, a1, a2, a3,
                                      a4);
            return true;
        }
    }
    logLine(QStringLiteral("Training computer not found with deviceId: ") + idText);
    return false;
}

bool ConnectionProviderPrivate::invokeWorker(const TCData& data, const char* method,
                                             QGenericArgument a0, QGenericArgument a1,
                                             QGenericArgument a2, QGenericArgument a3,
                                             QGenericArgument a4)
{
    return invokeWorker(data.deviceId(), data.deviceIdAsHexString(), method, a0, a1, a2, a3, a4);
}

bool ConnectionProviderPrivate::invokeOfflineWorker(const char* method, QGenericArgument a0,
                                                    QGenericArgument a1)
{
    if (!m_offlineWorker) {
        logLine(QStringLiteral("No offlinestorage worker!"));
        return false;
    }
    QMetaObject::invokeMethod(m_offlineWorker, method, Qt::QueuedConnection, a0, a1);
    return true;
}

bool ConnectionProviderPrivate::cancel(const TCData& data)
{
    TCWorker* worker = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        worker = m_devices.value(data.deviceId()).worker;
    }
    if (!worker) {
        logLine(QStringLiteral("Training computer not found with deviceId: ") +
                data.deviceIdAsHexString());
        return false;
    }
    // Outside the table mutex: this waits for the device's guard, which idle
    // and battery forwarding hold while they look the device up. Workers are
    // deleted only on this (the provider's) thread, so this one stays alive.
    worker->cancelOperation();
    return true;
}

void ConnectionProviderPrivate::createLocalTC(const QString& rootPath)
{
    const TCData record = localRecord(rootPath);
    auto* worker = new TCWorker(record, nullptr, nullptr, nullptr, rootPath);
    bool replaced = false;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        const auto found = m_devices.find(TCData::localDeviceId);
        if (found != m_devices.end()) {
            // A local worker has no guard: there is no operation to wait for.
            retireLocked(*found);
            m_devices.erase(found);
            replaced = true;
        }
        WorkerEntry entry;
        entry.worker = worker;
        entry.thread = startWorkerThread(worker, true);
        m_devices.insert(TCData::localDeviceId, entry);
    }
    const QString id = QString::number(TCData::localDeviceId);
    if (replaced) {
        logLine(QStringLiteral("Tc disappeared: ") + id);
        emit m_owner->SIGNAL_TCDisappeared(localRecord(QString()));
    }
    logLine(QStringLiteral("Tc appeared: ") + id);
    emit m_owner->SIGNAL_TCAppeared(record);
}

void ConnectionProviderPrivate::retireLocked(const WorkerEntry& entry)
{
    // The adapter no longer knows the guard's session (see detachAdapter).
    entry.worker->detachAdapter();
    m_retired.insert(entry.thread, entry.worker);
    // Requests still queued for the worker are dropped with it.
    entry.thread->exit(0);
}

void ConnectionProviderPrivate::SLOT_threadFinished()
{
    auto* thread = qobject_cast<QThread*>(sender());
    TCWorker* worker = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        worker = m_retired.take(thread);
    }
    if (!worker)
        return;
    // The thread has left run(); this returns at once.
    thread->wait();
    delete worker;
    delete thread;
}

} // namespace ConnectLib
