#include "connectlib/logging/funclogc.h"

#include "connectlib/logging/logger.h"

namespace ConnectLib {

funclogc::funclogc(const QString& prefix, const char* function)
    : m_function(function)
    , m_prefix(prefix)
{
    Logger::instance()->logPrint(
        QStringLiteral("%1 %2 %3")
            .arg(m_prefix, QStringLiteral("[ENTRY]"), QString::fromLatin1(m_function)));
    m_timer.start();
}

funclogc::~funclogc()
{
    Logger::instance()->logPrint(QStringLiteral("%1 %2 %3 [%4ms]")
                                     .arg(m_prefix, QStringLiteral("[EXIT]"),
                                          QString::fromLatin1(m_function),
                                          QString::number(m_timer.elapsed())));
}

} // namespace ConnectLib
