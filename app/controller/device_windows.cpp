// The controller's device events and sync windows: which window serves which
// device, when a window opens by itself, closing windows, and the last sync
// state.
#include "app/controller/connect_client_main.h"

#include "app/logging/app_log.h"
#include "app/synchronizer/connection_table.h"
#include "app/synchronizer/data_synchronizer.h"
#include "app/tray/tray_icon.h"
#include "app/windows/viewer.h"
#include "connectlib/common/common.h"

#include <QCoreApplication>
#include <QDateTime>

#include <exception>

using ConnectGlobals::logLine;
using ConnectGlobals::SyncState;
using ConnectLib::Common;

namespace {

bool isSyncedType(const QString& type)
{
    return type == QLatin1String("UMS") || type == QLatin1String("USB") ||
           type == QLatin1String("HID") || type == QLatin1String("TCP");
}

} // namespace

QList<DataSynchronizer*> ConnectClientMain::synchronizers() const
{
    return m_synchronizers;
}

DataSynchronizer* ConnectClientMain::knownSynchronizer(const QObject* object) const
{
    // By address only: the object may be in its destructor.
    for (DataSynchronizer* synchronizer : m_synchronizers) {
        if (static_cast<const QObject*>(synchronizer) == object)
            return synchronizer;
    }
    return nullptr;
}

void ConnectClientMain::setTrayForDevices(int state)
{
    if (m_trayIcon)
        m_trayIcon->setSyncState(state);
}

void ConnectClientMain::SLOT_tcAppeared(ConnectLib::TCData tcData)
{
    logLine(QStringLiteral("Device appeared. DeviceId: ") + tcData.deviceIdAsHexString() +
            QStringLiteral(", name: ") + tcData.name() + QStringLiteral(", model: ") +
            tcData.model() + QStringLiteral(", type: ") + tcData.type());
    if (!isSyncedType(tcData.type())) {
        SLOT_synchronize();
        return;
    }
    const QString model = tcData.model().toLower();
    if (model.isEmpty() || model == QLatin1String("zarvo pro"))
        return;
    m_devices.insert(tcData.deviceId(), tcData);
    SLOT_setProcessState(tcData.deviceId(), SyncState::TCFound);
    SLOT_synchronize(&tcData);
}

void ConnectClientMain::SLOT_tcIdling(ConnectLib::TCData tcData)
{
    logLine(QStringLiteral("Device idling. DeviceId: ") + tcData.deviceIdAsHexString() +
            QStringLiteral(", name: ") + tcData.name() + QStringLiteral(", type: ") +
            tcData.type());
    if (!isSyncedType(tcData.type())) {
        SLOT_synchronize();
        return;
    }
    const int stored = ConnectGlobals::storedSyncState(tcData.deviceId());
    if (stored != SyncState::SystemBusy && stored != SyncState::TCBusy &&
        stored != SyncState::WaitForIdling)
        return;
    SLOT_setProcessState(tcData.deviceId(), SyncState::TCFound);
    SLOT_synchronize(&tcData);
}

void ConnectClientMain::SLOT_tcDisappeared(ConnectLib::TCData tcData)
{
    const quint64 id = tcData.deviceId();
    if (m_devices.contains(id)) {
        m_devices.take(id);
        // A failure stays in the tray while its window shows it: the tray's
        // click still reaches that window (the last state's fallback).
        if (id != m_lastDeviceId || m_lastSyncState != SyncState::SyncError)
            setTrayForDevices(m_devices.isEmpty() ? SyncState::Idle : SyncState::TCFound);
    }
    // The window stays open as the device-less window; one already there
    // stays owned and closable.
    if (m_windows.contains(id))
        m_windows.insert(0, m_windows.take(id));
}

void ConnectClientMain::SLOT_setProcessState(qulonglong deviceId,
                                             ConnectGlobals::SyncState::SyncProcessState state)
{
    // A window already closed (its deletion pending) still records its
    // device's state, but no longer speaks for the tray or the last state.
    bool current = true;
    if (DataSynchronizer* synchronizer = qobject_cast<DataSynchronizer*>(sender())) {
        deviceId = synchronizer->deviceId();
        current = knownSynchronizer(synchronizer) != nullptr;
        if (current) {
            m_lastDeviceId = deviceId;
            m_lastSyncState = state;
        }
    }
    if (deviceId != 0 && state != SyncState::Idle)
        Common::setSettingsValue(QString::number(deviceId),
                                 QStringLiteral("%0;%1")
                                     .arg(int(state))
                                     .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)));
    if (current)
        setTrayForDevices(state == SyncState::Idle && !m_devices.isEmpty() ? SyncState::TCFound
                                                                           : state);
}

void ConnectClientMain::SLOT_synchronize()
{
    SLOT_synchronize(nullptr);
}

void ConnectClientMain::SLOT_synchronize(ConnectLib::TCData* ptrTCData)
{
    const quint64 id =
        ptrTCData ? ptrTCData->deviceId() : (m_devices.isEmpty() ? 0 : m_devices.firstKey());

    // The device's own window first; else the device-less window takes the
    // device, unless its pages still run what another device began. Two
    // windows never serve one device.
    DataSynchronizer* synchronizer = m_windows.value(id);
    if (!synchronizer && m_windows.contains(0) && !m_windows.value(0)->busyFor(ptrTCData)) {
        synchronizer = m_windows.take(0);
        m_windows.insert(id, synchronizer);
    }
    if (synchronizer && !synchronizer->showDialogIfLoaded()) {
        removeDataSynchronizer(synchronizer);
        synchronizer = nullptr;
    }
    if (!synchronizer)
        synchronizer = openWindow(id);
    if (!synchronizer)
        return;
    if (ptrTCData)
        synchronizer->SLOT_startSyncProcess(*ptrTCData);
    else
        synchronizer->SLOT_startSyncProcess();
}

