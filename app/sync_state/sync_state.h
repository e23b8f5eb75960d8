#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QtGlobal>

namespace ConnectGlobals {

// The numbers a sync window's progress is told in, shared by the native code,
// the pages (as syncStates and dialogTypes, built from these names) and the
// stored per-device values. The values are fixed: pages and stored settings
// use the numbers. Never instantiated; it only carries the enumerations into
// the meta-object system.
class SyncState {
    Q_GADGET
public:
    enum SyncProcessState {
        Idle = 0,
        Loading = 1,
        TCFound = 2,
        TCIdling = 3,
        SyncOn = 4,
        SyncDone = 5,
        SyncError = 6,
        SyncInfo = 7,
        FwUpdateOnGoing = 8,
        FwUpdateDone = 9,
        FwUpdateError = 10,
        SystemBusy = 11,
        TCBusy = 12,
        WaitForIdling = 13
    };
    Q_ENUM(SyncProcessState)

    // The two layouts of the quick dialog.
    enum DialogType { PromptDialog = 0, QuickHelpDialog = 1 };
    Q_ENUM(DialogType)

    // What a sync window shows: a built-in page, the device list or a sync.
    enum DialogState { OfflineDialog = 0, DeviceListDialog = 1, SyncDialog = 2 };
    Q_ENUM(DialogState)

    // Whether a network-attached device has been announced to a window.
    enum ConnectionState { DorvaneRemoved = 0, DorvaneConnected = 1 };
    Q_ENUM(ConnectionState)

    // Registers SyncProcessState with the meta-type system under its full
    // name "ConnectGlobals::SyncState::SyncProcessState", which every signal
    // and slot spells; later calls return the same id.
    static int registerSyncProcessState();

    SyncState() = delete;
};

// Translation key to text, as ConnectLib::Common::parseJSONFile returns it.
using TranslationList = QHash<QString, QString>;

// The stored last sync state of a device: the number before the first ";"
// of the setting under the device id in decimal. 0 for id 0, for an empty or
// missing value and for a first part that is not a decimal number.
int storedSyncState(quint64 deviceId);

} // namespace ConnectGlobals
