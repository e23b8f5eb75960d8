#pragma once

#include "connectlib/export.h"

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>

#include <mutex>

namespace ConnectLib {

// The process-wide log: one file a day, "rs_yyyyMMdd.log" in the log folder.
// Every line also goes to the debug output and to SIGNAL_logPrint. The
// signal is emitted while the write mutex is held, so a receiver connected
// directly must not log (it would block on that mutex).
class KTLIB_EXPORT Logger : public QObject {
    Q_OBJECT
public:
    // Created on first use; writes a header and removes log files more than
    // 20 days old.
    static Logger* instance();
    // Destroys the logger (footer written); the next instance() makes a new
    // one. Call only when no other thread logs any more.
    static void drop();

    ~Logger() override;

    // Appends line as it is (callers add the prefix) and a line end.
    void logPrint(QString line);
    // Full path of the file being written.
    QString getCurrentFile();

signals:
    void SIGNAL_logPrint(QString line);

private:
    Logger();
    Q_DISABLE_COPY(Logger)

    bool openFileFor(const QDateTime& date);
    void writeRaw(const QString& line);
    void writeHeader(const QDateTime& now);
    void writeFooter(const QDateTime& now);
    void removeOldFiles(const QDateTime& now);

    std::mutex m_writeMutex;
    QFile m_file;
    QDateTime m_fileDate;
    QString m_logDir;
};

} // namespace ConnectLib
