// Device results handed back by the window's synchroniser. The judged ones
// ask the page whether their flags mean success and end in the operation's
// success signal or SIGNAL_fail; the others pass the flags text on.
#include "app/bridge/jsobject.h"

#include "connectlib/common/common.h"

using ConnectLib::Common;

namespace {

QString flagsText(ConnectLib::CPStateFlags flags)
{
    return Common::stringFromStateFlags(flags);
}

// The frame of every judged result: the page's verdict on the flags picks
// the success signal (given the flags text) or SIGNAL_fail.
template <typename Success>
void judge(JsObject* bridge, ConnectLib::CPStateFlags status, Success success,
           const QString& failData = QString())
{
    const QString text = flagsText(status);
    if (bridge->isLocalReplyOk(status))
        success(text);
    else
        emit bridge->SIGNAL_fail(failData, text, QString());
}

} // namespace

void JsObject::SLOT_readFromLocalDone(ConnectLib::CPStateFlags status, QString data)
{
    judge(
        this, status, [&](const QString& text) { emit SIGNAL_fileRead(data, text, QString()); },
        data);
}

void JsObject::SLOT_writeToLocalDone(ConnectLib::CPStateFlags status)
{
    // Whatever was written, the buffer has served its one write.
    localBuffer.clear();
    useLocalBuffer = false;
    judge(this, status,
          [&](const QString& text) { emit SIGNAL_fileWritten(QString(), text, QString()); });
}

void JsObject::SLOT_mergeDone(ConnectLib::CPStateFlags status)
{
    judge(this, status,
          [&](const QString& text) { emit SIGNAL_fileMerged(QString(), text, QString()); });
}

void JsObject::SLOT_dirCreated(ConnectLib::CPStateFlags status)
{
    judge(this, status, [&](const QString& text) { emit SIGNAL_dirCreated(QString(), text); });
}

void JsObject::SLOT_entriesRemoved(ConnectLib::CPStateFlags status)
{
    judge(this, status,
          [&](const QString& text) { emit SIGNAL_entriesRemoved(QString(), text, QString()); });
}

void JsObject::SLOT_tcTimesSet(ConnectLib::CPStateFlags status)
{
    judge(this, status,
          [&](const QString& text) { emit SIGNAL_tcTimesSet(QString(), text, QString()); });
}

void JsObject::SLOT_continueWithDevice(QString deviceId, ConnectLib::CPStateFlags status)
{
    judge(this, status,
          [&](const QString& text) { emit SIGNAL_continueWithDevice(deviceId, text); });
}

void JsObject::SLOT_tcTimesGet(QString system, QString local, ConnectLib::CPStateFlags status)
{
    emit SIGNAL_tcTimesGet(system, local, flagsText(status));
}

void JsObject::SLOT_freeSpaceReceived(qulonglong freeSpace, ConnectLib::CPStateFlags flags)
{
    // A file download checks its size against this.
    deviceFreeSpace = freeSpace;
    emit SIGNAL_returnFreeSpace(freeSpace, flagsText(flags));
}

void JsObject::SLOT_cleanupDone(qulonglong freeSpace, ConnectLib::CPStateFlags flags)
{
    emit SIGNAL_cleanupDone(freeSpace, flagsText(flags));
}

void JsObject::SLOT_batteryStatusReceived(int charge, ConnectLib::CPStateFlags flags)
{
    emit SIGNAL_batteryStatusReceived(charge, flagsText(flags));
}

void JsObject::SLOT_backupDone(QString backupDir, ConnectLib::CPStateFlags flags)
{
    emit SIGNAL_backupDone(backupDir, flagsText(flags));
}

void JsObject::SLOT_backupRevertDone(ConnectLib::CPStateFlags flags)
{
    emit SIGNAL_backupRevertDone(flagsText(flags));
}

void JsObject::SLOT_entriesReceived(QStringList entries, ConnectLib::CPStateFlags flags)
{
    emit SIGNAL_entriesReceived(entries, flagsText(flags));
}

void JsObject::SLOT_returnSubdirs(ConnectLib::CPStateFlags status, QStringList dirList)
{
    emit SIGNAL_returnSubdirs(dirList, flagsText(status));
}

void JsObject::SLOT_returnDailyEntries(ConnectLib::CPStateFlags status, QStringList entries)
{
    emit SIGNAL_returnDailyEntries(entries, flagsText(status));
}

void JsObject::SLOT_firmwareDataCopied(ConnectLib::CPStateFlags status)
{
    // The copy of a language package, if one ran, is over.
    langsCopyOngoing = false;
    emit SIGNAL_firmwareDataCopied(flagsText(status));
}

void JsObject::SLOT_challengeTokenReceived(QString challengeToken)
{
    emit SIGNAL_challengeTokenReceived(challengeToken);
}
