#pragma once

#include "connectlib/export.h"

#include <QElapsedTimer>
#include <QString>

namespace ConnectLib {

// Scope tracer: logs "<prefix> [ENTRY] <function>" when made and
// "<prefix> [EXIT] <function> [<n>ms]" when destroyed.
class KTLIB_EXPORT funclogc {
public:
    funclogc(const QString& prefix, const char* function);
    funclogc(const funclogc& other) = default;
    funclogc& operator=(const funclogc& other) = default;
    ~funclogc();

private:
    const char* m_function; // not owned; normally a string literal
    QString m_prefix;
    QElapsedTimer m_timer;
};

} // namespace ConnectLib
