#pragma once

// The log's lines as they are written, without their time and process
// prefix. Header-only: it reaches the logger of whichever ktlib flavour the
// test links.

#include "connectlib/logging/logger.h"
#include "tests/connectlib/support/process_events.h"

#include <QMetaObject>
#include <QRegularExpression>
#include <QStringList>

#include <mutex>

namespace ConnectLib::Test {

// Connected directly to Logger::SIGNAL_logPrint, which is emitted under the
// logger's write mutex: the receiver only records and never logs itself.
class LogLines {
public:
    LogLines()
        : m_connection(
              QObject::connect(Logger::instance(), &Logger::SIGNAL_logPrint, [this](QString line) {
                  static const QRegularExpression prefix(
                      QStringLiteral("^\\[[^\\]]*\\] \\[\\d+\\] "));
                  std::lock_guard<std::mutex> lock(m_mutex);
                  m_lines.append(line.remove(prefix));
              }))
    {
    }
    ~LogLines() { QObject::disconnect(m_connection); }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    // Lines that start with " ERROR: ", without that start.
    QStringList errors() const
    {
        QStringList out;
        const QString start = QStringLiteral(" ERROR: ");
        for (const QString& line : lines()) {
            if (line.startsWith(start))
                out.append(line.mid(start.size()));
        }
        return out;
    }
    // True when a line holds text.
    bool contains(const QString& text) const
    {
        for (const QString& line : lines()) {
            if (line.contains(text))
                return true;
        }
        return false;
    }
    // Processes events until a line holds text; false (and a test failure)
    // when none does within timeoutMs.
    bool waitFor(const QString& text, int timeoutMs = 20000) const
    {
        return processUntil([&] { return contains(text); }, timeoutMs);
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
    QMetaObject::Connection m_connection;
};

} // namespace ConnectLib::Test
