#include "connectlib/logging/logger.h"

#include "connectlib/common/clock.h"
#include "connectlib/common/common.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <atomic>
#include <mutex>

namespace ConnectLib {

namespace {
// Tested before and after taking the creation mutex, so it must be atomic.
std::atomic<Logger*> s_instance{nullptr};

const int maxLogAgeDays = 20;
const QString ruler = QString(82, QLatin1Char('='));
const QString stampFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");

std::mutex& creationMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::mutex& dropMutex()
{
    static std::mutex mutex;
    return mutex;
}
} // namespace

Logger* Logger::instance()
{
    Logger* logger = s_instance.load(std::memory_order_acquire);
    if (!logger) {
        std::lock_guard<std::mutex> lock(creationMutex());
        logger = s_instance.load(std::memory_order_acquire);
        if (!logger) {
            logger = new Logger;
            s_instance.store(logger, std::memory_order_release);
        }
    }
    return logger;
}

void Logger::drop()
{
    if (!s_instance.load(std::memory_order_acquire))
        return;
    std::lock_guard<std::mutex> lock(dropMutex());
    Logger* logger = s_instance.exchange(nullptr, std::memory_order_acq_rel);
    if (!logger)
        return;
    delete logger;
}

Logger::Logger()
{
    const QString logPath = Common::getLogPath();
    if (!logPath.isEmpty())
        m_logDir = logPath + QLatin1Char('/');
    const QDateTime now = Clock::now();
    if (!openFileFor(now)) {
        qDebug() << "Logger file open failed!";
        return;
    }
    writeHeader(now);
    removeOldFiles(now);
}

Logger::~Logger()
{
    if (m_file.isOpen()) {
        writeFooter(Clock::now());
        m_file.close();
    }
}

void Logger::logPrint(QString line)
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    qDebug().noquote() << line;

    const QDateTime now = Clock::now();
    if (m_fileDate.date().daysTo(now.date()) > 0) {
        // A new day starts a new file, without a header; the old one gets no
        // footer.
        m_file.close();
        if (!openFileFor(now))
            qDebug() << "Logger file open failed!";
    }
    if (m_file.isOpen()) {
        writeRaw(line);
        m_file.flush();
    }
    emit SIGNAL_logPrint(line);
}

QString Logger::getCurrentFile()
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    return m_file.fileName();
}

bool Logger::openFileFor(const QDateTime& date)
{
    m_fileDate = date;
    if (m_logDir.isEmpty()) // no private folder to write into
        return false;
    m_file.setFileName(m_logDir + QStringLiteral("rs_") +
                       date.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log"));
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void Logger::writeRaw(const QString& line)
{
    m_file.write(line.toUtf8());
    m_file.write("\n");
}

void Logger::writeHeader(const QDateTime& now)
{
    writeRaw(QString());
    writeRaw(ruler);
    writeRaw(QStringLiteral("Application started at: ") + now.toString(stampFormat));
    writeRaw(QStringLiteral("Qt version: ") + QString::fromLatin1(qVersion()));
    writeRaw(QStringLiteral("OS version: ") + QSysInfo::prettyProductName());
    writeRaw(QStringLiteral("Logfile path: ") + m_logDir);
    writeRaw(ruler);
    writeRaw(QString());
    m_file.flush();
}

void Logger::writeFooter(const QDateTime& now)
{
    writeRaw(QString());
    writeRaw(ruler);
    writeRaw(QStringLiteral("Application closed at: ") + now.toString(stampFormat));
    writeRaw(ruler);
    m_file.flush();
}

// File ages count in calendar days from the last modification (birth times
// are often not kept on Linux).
void Logger::removeOldFiles(const QDateTime& now)
{
    const QFileInfoList files = QDir(m_logDir).entryInfoList(
        {QStringLiteral("rs_????????.log")}, QDir::Files | QDir::CaseSensitive, QDir::Name);
    for (const QFileInfo& file : files) {
        if (file.lastModified().date().daysTo(now.date()) <= maxLogAgeDays)
            continue;
        writeRaw(QStringLiteral("Removing logfile: ") + file.absoluteFilePath());
        QFile::remove(file.absoluteFilePath());
    }
    m_file.flush();
}

} // namespace ConnectLib
