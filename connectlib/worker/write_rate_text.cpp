#include "connectlib/worker/write_rate_text.h"

#include <QDateTime>
#include <QTime>

namespace ConnectLib {

QString writeRateText(qint64 size, qint64 seconds)
{
    const QString duration =
        QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).time().toString(QStringLiteral("hh:mm:ss"));
    const double rate = double(size) / 1000000.0 / double(seconds);
    return QStringLiteral("write size: ") + QString::number(size) + QStringLiteral(" duration: ") +
           duration + QStringLiteral(", rate (MB/sec): ") + QString::number(rate, 'g', 6);
}

} // namespace ConnectLib
