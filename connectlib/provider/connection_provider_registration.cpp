// Device registration and removal, and the forwarding of the device events.
// Everything here but the two attach slots runs on the device library's
// threads, inside the listener adapter's callbacks.
#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/provider/connection_provider.h"
#include "connectlib/provider/connection_provider_p.h"
#include "connectlib/provider/lz2_listener.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/tc_worker.h"
#include "connectlib/worker/worker_errors.h"
#include "devicelib/core/session.h"
#include "devicelib/errors/errors.h"

#include <QThread>

namespace ConnectLib {

namespace {

constexpr int readAttempts = 4;
constexpr int attemptPauseMs = 1000;

// How a failed read of the device information is told apart (derived
// classes first) and what it does to the registration.
enum class Outcome { retry, tryAgain, drop };

struct RegistrationError {
    bool (*matches)(const zarvo::exception& error);
    const char* logText;
    Outcome outcome;
};

const RegistrationError registrationErrors[] = {
    {&isKindOf<zarvo::try_again>, "Try again exception thrown. Message: ", Outcome::tryAgain},
    {&isKindOf<zarvo::wait_for_idling>,
     "Wait for idling exception thrown. Message: ", Outcome::drop},
    {&isKindOf<zarvo::device_busy>, "Device busy exception thrown. Message: ", Outcome::drop},
    {&isKindOf<zarvo::system_busy>, "System busy exception thrown. Message: ", Outcome::drop},
    {&isKindOf<zarvo::bad_data>, "Bad data exception thrown. Message: ", Outcome::retry},
    {&isKindOf<zarvo::no_such_file_or_directory>,
     "No such file or directory exception thrown. Message: ", Outcome::retry},
    {&isKindOf<zarvo::unidentified_device_error>,
     "Unidentified device error exception thrown. Message: ", Outcome::retry},
    {&isKindOf<zarvo::session_expired>,
     "Session expired exception thrown. Message: ", Outcome::drop},
    {&isKindOf<zarvo::link_lost>, "Link lost exception thrown. Message: ", Outcome::drop},
};
const RegistrationError otherZarvoError{nullptr,
                                        "Zarvo exception thrown. Message: ", Outcome::retry};

const RegistrationError& classify(const zarvo::exception& error)
{
    for (const RegistrationError& row : registrationErrors) {
        if (row.matches(error))
            return row;
    }
    return otherZarvoError;
}

void logError(const char* text, const char* what)
{
    Logger::instance()->logPrint(appendLogPrefix(QStringLiteral(" ERROR: ") + QLatin1String(text) +
                                                 QString::fromUtf8(what)));
}

// Logs the failure of a registration step being handled and says what
// follows.
Outcome reportFailure()
{
    try {
        throw;
    } catch (const zarvo::exception& error) {
        const RegistrationError& row = classify(error);
        logError(row.logText, error.std_base().what());
        return row.outcome;
    } catch (const std::exception& error) {
        logError("Std exception thrown. Message: ", error.what());
    } catch (...) {
        // Neither kind: nothing to show but the fact. Treated like a
        // standard exception.
        logError("Unknown exception thrown.", "");
    }
    return Outcome::retry;
}

QString versionText(const zarvo::version& version)
{
    return QStringLiteral("%1.%2.%3")
        .arg(QString::number(version.major()), QString::number(version.minor()),
             QString::number(version.patch()));
}

} // namespace

bool ConnectionProviderPrivate::isClosing()
{
    std::lock_guard<std::mutex> lock(m_tableMutex);
    return m_closing;
}

void ConnectionProviderPrivate::SLOT_AddTC(LZ2Listener* listener, SessionGuard* session)
{
    // Held to the end: requests queued for the device meanwhile wait, and
    // the session cannot end under the registration.
    SessionPointer pointer = session->getSessionPointer();
    if (!pointer)
        return;
    const quint64 deviceId = pointer->device_id();
    if (deviceId == 0)
        return;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        if (m_closing)
            return;
        m_registeringThread = QThread::currentThread();
    }
    // Reset however the registration ends, an exception included: the
    // destructor interrupts the thread it names.
    struct ResetRegisteringThread {
        ConnectionProviderPrivate* d;
        ~ResetRegisteringThread()
        {
            std::lock_guard<std::mutex> lock(d->m_tableMutex);
            d->m_registeringThread = nullptr;
        }
    } reset{this};
    registerDevice(listener, session, pointer, deviceId);
}

