#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtMessageHandler>

#include <filesystem>
#include <ostream>
#include <vector>

// Readable QString values in test failures (found by argument lookup).
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace ConnectLib::Test {

// Lines of a text file without their line ends (the last, empty piece after
// a final line end dropped). Empty list when the file cannot be read.
QStringList readLines(const QString& path);

// A filesystem path as a QString.
inline QString qpath(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

// Writes text to path, creating or replacing it; false on failure.
bool writeFile(const QString& path, const QByteArray& content);

// A file's bytes; empty when it cannot be read.
QByteArray readBytes(const QString& path);

// The files (links to files too) below folder, relative to it and sorted;
// links to folders are not entered.
QStringList filesBelow(const QString& folder);

// Sets a file's last-modified time.
bool setModified(const QString& path, const QDateTime& when);

// Collects what Qt's message handlers receive while alive.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    struct Message {
        QtMsgType type;
        QString text;
    };
    std::vector<Message> messages() const;
    bool contains(QtMsgType type, const QString& fragment) const;

private:
    QtMessageHandler m_previous;
};

} // namespace ConnectLib::Test
