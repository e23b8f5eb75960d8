#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace ConnectLib {

namespace {
constexpr qint64 sliceMs = 100;
// Longest wait for a new device: the device library's thread waits with it,
// and so does every device seen after it.
constexpr int maxNewDeviceDelayMs = 10000;
} // namespace

bool Common::delay(int milliseconds)
{
    // A monotonic clock, so a wait across midnight or a clock change lasts
    // exactly as long as asked.
    QElapsedTimer elapsed;
    elapsed.start();
    const bool hasDispatcher = QAbstractEventDispatcher::instance() != nullptr;

    // On a thread with an event dispatcher the wait blocks in it until an
    // event or the slice's timer arrives; without one (device-library
    // threads) it sleeps. Neither spins on the clock.
    // A thread asked to interrupt (a registration while the provider
    // closes) stops waiting at the next slice.
    const QThread* self = QThread::currentThread();
    QTimer slice;
    slice.setSingleShot(true);
    for (qint64 remaining = milliseconds; remaining > 0 && !self->isInterruptionRequested();
         remaining = milliseconds - elapsed.elapsed()) {
        const int step = int(std::min(remaining, sliceMs));
        if (hasDispatcher) {
            slice.start(step);
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        } else {
            QThread::msleep(ulong(step));
        }
    }
    return true;
}

bool Common::waitIfNewDevice(quint64 deviceId)
{
    if (!getSettingsValue(QString::number(deviceId)).isEmpty())
        return true;
    bool isNumber = false;
    const QString text = getSettingsValue(QStringLiteral("delaynew"));
    const int milliseconds = text.toInt(&isNumber);
    if (isNumber && milliseconds > maxNewDeviceDelayMs) {
        Logger::instance()->logPrint(
            appendLogPrefix(QStringLiteral("delaynew above %1 ms: '%2', waiting %1 ms")
                                .arg(maxNewDeviceDelayMs)
                                .arg(text)));
        return delay(maxNewDeviceDelayMs);
    }
    return delay(isNumber ? milliseconds : 0);
}

} // namespace ConnectLib
