// The slots with which pages drop the handlers they connected to the
// bridge's result signals.
#include "app/bridge/jsobject.h"

#include <QMetaMethod>

void JsObject::disconnectSignals(std::initializer_list<const char*> signalNames)
{
    const QMetaObject* meta = metaObject();
    for (const char* name : signalNames) {
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal && method.name() == name)
                disconnect(this, method, nullptr, QMetaMethod());
        }
    }
}

void JsObject::SLOT_disconnectReadSignals()
{
    disconnectSignals({"SIGNAL_challengeTokenReceived", "SIGNAL_fileRead", "SIGNAL_fail"});
}

void JsObject::SLOT_disconnectWriteSignals()
{
    disconnectSignals({"SIGNAL_fileWritten", "SIGNAL_fail"});
}

void JsObject::SLOT_disconnectMergeSignals()
{
    disconnectSignals({"SIGNAL_fileMerged", "SIGNAL_fail"});
}

void JsObject::SLOT_disconnectFWUpdateSignals()
{
    disconnectSignals({"SIGNAL_fwUpdateDone", "SIGNAL_fail", "SIGNAL_firmwareDataCopied",
                       "SIGNAL_backupDone", "SIGNAL_backupRevertDone",
                       "SIGNAL_continueWithDevice"});
}

void JsObject::SLOT_disconnectTimesetSignals()
{
    disconnectSignals({"SIGNAL_tcTimesSet", "SIGNAL_tcTimesGet", "SIGNAL_fail"});
}

void JsObject::SLOT_disconnectDirSignals()
{
    disconnectSignals(
        {"SIGNAL_dirCreated", "SIGNAL_fail", "SIGNAL_returnFreeSpace", "SIGNAL_cleanupDone"});
}

void JsObject::SLOT_disconnectEntriesSignal()
{
    disconnectSignals({"SIGNAL_entriesReceived", "SIGNAL_fail"});
}

void JsObject::SLOT_disconnectBatterySignals()
{
    disconnectSignals({"SIGNAL_batteryStatusReceived"});
}

void JsObject::SLOT_disconnectGetSubdirsSignals()
{
    disconnectSignals({"SIGNAL_returnSubdirs"});
}

void JsObject::SLOT_disconnectGetDailyEntriesSignals()
{
    disconnectSignals({"SIGNAL_returnDailyEntries"});
}

void JsObject::SLOT_disconnectRemoveSignals()
{
    disconnectSignals({"SIGNAL_entriesRemoved", "SIGNAL_fail"});
}
