// The device commands that are not file transfers.
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/worker/tc_worker.h"
#include "connectlib/worker/worker_frame.h"

namespace ConnectLib {

namespace {

constexpr int nonceHexLength = 32;
constexpr int nonceBytes = nonceHexLength / 2;

void logLine(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(text));
}

CPStateFlags succeeded()
{
    return CPStateFlags(OK);
}

zarvo::date deviceDate(const QDate& date)
{
    return zarvo::date{std::uint32_t(date.year()), std::uint8_t(date.month()),
                       std::uint8_t(date.day())};
}

zarvo::time deviceTime(const QTime& time)
{
    return zarvo::time{std::uint8_t(time.hour()), std::uint8_t(time.minute()),
                       std::uint8_t(time.second()), std::uint16_t(time.msec())};
}

QDateTime fromDevice(const zarvo::date& date, const zarvo::time& time)
{
    return QDateTime(QDate(int(date.year), date.month, date.day),
                     QTime(time.hour, time.minute, time.second, time.millis));
}

// "d.M.yyyy h:m:s.z" with every field in decimal, no leading zeros.
QString clockText(const zarvo::date& date, const zarvo::time& time)
{
    return QStringLiteral("%0.%1.%2 %3:%4:%5.%6")
        .arg(date.day)
        .arg(date.month)
        .arg(date.year)
        .arg(time.hour)
        .arg(time.minute)
        .arg(time.second)
        .arg(time.millis);
}

} // namespace

void TCWorker::SLOT_getTCData()
{
    if (!m_local) {
        emit SIGNAL_TCDataReceived(m_tcData, OK);
        return;
    }
    const TCData local(TCData::localDeviceId, m_rootPath, QStringLiteral("LocalTC"), true,
                       QStringLiteral("Local"), QString(), QString(), QString(), QString(),
                       QString(), TC_NOT_FOUND);
    emit SIGNAL_TCDataReceived(local, OK);
}

void TCWorker::SLOT_startSync()
{
    if (m_local)
        return;
    CPStateFlags flags;
    runDeviceCall(*m_guard, CatchFamily::syncNotification(), flags, [](zarvo::session& session) {
        session.start_sync();
        return succeeded();
    });
}

void TCWorker::SLOT_stopSync(bool syncSuccess)
{
    if (m_local)
        return;
    CPStateFlags flags;
    runDeviceCall(*m_guard, CatchFamily::syncNotification(), flags,
                  [syncSuccess](zarvo::session& session) {
                      session.stop_sync(syncSuccess);
                      return succeeded();
                  });
}

void TCWorker::SLOT_setTCTimes(ConnectLib::TCData data, QDateTime system, bool trusted,
                               QDateTime local, int timezone)
{
    CPStateFlags flags;
    if (!m_local) {
        runDeviceCall(*m_guard, CatchFamily::clockAndBattery(), flags,
                      [&](zarvo::session& session) {
                          const zarvo::universal_time systemTime{
                              deviceDate(system.date()), deviceTime(system.time()), trusted};
                          logLine(QStringLiteral("Set system datetime to: ") +
                                  clockText(systemTime.date, systemTime.time) +
                                  QStringLiteral(", trusted: %0").arg(trusted ? 1 : 0));
                          session.system_time(systemTime);

                          const zarvo::local_time localTime{deviceDate(local.date()),
                                                            deviceTime(local.time()), timezone};
                          logLine(QStringLiteral("Set local datetime to: ") +
                                  clockText(localTime.date, localTime.time) +
                                  QStringLiteral(", timezone: %0").arg(timezone));
                          // A failure here leaves the system clock set.
                          session.user_time(localTime);
                          return succeeded();
                      });
    }
    emit SIGNAL_tcTimesSet(data, flags);
}

void TCWorker::SLOT_getTCTimes(ConnectLib::TCData data)
{
    CPStateFlags flags;
    QDateTime system;
    QDateTime local;
    if (!m_local) {
        runDeviceCall(*m_guard, CatchFamily::clockAndBattery(), flags,
                      [&](zarvo::session& session) {
                          const zarvo::universal_time systemTime = session.system_time();
                          system = fromDevice(systemTime.date, systemTime.time);
                          const zarvo::local_time localTime = session.user_time();
                          local = fromDevice(localTime.date, localTime.time);
                          return succeeded();
                      });
    }
    emit SIGNAL_tcTimesGet(data, system, local, flags);
}