void ConnectionProviderPrivate::registerDevice(LZ2Listener* listener, SessionGuard* guard,
                                               SessionPointer& session, quint64 deviceId)
{
    Common::waitIfNewDevice(deviceId);

    CPStateFlag state = TC_NOT_FOUND;
    zarvo::device_info info;
    for (int attempt = 0; attempt < readAttempts && state != OK; ++attempt) {
        if (isClosing())
            return;
        try {
            info = session->info();
            state = OK;
        } catch (...) {
            const Outcome outcome = reportFailure();
            if (outcome == Outcome::drop)
                return;
            if (outcome == Outcome::tryAgain)
                state = TRY_OPERATION_AGAIN;
            Common::delay(attemptPauseMs);
        }
    }

    TCData record;
    try {
        zarvo::core::connection* current = session->current_connection();
        const QString name = QString::fromStdString(session->family(current));
        const QString type = QString::fromStdString(session->transport(current));
        const bool linkValid = current != nullptr;
        if (state == OK) {
            record =
                TCData(deviceId, name, QString::fromStdString(info.model()), linkValid, type,
                       versionText(info.bootloader()), versionText(info.platform()),
                       versionText(info.firmware()), QString::fromStdString(info.product_color()),
                       QString::fromStdString(info.product_design()), OK);
        } else {
            record = TCData(deviceId, name, QString(), linkValid, type, QString(), QString(),
                            QString(), QString(), QString(), state);
        }
    } catch (...) {
        // Every failure here drops the registration.
        reportFailure();
        return;
    }

    // A new session of a device whose earlier session has not been removed
    // yet. The adapter lets go of the earlier guard here, on this thread and
    // outside the table mutex (it waits for the earlier worker's running
    // operation), so that the retiring worker's deletion on the provider's
    // thread never waits for the adapter's mutex. Nobody else can retire
    // the earlier worker meanwhile: its removal and this registration both
    // run under the adapter's mutex, and closing deletes workers only once
    // the adapter's callbacks have ended.
    SessionGuard* earlierGuard = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        if (m_closing)
            return;
        earlierGuard = m_devices.value(deviceId).guard;
    }
    if (earlierGuard) {
        listener->forgetHeld(earlierGuard);
        // Its worker's requests still queued meet an ended session.
        earlierGuard->nullify();
    }

    bool replaced = false;
    TCData replacedRecord;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        if (m_closing)
            return;
        // The earlier worker retires, announced as gone.
        const auto found = m_devices.find(deviceId);
        if (found != m_devices.end()) {
            replacedRecord = found->worker->tcData();
            retireLocked(*found);
            m_devices.erase(found);
            replaced = true;
        }
        WorkerEntry entry;
        entry.worker = new TCWorker(record, listener, nullptr, guard, QString());
        entry.guard = guard;
        listener->guardAdopted(guard);
        entry.thread = startWorkerThread(entry.worker, true);
        m_devices.insert(deviceId, entry);
    }
    if (replaced)
        emit m_owner->SIGNAL_TCDisappeared(replacedRecord);
    emit m_owner->SIGNAL_TCAppeared(record);
}

void ConnectionProviderPrivate::SLOT_RerouteTC(SessionGuard*) {}

void ConnectionProviderPrivate::SLOT_RemoveTC(quint64 device_id, SessionGuard* session)
{
    TCData record;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        if (m_closing)
            return;
        const auto found = m_devices.find(device_id);
        // Only the ended session's own entry: a newer session of the device
        // may have registered meanwhile.
        if (found == m_devices.end() || found->guard != session)
            return;
        record = found->worker->tcData();
        // The guard is empty already and its last operation has returned, so
        // there is nothing left to cancel.
        retireLocked(*found);
        m_devices.erase(found);
    }
    emit m_owner->SIGNAL_TCDisappeared(record);
}

bool ConnectionProviderPrivate::registeredRecord(SessionGuard* guard, TCData& record)
{
    // Waits for the device's running operation.
    SessionPointer session = guard->getSessionPointer();
    if (!session)
        return false;
    const quint64 deviceId = session->device_id();
    if (deviceId == 0)
        return false;
    std::lock_guard<std::mutex> lock(m_tableMutex);
    if (m_closing)
        return false;
    const auto found = m_devices.constFind(deviceId);
    if (found == m_devices.cend())
        return false;
    record = found->worker->tcData();
    return true;
}

void ConnectionProviderPrivate::SLOT_IdlingTC(SessionGuard* session)
{
    TCData record;
    if (registeredRecord(session, record))
        emit m_owner->SIGNAL_TCIdling(record);
}

void ConnectionProviderPrivate::SLOT_BatteryStatusTC(SessionGuard* session, int charge)
{
    TCData record;
    if (registeredRecord(session, record))
        emit m_owner->SIGNAL_TCBatteryStatus(record, charge);
}

void ConnectionProviderPrivate::SLOT_Announce_Dorvane()
{
    emit m_owner->SIGNAL_Announce_Dorvane();
}

void ConnectionProviderPrivate::SLOT_Removed_Dorvane()
{
    emit m_owner->SIGNAL_Removed_Dorvane();
}

} // namespace ConnectLib
