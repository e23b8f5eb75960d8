// The config.xml reader on any file: it parses or refuses, and a refused
// file leaves the document empty, so no half of it supplies values.
#include "connectlib/common/common.h"

#include <QDomDocument>
#include <QFile>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

QString g_file;

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(quiet);
    std::string base = (qEnvironmentVariableIsSet("TMPDIR") ? qgetenv("TMPDIR").toStdString()
                                                            : std::string("/tmp")) +
                       "/fuzz-config-XXXXXX";
    if (!mkdtemp(base.data()))
        std::abort();
    g_file = QString::fromStdString(base) + QStringLiteral("/config.xml");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        QFile file(g_file);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
                static_cast<qint64>(size))
            std::abort();
    }
    QDomDocument doc;
    const bool parsed = ConnectLib::Common::initRunConfig(doc, g_file);
    if (!parsed && !doc.documentElement().isNull())
        std::abort();
    for (const char* key : {"delaynew", "language", "logs", "backupdir"})
        (void)ConnectLib::Common::getNodeValue(doc, QString::fromLatin1(key));
    const QDomElement root = doc.documentElement();
    if (!root.isNull())
        (void)ConnectLib::Common::getNodeValue(doc, root.tagName());
    return 0;
}
