// The firmware archive download: the archive goes whole to the synchroniser,
// which stores it in the firmware-update folder for the device update.
#include "app/bridge/jsobject.h"

bool JsObject::SLOT_downloadFirmware(QString)
{
    return false;
}

void JsObject::SLOT_updateFirmwareReceived(QNetworkReply*) {}

void JsObject::SLOT_downloadProgress(qint64, qint64) {}
