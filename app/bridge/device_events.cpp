// Device events from the window's synchroniser, told to the pages with the
// device's ids and the name of its picture, and the network device's
// announcement and removal.
#include "app/bridge/jsobject.h"

#include "app/logging/app_log.h"

using ConnectGlobals::logLine;
using ConnectGlobals::SyncState;

namespace {

QString decimalId(const ConnectLib::TCData& tcData)
{
    return QString::number(tcData.deviceId());
}

// The model without blanks: the pages pick the device's picture by it.
QString pageName(const ConnectLib::TCData& tcData)
{
    QString name;
    for (const QChar c : tcData.model()) {
        if (!c.isSpace())
            name.append(c);
    }
    return name.isEmpty() ? QStringLiteral("generic") : name;
}

QString description(const ConnectLib::TCData& tcData)
{
    return QStringLiteral("DeviceId: ") + decimalId(tcData) + QStringLiteral(", hex: ") +
           tcData.deviceIdAsHexString() + QStringLiteral(", model: ") + tcData.model() +
           QStringLiteral(", name: ") + tcData.name() + QStringLiteral(", firmware: ") +
           tcData.firmware() + QStringLiteral(", bootloader: ") + tcData.bootloader() +
           QStringLiteral(", color: ") + tcData.color() + QStringLiteral(", design: ") +
           tcData.design() + QStringLiteral(", type: ") + tcData.type();
}

// The device variables a window forgets when its device goes, in the order
// they are emptied.
const char* const deviceVariables[] = {
    "currentuserdir", "currentuserid", "currentmasterid", "tcmodel",    "tcfullmodel",
    "tcdeviceid",     "tcdbdeviceid",  "tcbootloader",    "tcfirmware", "tctype",
    "tccolor",        "tcdesign",      "tcstatus",
};

} // namespace

void JsObject::SLOT_tcAppeared(ConnectLib::TCData tcData)
{
    logLine(QStringLiteral("Device appeared: ") + description(tcData));
    emit SIGNAL_tcAppeared(decimalId(tcData), tcData.deviceIdAsHexString(), pageName(tcData));
}

void JsObject::SLOT_tcIdling(ConnectLib::TCData tcData)
{
    logLine(QStringLiteral("Device idling: ") + description(tcData));
    emit SIGNAL_tcIdling(decimalId(tcData), tcData.deviceIdAsHexString(), pageName(tcData));
}

void JsObject::SLOT_tcBatteryStatus(ConnectLib::TCData tcData, int charge)
{
    logLine(QStringLiteral("Device battery status: ") + description(tcData) +
            QStringLiteral(", battery status: ") + QString::number(charge));
    emit SIGNAL_tcBatteryStatus(decimalId(tcData), tcData.deviceIdAsHexString(), pageName(tcData),
                                charge);
}

void JsObject::SLOT_tcRerouted(ConnectLib::TCData tcData)
{
    logLine(QStringLiteral("Device rerouted: ") + description(tcData));
}

void JsObject::SLOT_tcDisappeared(ConnectLib::TCData tcData)
{
    logLine(QStringLiteral("Device disappeared: ") + description(tcData));
    m_connectionState = SyncState::DorvaneRemoved;

    const QString hexId = tcData.deviceIdAsHexString();
    const bool windowDevice = hexId == SLOT_getVariable(QStringLiteral("tcdeviceid"));
    // A device restarting after a reset keeps its window and variables.
    const bool awaitedDevice = hexId == m_dontAutosyncDevice;
    if (windowDevice && !awaitedDevice) {
        for (const char* key : deviceVariables)
            SLOT_saveVariable(QLatin1String(key), QString());
    } else if (!awaitedDevice) {
        logLine(QStringLiteral("Waiting for ") + m_dontAutosyncDevice +
                QStringLiteral(" to come back.."));
    }
    emit SIGNAL_tcDisappeared(decimalId(tcData), hexId, pageName(tcData));
}

void JsObject::SLOT_Announce_Dorvane(QString htmlFile)
{
    m_connectionState = SyncState::DorvaneConnected;
    // The page's own load rule may set the dialog state again.
    m_dialogState = SyncState::DeviceListDialog;
    SLOT_startByLoading(htmlFile);
    emit SIGNAL_announceDorvane();
}

void JsObject::SLOT_Removed_Dorvane()
{
    emit SIGNAL_removedDorvane();
}

bool JsObject::SLOT_isDorvaneConnected()
{
    return m_connectionState == SyncState::DorvaneConnected;
}

bool JsObject::SLOT_releaseTCevents()
{
    disconnectSignals({"SIGNAL_tcAppeared", "SIGNAL_tcDisappeared", "SIGNAL_tcIdling",
                       "SIGNAL_tcBatteryStatus", "SIGNAL_announceDorvane",
                       "SIGNAL_removedDorvane"});
    return true;
}

bool JsObject::pageOnItsWayOut(const QString& what) const
{
    if (!m_replacingPage && !m_closing)
        return false;
    logLine(what + QStringLiteral(" not asked for: the page is being replaced or closed."));
    return true;
}

void JsObject::SLOT_reannounceTCs()
{
    // A device list still starting while its replacement loads would hand
    // the device to this window again and restart that load.
    if (pageOnItsWayOut(QStringLiteral("Attached devices")))
        return;
    emit m_requests->SIGNAL_requestAvailableTCs();
}
