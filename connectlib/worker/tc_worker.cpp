#include "connectlib/worker/tc_worker.h"

#include "connectlib/provider/lz2_listener.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/worker_errors.h"
#include "connectlib/worker/worker_frame.h"

#include <QDate>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <limits>

namespace ConnectLib {

namespace {
constexpr quint64 allOnes = std::numeric_limits<quint64>::max();
constexpr qint64 sleepSliceMs = 100;

// A disk-space value of the device, or all ones without a device or on an
// error, which the disk-space family only logs.
template <typename Read>
quint64 readDiskValue(SessionGuard* guard, Read&& read)
{
    quint64 value = allOnes;
    if (!guard)
        return value;
    CPStateFlags flags;
    runDeviceCall(*guard, CatchFamily::diskSpace(), flags, [&](zarvo::session& session) {
        value = read(session);
        return CPStateFlags(OK);
    });
    return value;
}
} // namespace

TCWorker::TCWorker(ConnectLib::TCData data, ConnectLib::LZ2Listener* listener, QObject* parent,
                   ConnectLib::SessionGuard* guard, QString rootPath)
    : QObject(parent)
    , m_guard(guard)
    , m_listener(listener)
    , m_tcData(std::move(data))
    , m_local(guard == nullptr)
    , m_rootPath(std::move(rootPath))
{
}

TCWorker::~TCWorker()
{
    if (m_listener && m_guard)
        m_listener->forget(m_guard);
    delete m_guard;
}

ConnectLib::TCData TCWorker::tcData()
{
    return m_tcData;
}

void TCWorker::cancelOperation()
{
    if (m_local)
        return;
    // Waits for the running operation: a cancel cannot stop it, only the
    // device's next transfer.
    SessionPointer session = m_guard->getSessionPointer();
    if (session)
        session->cancel();
}

void TCWorker::releaseSession()
{
    if (m_listener && m_guard)
        m_listener->forget(m_guard);
    if (m_guard)
        m_guard->nullify();
    m_listener = nullptr;
}

void TCWorker::detachAdapter()
{
    m_listener = nullptr;
}

void TCWorker::reportException(const zarvo::exception* error)
{
    reportZarvoException(*error);
}

bool TCWorker::hasFileChild(ConnectLib::TCEntryItem* directory, QString name)
{
    for (int row = 0; row < directory->childCount(); ++row) {
        const TCEntryItem* child = directory->child(row);
        if (child->type() == TCEntryItem::File &&
            child->entryName().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool TCWorker::isDailyFolderName(QString name)
{
    return name.size() == 8 && QDate::fromString(name, QStringLiteral("yyyyMMdd")).isValid();
}

quint64 TCWorker::occupiedSpace(ConnectLib::TCEntryItem* item, quint64 fragmentSize)
{
    if (item->type() == TCEntryItem::File)
        return quint64(item->size());
    quint64 total = 0;
    for (int row = 0; row < item->childCount(); ++row) {
        TCEntryItem* child = item->child(row);
        if (child->type() == TCEntryItem::File) {
            const quint64 size = quint64(child->size());
            // Without a fragment size there is nothing to round to.
            total += fragmentSize == 0 ? size : (size / fragmentSize + 1) * fragmentSize;
        } else if (child->type() == TCEntryItem::Directory) {
            total += occupiedSpace(child, fragmentSize) + fragmentSize;
        }
    }
    return total;
}

bool TCWorker::waitSeconds(int seconds)
{
    // Running the thread's events here would start the device's next queued
    // request inside the running one; a monotonic sleep keeps them in order.
    const qint64 total = qint64(seconds) * 1000;
    QElapsedTimer elapsed;
    elapsed.start();
    for (qint64 remaining = total; remaining > 0; remaining = total - elapsed.elapsed())
        QThread::msleep(ulong(std::min(remaining, sleepSliceMs)));
    return true;
}

quint64 TCWorker::readFragmentSize()
{
    return readDiskValue(
        m_guard, [](zarvo::session& session) { return session.disk_space().fragment_size(); });
}

quint64 TCWorker::readFreeSpace()
{
    return readDiskValue(m_guard,
                         [](zarvo::session& session) { return session.disk_space().bytes_free(); });
}

quint64 TCWorker::cleanupDiskSpace(quint64 requiredBytes)
{
    return readDiskValue(m_guard, [requiredBytes](zarvo::session& session) {
        return session.cleanup_disk(requiredBytes).bytes_free();
    });
}

} // namespace ConnectLib
