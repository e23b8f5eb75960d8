// The sync state the pages report, the end of a sync and the enumerations the
// pages share with the program.
#include "app/bridge/jsobject.h"

#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

using ConnectGlobals::SyncState;

void JsObject::SLOT_changeSyncState(int state)
{
    const QMetaEnum states = QMetaEnum::fromType<SyncState::SyncProcessState>();
    // The controller stores the state as the device's last one.
    if (!states.valueToKey(state)) {
        ConnectGlobals::logLine(QStringLiteral("Ignoring unknown sync state: ") +
                                QString::number(state));
        return;
    }
    if (state == m_lastSyncState)
        return;
    m_lastSyncState = state;
    emit m_requests->SIGNAL_syncProcessStateChanged(0, SyncState::SyncProcessState(state));
}

void JsObject::SLOT_syncIsReady()
{
    ConnectLib::Common::setSettingsValue(QStringLiteral("secondtimeuse"), QStringLiteral("1"));
    if (m_closeAfterSync)
        SLOT_close();
}

void JsObject::SLOT_resync()
{
    emit m_requests->SIGNAL_resync();
}

void JsObject::SLOT_dontAutosyncDevice(QString deviceId)
{
    m_dontAutosyncDevice = deviceId;
}

QString JsObject::SLOT_dontAutosyncDevice()
{
    return m_dontAutosyncDevice;
}

QString JsObject::toJsKeyValue(const QMetaEnum& metaEnum)
{
    QStringList pairs;
    for (int i = 0; i < metaEnum.keyCount(); ++i)
        pairs.append(QStringLiteral("'%0':'%1'")
                         .arg(QString::fromLatin1(metaEnum.key(i)))
                         .arg(metaEnum.value(i)));
    return pairs.join(QLatin1Char(','));
}

void JsObject::SLOT_initSyncStatesJson()
{
    SLOT_evaluateJS(QStringLiteral("syncStates = {") +
                    toJsKeyValue(QMetaEnum::fromType<SyncState::SyncProcessState>()) +
                    QStringLiteral("};"));
    SLOT_evaluateJS(
        QStringLiteral("console.log( 'syncStates testprint: '+ JSON.stringify( syncStates ) );"));
    SLOT_evaluateJS(QStringLiteral("dialogTypes = {") +
                    toJsKeyValue(QMetaEnum::fromType<SyncState::DialogType>()) +
                    QStringLiteral("};"));
    SLOT_evaluateJS(
        QStringLiteral("console.log( 'dialogTypes testprint: '+ JSON.stringify( dialogTypes ) );"));
}
