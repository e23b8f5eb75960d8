#pragma once

#include "connectlib/provider/connection_provider.h"
#include "connectlib/types/tc_data.h"

#include <QGenericArgument>
#include <QHash>
#include <QObject>
#include <QString>

#include <mutex>

class QThread;

namespace ConnectLib {

class ConnectionProvider;
class LZ2Listener;
class SessionGuard;
class SessionPointer;
class TCWorker;

// The provider's state: the device table, the offline-storage worker and the
// listener adapter. Registration, removal and the idle and battery events run
// on the device library's threads (direct connections from the adapter);
// requests, the local pseudo-device and thread clean-up on the provider's.
//
// Lock order: the adapter's mutex, then a session guard's mutex, then
// m_tableMutex. Nothing waits for a guard while holding m_tableMutex, and
// nothing emits a provider signal while holding it.
class ConnectionProviderPrivate : public QObject {
    Q_OBJECT
public:
    ConnectionProviderPrivate(ConnectionProvider* owner, const QString& offlineRoot);
    // Stops the listener, then every worker thread; see the definition.
    ~ConnectionProviderPrivate() override;

    // Forwards the worker's result signals to the provider's, queued.
    void connectWorker(ConnectLib::TCWorker* worker);

    // Queues method on the device's worker. Without a registered device it
    // writes the not-found line naming idText and returns false.
    bool invokeWorker(quint64 deviceId, const QString& idText, const char* method,
                      QGenericArgument a0 = QGenericArgument(),
                      QGenericArgument a1 = QGenericArgument(),
                      QGenericArgument a2 = QGenericArgument(),
                      QGenericArgument a3 = QGenericArgument(),
                      QGenericArgument a4 = QGenericArgument());
    bool invokeWorker(const ConnectLib::TCData& data, const char* method,
                      QGenericArgument a0 = QGenericArgument(),
                      QGenericArgument a1 = QGenericArgument(),
                      QGenericArgument a2 = QGenericArgument(),
                      QGenericArgument a3 = QGenericArgument(),
                      QGenericArgument a4 = QGenericArgument());
    // Queues method on the offline worker; false after "No offlinestorage
    // worker!" when there is none.
    bool invokeOfflineWorker(const char* method, QGenericArgument a0 = QGenericArgument(),
                             QGenericArgument a1 = QGenericArgument());

    ConnectLib::LZ2Listener* listener() const { return m_listener; }

    // SLOT_cancel: the worker is looked up under the table mutex and asked
    // outside it, since the cancel waits for the device's guard.
    bool cancel(const ConnectLib::TCData& data);
    void createLocalTC(const QString& rootPath);

public slots:
    void SLOT_AddTC(ConnectLib::LZ2Listener* listener, ConnectLib::SessionGuard* session);
    void SLOT_RerouteTC(ConnectLib::SessionGuard* session);
    void SLOT_RemoveTC(quint64 device_id, ConnectLib::SessionGuard* session);
    void SLOT_Announce_Dorvane();
    void SLOT_Removed_Dorvane();
    void SLOT_IdlingTC(ConnectLib::SessionGuard* session);
    void SLOT_BatteryStatusTC(ConnectLib::SessionGuard* session, int charge);
    // A retired worker's thread has ended: joins it and deletes thread and
    // worker, on the provider's thread.
    void SLOT_threadFinished();

private:
    struct WorkerEntry {
        ConnectLib::TCWorker* worker = nullptr;
        QThread* thread = nullptr;
        // The device's session guard (owned by the worker); null for the
        // local pseudo-device.
        ConnectLib::SessionGuard* guard = nullptr;
    };

    // A new thread, owned by the provider's thread, with worker moved to it
    // and its results connected; started.
    QThread* startWorkerThread(ConnectLib::TCWorker* worker, bool forwardResults);
    // Under m_tableMutex: the thread is told to leave its event loop; worker
    // and thread are deleted once it has ended.
    void retireLocked(const WorkerEntry& entry);
    // The record of the registered device behind the guard's session, for
    // the idle and battery events; false when there is none or the provider
    // closes.
    bool registeredRecord(ConnectLib::SessionGuard* guard, ConnectLib::TCData& record);
    // Registration steps 4 to 9; runs with the guard's lock held.
    void registerDevice(ConnectLib::LZ2Listener* listener, ConnectLib::SessionGuard* guard,
                        ConnectLib::SessionPointer& session, quint64 deviceId);
    bool isClosing();
    // Ends worker's thread within a bound and deletes both; a thread still
    // running then is logged and left.
    static void joinAndDelete(ConnectLib::TCWorker* worker, QThread* thread);

    ConnectionProvider* m_owner;
    LZ2Listener* m_listener = nullptr;
    ConnectLib::TCWorker* m_offlineWorker = nullptr;
    QThread* m_offlineThread = nullptr;

    // Guards everything below. A standard mutex, so race checkers see it.
    std::mutex m_tableMutex;
    QHash<quint64, WorkerEntry> m_devices;
    // Threads told to exit whose worker is deleted once they have ended.
    QHash<QThread*, ConnectLib::TCWorker*> m_retired;
    // Set once by the destructor: registration, removal and the device
    // events then touch neither the table nor the provider's signals.
    bool m_closing = false;
    // The thread running a registration (at most one: the adapter's mutex
    // serialises them), asked to interrupt its waits when closing.
    QThread* m_registeringThread = nullptr;
};

struct ConnectionProviderAccess {
    static ConnectionProviderPrivate* of(ConnectionProvider* provider) { return provider->d; }
};

} // namespace ConnectLib
