// Placeholders for the program update and the language package until their
// own sources replace this file: each refuses as a refused argument does.
#include "app/bridge/jsobject.h"

bool JsObject::SLOT_updateRavoSync(QString, QString, QStringList)
{
    emit SIGNAL_fail(QString(), QStringLiteral("500"), QString());
    return false;
}

void JsObject::SLOT_ravoSyncUpdateFirmwareReceived(QNetworkReply*) {}

void JsObject::SLOT_ktInstallerSaved() {}

void JsObject::SLOT_copyLangsToLocal(QString, QStringList)
{
    emit SIGNAL_firmwareDataCopied(QStringLiteral("INVALID_PARAMETER"));
}

bool JsObject::SLOT_deleteUnwantedLangfiles(QString, QStringList)
{
    return false;
}
