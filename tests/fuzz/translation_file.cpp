// The translation file reader on any bytes: it returns, whatever the file
// holds (a program included), and it keeps no more properties than the
// file names.
#include "connectlib/common/common.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

// The script library keeps a few small tables for the process's lifetime
// (first use of its string and identifier caches); they are not the
// reader's leaks. Qt's JSON parser loses the first value of a repeated key
// when that value is an object or an array (plain Qt does the same); the
// reader must still take such a file, the later value winning.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Script.so\n"
           "leak:QJsonDocument::fromJson\n";
}

// Qt is built without frame pointers: the quick unwinder ends inside Qt, so
// an allocation's stack would never reach QJsonDocument::fromJson.
extern "C" const char* __lsan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The script engine needs an application object, as in the program.
    static int argc = 1;
    static char name[] = "fuzz_translation_file";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
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
    if (table.size() >
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)).count(':'))
        std::abort();
    return 0;
}
