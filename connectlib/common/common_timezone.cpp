#include "connectlib/common/common.h"

#include <QDateTime>

namespace ConnectLib {

int Common::getTimezoneMinutes()
{
    const QDateTime local = QDateTime::currentDateTime();
    const QDateTime utc = local.toUTC();
    const QDateTime wallClockAsUtc(local.date(), local.time(), Qt::UTC);
    return int(utc.secsTo(wallClockAsUtc) / 60);
}

} // namespace ConnectLib