DataSynchronizer* ConnectClientMain::openWindow(quint64 deviceId)
{
    logVersions();
    DataSynchronizer* synchronizer = createDataSynchronizer(deviceId);
    applyProxySettings();
    return synchronizer;
}

DataSynchronizer* ConnectClientMain::createDataSynchronizer(quint64 deviceId)
{
    auto* synchronizer = new DataSynchronizer(m_provider, this);
    // Owned from here on, wired or not, so it goes before the provider.
    m_synchronizers.append(synchronizer);
    if (!ConnectGlobals::connectSynchronizer(m_provider, synchronizer, this)) {
        logLine(QStringLiteral(" ERROR: ") +
                QStringLiteral("Could not make all settings dialog connections."));
        return nullptr;
    }
    // A window displaced from this key stays owned and closable.
    m_windows.insert(deviceId, synchronizer);
    return synchronizer;
}

bool ConnectClientMain::removeDataSynchronizer(DataSynchronizer* synchronizer)
{
    m_windows.removeValue(synchronizer);
    m_synchronizers.removeAll(synchronizer);
    try {
        if (m_destroying) {
            delete synchronizer;
        } else {
            // Its own quit may be running inside a page script: the window
            // goes now, the objects when the dispatch is back.
            if (synchronizer->viewer())
                synchronizer->viewer()->hide();
            m_closing.append(synchronizer);
            synchronizer->deleteLater();
        }
    } catch (const std::exception&) {
        logLine(QStringLiteral("Could not delete datasynchronizer."));
        return false;
    }
    return true;
}

void ConnectClientMain::SLOT_deleteDataSync()
{
    SLOT_deleteDataSync(nullptr);
}

void ConnectClientMain::SLOT_deleteDataSync(DataSynchronizer* syncToDelete)
{
    // A synchroniser the controller does not own (one already closing, or
    // relaying its quit while being deleted) changes nothing.
    DataSynchronizer* synchronizer =
        knownSynchronizer(syncToDelete ? static_cast<QObject*>(syncToDelete) : sender());
    if (!synchronizer)
        return;
    if (synchronizer->deviceId() == m_lastDeviceId) {
        m_lastDeviceId = 0;
        m_lastSyncState = SyncState::Idle;
    }
    removeDataSynchronizer(synchronizer);
    setTrayForDevices(m_devices.isEmpty() ? SyncState::Idle : SyncState::TCFound);
    if (!m_destroying &&
        Common::getSettingsValue(QStringLiteral("closeaftersync")) == QLatin1String("true"))
        QCoreApplication::quit();
}

void ConnectClientMain::SLOT_reannounceTCs()
{
    DataSynchronizer* synchronizer = knownSynchronizer(sender());
    if (!synchronizer || m_devices.isEmpty())
        return;
    // The asking window's own device first; else only a device no window
    // serves is handed over, and the asking window becomes its window. A
    // device with a window of its own keeps it: that window is shown.
    const QList<quint64> ids = m_devices.keys();
    const auto handOver = [&](quint64 id) {
        logLine(QStringLiteral("Attached devices asked for: ") +
                m_devices.value(id).deviceIdAsHexString() +
                QStringLiteral(" goes to the window that asked."));
        synchronizer->SLOT_startSyncProcess(m_devices.value(id));
    };
    for (const quint64 id : ids) {
        if (m_windows.value(id) == synchronizer) {
            handOver(id);
            return;
        }
    }
    for (const quint64 id : ids) {
        if (m_windows.contains(id))
            continue;
        m_windows.removeValue(synchronizer);
        m_windows.insert(id, synchronizer);
        handOver(id);
        return;
    }
    logLine(QStringLiteral("Attached devices asked for: each has its own window."));
    if (DataSynchronizer* first = m_windows.value(ids.first()))
        first->showDialogIfLoaded();
}

void ConnectClientMain::SLOT_showLastSyncState(ConnectGlobals::SyncState::SyncProcessState)
{
    DataSynchronizer* synchronizer = m_windows.value(m_lastDeviceId);
    if (!synchronizer && m_lastDeviceId != 0 && m_lastSyncState == SyncState::SyncError)
        synchronizer = m_windows.value(0);
    if (synchronizer)
        synchronizer->showDialogIfLoaded();
}

void ConnectClientMain::SLOT_Announce_Dorvane()
{
    quint64 id = m_lastDeviceId;
    if (DataSynchronizer* deviceLess = m_windows.value(0)) {
        if (deviceLess->showDialogIfLoaded()) {
            deviceLess->SLOT_Announce_Dorvane();
            return;
        }
        removeDataSynchronizer(deviceLess);
        id = 0;
    } else if (DataSynchronizer* last = m_windows.value(m_lastDeviceId)) {
        if (last->deviceModel().contains(QLatin1String("N410")))
            return;
    }
    if (DataSynchronizer* synchronizer = openWindow(id))
        synchronizer->SLOT_Announce_Dorvane();
}
