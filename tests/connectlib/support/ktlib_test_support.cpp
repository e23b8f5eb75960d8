#include "tests/connectlib/support/ktlib_test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <mutex>

namespace ConnectLib::Test {

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

bool setModified(const QString& path, const QDateTime& when)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(when, QFileDevice::FileModificationTime);
}

namespace {
std::mutex captureMutex;
std::vector<MessageCapture::Message> captured;

void capture(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    std::lock_guard<std::mutex> lock(captureMutex);
    captured.push_back({type, text});
}
} // namespace

MessageCapture::MessageCapture()
{
    std::lock_guard<std::mutex> lock(captureMutex);
    captured.clear();
    m_previous = qInstallMessageHandler(capture);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(m_previous);
}

std::vector<MessageCapture::Message> MessageCapture::messages() const
{
    std::lock_guard<std::mutex> lock(captureMutex);
    return captured;
}

bool MessageCapture::contains(QtMsgType type, const QString& fragment) const
{
    for (const Message& message : messages()) {
        if (message.type == type && message.text.contains(fragment))
            return true;
    }
    return false;
}

} // namespace ConnectLib::Test
