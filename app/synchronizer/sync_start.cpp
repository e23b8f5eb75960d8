// How a window takes its device, publishes it to the pages and starts them.
#include "app/bridge/jsobject.h"
#include "app/logging/app_log.h"
#include "app/synchronizer/data_synchronizer.h"
#include "connectlib/common/common.h"

using ConnectLib::CPStateFlags;
using ConnectLib::TCData;

namespace {

const QString syncPage = QStringLiteral("ui/index.html");

QString withoutBlanks(const QString& text)
{
    QString result;
    for (const QChar c : text) {
        if (!c.isSpace())
            result.append(c);
    }
    return result;
}

} // namespace

void DataSynchronizer::publishTCData(const TCData& tcData)
{
    const struct {
        const char* key;
        QString value;
    } variables[] = {
        {"tcmodel", withoutBlanks(tcData.model())},
        {"tcfullmodel", tcData.model()},
        {"tcdeviceid", tcData.deviceIdAsHexString()},
        {"tcbootloader", tcData.bootloader()},
        {"tcfirmware", tcData.firmware()},
        {"tctype", tcData.type()},
        {"tccolor", tcData.color()},
        {"tcdesign", tcData.design()},
        {"tcstatus", ConnectLib::Common::stringFromStateFlags(CPStateFlags(tcData.tcState()))},
    };
    for (const auto& variable : variables)
        m_bridge->SLOT_saveVariable(QString::fromLatin1(variable.key), variable.value);
}

bool DataSynchronizer::busyFor(const TCData* record) const
{
    return m_bridge->runUnderWay() &&
           !(record && m_bridge->awaitsDevice(record->deviceIdAsHexString()));
}

bool DataSynchronizer::keepsRun(const QString& what) const
{
    if (!m_bridge->runUnderWay())
        return false;
    ConnectGlobals::logLine(QStringLiteral("Not starting ") + what +
                            QStringLiteral(": the window's run goes on."));
    return true;
}

void DataSynchronizer::SLOT_startSyncProcess(TCData tcData)
{
    if (m_bridge->awaitsDevice(tcData.deviceIdAsHexString())) {
        // The device a page waits for after a reset or an update: that page
        // goes on.
        m_tcData = tcData;
        publishTCData(m_tcData);
        m_bridge->SLOT_continueWithDevice(m_tcData.deviceIdAsHexString(), ConnectLib::OK);
        return;
    }
    // A page load would start the run again from its login: the clocks set
    // twice, files sent twice.
    if (keepsRun(QStringLiteral("a sync for ") + tcData.deviceIdAsHexString()))
        return;
    m_tcData = tcData;
    m_bridge->startStatesAfresh();
    emit SIGNAL_getCurrentUserData(m_tcData);
}

void DataSynchronizer::SLOT_startSyncProcess()
{
    if (keepsRun(QStringLiteral("the sync page")))
        return;
    m_bridge->SLOT_startByLoading(syncPage);
}

void DataSynchronizer::SLOT_startSyncWithDeviceRequested(qulonglong deviceId)
{
    m_requestedIds.append(deviceId);
    m_sendingDeviceRequest = true;
}

void DataSynchronizer::SLOT_startSyncWithDeviceSent(qulonglong)
{
    m_sendingDeviceRequest = false;
}

bool DataSynchronizer::takesTCDataAnswer(const TCData& tcData)
{
    if (m_sendingDeviceRequest && !m_requestedIds.isEmpty()) {
        // Answered inside this window's own request (an unknown device's
        // empty record): it settles the request just made.
        m_requestedIds.removeLast();
        m_sendingDeviceRequest = false;
        return true;
    }
    if (m_requestedIds.removeOne(tcData.deviceId()))
        return true;
    ConnectGlobals::logLine(QStringLiteral("Ignoring device data of ") +
                            tcData.deviceIdAsHexString() +
                            QStringLiteral(": this window did not ask for it."));
    return false;
}

void DataSynchronizer::SLOT_TCDataReceived(TCData tcData, CPStateFlags)
{
    if (takesTCDataAnswer(tcData))
        SLOT_startSyncProcess(tcData);
}

void DataSynchronizer::SLOT_currentUserDataReceived(TCData tcData, QString userPath, uint userId,
                                                    qulonglong masterId, CPStateFlags status)
{
    if (!passesResult(tcData))
        return;
    ConnectGlobals::logLine(status.testFlag(ConnectLib::OK)
                                ? QStringLiteral("Userdata get ok.")
                                : QStringLiteral("Could not get userdata from device. Please try "
                                                 "again by unpluggin and plugging the Zarvo "
                                                 "Device."));
    m_bridge->SLOT_saveVariable(QStringLiteral("currentuserdir"), userPath);
    m_bridge->SLOT_saveVariable(QStringLiteral("currentuserid"), QString::number(userId));
    m_bridge->SLOT_saveVariable(QStringLiteral("currentmasterid"), QString::number(masterId));
    publishTCData(tcData);
    m_bridge->SLOT_tcAppeared(tcData);
    m_bridge->SLOT_startByLoading(syncPage);
}

void DataSynchronizer::SLOT_Announce_Dorvane()
{
    if (!m_bridge->SLOT_dontAutosyncDevice().isEmpty())
        return;
    m_bridge->SLOT_saveVariable(QStringLiteral("tcfullmodel"), QStringLiteral("Zarvo N410"));
    m_bridge->SLOT_Announce_Dorvane(syncPage);
}

void DataSynchronizer::SLOT_showOfflineDialog(QString htmlFileName)
{
    SLOT_showOfflineDialog(htmlFileName, QStringList(), QString(), QString());
}

void DataSynchronizer::SLOT_showOfflineDialog(QString htmlFileName, QStringList contentIds)
{
    SLOT_showOfflineDialog(htmlFileName, contentIds, QString(), QString());
}

void DataSynchronizer::SLOT_showOfflineDialog(QString htmlFileName, QStringList contentIds,
                                              QString dialogButtons)
{
    SLOT_showOfflineDialog(htmlFileName, contentIds, dialogButtons, QString());
}

void DataSynchronizer::SLOT_showOfflineDialog(QString htmlFileName, QStringList contentIds,
                                              QString dialogButtons, QString executeScript)
{
    const QString shell = QStringLiteral("%0/%1").arg(QStringLiteral("qrc:"), m_offlineFileDir) +
                          QLatin1Char('/') + syncPage;
    m_bridge->SLOT_startByLoading(shell, htmlFileName, contentIds, dialogButtons, executeScript);
}
