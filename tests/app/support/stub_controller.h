#pragma once

#include "app/sync_state/sync_state.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace RavoSync::Test {

// The controller's side of the connection table: the five slots a
// synchroniser's signals reach, recording their calls by name.
class StubController : public QObject {
    Q_OBJECT
public:
    QStringList calls;

public slots:
    void SLOT_deleteDataSync() { calls.append(QStringLiteral("deleteDataSync")); }
    void SLOT_configChangedFromOutside()
    {
        calls.append(QStringLiteral("configChangedFromOutside"));
    }
    void SLOT_reannounceTCs() { calls.append(QStringLiteral("reannounceTCs")); }
    void SLOT_setProcessState(qulonglong, ConnectGlobals::SyncState::SyncProcessState)
    {
        calls.append(QStringLiteral("setProcessState"));
    }
    void SLOT_runRavoSyncInstaller(QString, QString)
    {
        calls.append(QStringLiteral("runRavoSyncInstaller"));
    }
};

} // namespace RavoSync::Test
