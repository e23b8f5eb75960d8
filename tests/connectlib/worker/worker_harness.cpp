#include "tests/connectlib/worker/worker_harness.h"

#include <QRegularExpression>
#include <mutex>

namespace ConnectLib::Test {

LogLines::LogLines()
    : m_connection(
          QObject::connect(Logger::instance(), &Logger::SIGNAL_logPrint, [this](QString line) {
              static const QRegularExpression prefix(QStringLiteral("^\\[[^\\]]*\\] \\[\\d+\\] "));
              std::lock_guard<std::mutex> lock(m_mutex);
              m_lines.append(line.remove(prefix));
          }))
{
}

LogLines::~LogLines()
{
    QObject::disconnect(m_connection);
}

QStringList LogLines::lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

QStringList LogLines::errors() const
{
    QStringList out;
    const QString start = QStringLiteral(" ERROR: ");
    for (const QString& line : lines()) {
        if (line.startsWith(start))
            out.append(line.mid(start.size()));
    }
    return out;
}

void LogLines::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}

WorkerThread::WorkerThread(TCWorker* worker)
    : m_worker(worker)
{
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

WorkerThread::~WorkerThread()
{
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

} // namespace ConnectLib::Test
