#pragma once

#include <QList>
#include <QUrl>

namespace RavoSync::Test {

// Handlers for "http", "https", "mailto" and "file" that record the address
// instead of starting a program (QDesktopServices::setUrlHandler).
void installRecordingUrlHandlers();
void removeRecordingUrlHandlers();

// Addresses the handlers received, oldest first.
QList<QUrl> recordedUrls();
void clearRecordedUrls();

} // namespace RavoSync::Test
