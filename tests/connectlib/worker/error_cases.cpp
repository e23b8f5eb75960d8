#include "tests/connectlib/worker/error_cases.h"

#include <cstring>

namespace ConnectLib::Test {

QString ErrorCase::message() const
{
    try {
        raise();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

QStringList ErrorCase::reportLines() const
{
    if (!*kind)
        return {QStringLiteral("Std exception thrown. Message: ") + message()};
    return {QString::fromLatin1(kind), message()};
}

const ErrorCase& errorCase(const char* name)
{
    for (const ErrorCase& c : errorCases) {
        if (std::strcmp(c.name, name) == 0)
            return c;
    }
    throw std::invalid_argument(name);
}

} // namespace ConnectLib::Test
