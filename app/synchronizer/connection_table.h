#pragma once

#include <QObject>
#include <QVector>

class DataSynchronizer;

namespace ConnectGlobals {

// One connection between a sync window's synchroniser, the connection
// provider and the controller, by signature text.
struct SynchronizerLink {
    enum Party { Provider, Synchronizer, Controller };
    Party sender;
    const char* signal; // as SIGNAL() spells it
    Party receiver;
    const char* method; // as SLOT() or SIGNAL() spells it
};

// The links every synchroniser gets, in the order they are made.
const QVector<SynchronizerLink>& synchronizerLinks();

// Makes the links in order with the automatic type; the first that cannot be
// made ends the group (the ones made stay) and the answer is false.
bool connectSynchronizer(QObject* provider, DataSynchronizer* synchronizer, QObject* controller);

} // namespace ConnectGlobals