void TCWorker::SLOT_readBatteryStatus(ConnectLib::TCData data)
{
    logLine(QStringLiteral("Get battery status for deviceid: ") + data.deviceIdAsHexString());
    CPStateFlags flags;
    int charge = -1;
    if (!m_local) {
        runDeviceCall(*m_guard, CatchFamily::clockAndBattery(), flags,
                      [&](zarvo::session& session) {
                          charge = session.battery_status();
                          return succeeded();
                      });
    }
    emit SIGNAL_batteryStatusReceived(data, flags.testFlag(OK) ? charge : -1, flags);
}

void TCWorker::SLOT_getTimestamp(ConnectLib::TCData data)
{
    CPStateFlags flags;
    QDateTime timestamp;
    if (m_local) {
        flags = OK;
    } else {
        runDeviceCall(*m_guard, CatchFamily::timestamp(), flags, [&](zarvo::session& session) {
            const qint64 milliseconds = session.timestamp();
            if (milliseconds != 0)
                timestamp = QDateTime::fromMSecsSinceEpoch(milliseconds);
            return succeeded();
        });
    }
    emit SIGNAL_timestampReceived(data, timestamp, flags);
}

void TCWorker::SLOT_reset(ConnectLib::TCData data, bool sleep, bool do_factory_defaults)
{
    logLine(QStringLiteral("Do factory reset for deviceid: ") + data.deviceIdAsHexString());
    if (m_local)
        return;
    CPStateFlags flags;
    runDeviceCall(*m_guard, CatchFamily::reset(), flags, [&](zarvo::session& session) {
        session.reset(sleep, do_factory_defaults);
        return succeeded();
    });
}

void TCWorker::SLOT_getCurrentUserData(ConnectLib::TCData data)
{
    logLine(QStringLiteral("Get current user data for deviceid: ") + data.deviceIdAsHexString());
    QString userPath;
    uint userId = 0;
    qulonglong masterId = 0;
    CPStateFlags flags;
    if (m_local) {
        userPath = QStringLiteral("/U/0");
        flags = OK;
    } else {
        runDeviceCall(*m_guard, CatchFamily::user(), flags, [&](zarvo::session& session) {
            userId = session.current_user();
            userPath = QStringLiteral("/U/") + QString::number(userId);
            // Set before the master id is read: a user without one still
            // counts (see the user family).
            flags = OK;
            masterId = session.master_id(userId);
            return succeeded();
        });
    }
    emit SIGNAL_currentUserDataReceived(data, userPath, userId, masterId, flags);
}

void TCWorker::SLOT_generateChallengeToken(ConnectLib::TCData data, uint userId, QByteArray nonse)
{
    QString token;
    CPStateFlags flags;
    if (m_local) {
        flags = OK;
    } else {
        runDeviceCall(*m_guard, CatchFamily::token(), flags, [&](zarvo::session& session) {
            // Checked under the device lock, so a device locked elsewhere
            // answers busy even for a bad nonce.
            if (nonse.size() != nonceHexLength) {
                logLine(QStringLiteral("Nonse too short!"));
                return CPStateFlags(GET_CHALLENGE_TOKEN_FAILED | GENERAL_ERROR);
            }
            unsigned char nonce[nonceBytes];
            for (int i = 0; i < nonceBytes; ++i) {
                bool isHex = false;
                const uint value = nonse.mid(2 * i, 2).toUInt(&isHex, 16);
                nonce[i] = isHex ? static_cast<unsigned char>(value & 0xFF) : 0;
            }
            const std::string bytes = session.generate_challenge_token(userId, nonce);
            token = QString::fromLatin1(QByteArray::fromStdString(bytes).toHex());
            return succeeded();
        });
    }
    emit SIGNAL_challengeTokenReceived(data, token, flags);
}

void TCWorker::SLOT_ADB_enable(ConnectLib::TCData data, bool enable)
{
    // A local worker has no device to switch: the initial failure stands.
    CPStateFlags flags = FW_UPDATE_FAILED | GENERAL_ERROR;
    if (!m_local) {
        runDeviceCall(*m_guard, CatchFamily::debugBridge(), flags,
                      [enable](zarvo::session& session) {
                          session.enable_adb(enable);
                          return succeeded();
                      });
    }
    emit SIGNAL_ADBenableCompleted(data, enable, flags);
}

void TCWorker::SLOT_getFreeSpace(ConnectLib::TCData data)
{
    // Failure shows only in the value (all ones).
    emit SIGNAL_freeSpaceReceived(data, readFreeSpace(), OK);
}

void TCWorker::SLOT_cleanupDisk(ConnectLib::TCData data, qulonglong requiredBytes)
{
    emit SIGNAL_cleanupDone(data, cleanupDiskSpace(requiredBytes), OK);
}

} // namespace ConnectLib
