// The translation file reader on any bytes: it returns, whatever the file
// holds (a program included), and it keeps no more properties than the
// file names.
#include "connectlib/common/common.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    const QString path = dir.filePath(QStringLiteral("translations_xx.json"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const QHash<QString, QString> table = ConnectLib::Common::parseJSONFile(path);
    // Every property needs its colon.
    if (table.size() > QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size))
                           .count(':'))
        std::abort();
    return 0;
}
