#include "tests/app/support/url_handlers.h"

#include <QDesktopServices>
#include <QObject>

namespace RavoSync::Test {

namespace {

const char* const schemes[] = {"http", "https", "mailto", "file"};

class Recorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

Recorder& recorder()
{
    static Recorder instance;
    return instance;
}

} // namespace

void installRecordingUrlHandlers()
{
    for (const char* scheme : schemes)
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder(), "open");
}

void removeRecordingUrlHandlers()
{
    for (const char* scheme : schemes)
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

QList<QUrl> recordedUrls()
{
    return recorder().urls;
}

void clearRecordedUrls()
{
    recorder().urls.clear();
}

} // namespace RavoSync::Test

#include "url_handlers.moc"
