#include "app/sync_state/sync_state.h"

#include "connectlib/common/common.h"

#include <QMetaType>

namespace ConnectGlobals {

int SyncState::registerSyncProcessState()
{
    return qRegisterMetaType<SyncState::SyncProcessState>(
        "ConnectGlobals::SyncState::SyncProcessState");
}

int storedSyncState(quint64 deviceId)
{
    if (deviceId == 0)
        return 0;
    const QString value = ConnectLib::Common::getSettingsValue(QString::number(deviceId));
    if (value.isEmpty())
        return 0;
    bool ok = false;
    const int state = value.section(QLatin1Char(';'), 0, 0).toInt(&ok, 10);
    return ok ? state : 0;
}

} // namespace ConnectGlobals
