#include "tests/connectlib/worker/zip_archive.h"

#include <QFile>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

namespace ConnectLib::Test {

bool writeArchive(const QString& path, const std::vector<ArchiveEntry>& entries)
{
    QFile::remove(path);
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const auto& [name, content] : entries) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name)) ||
            file.write(content) != content.size())
            return false;
        file.close();
        if (file.getZipError() != UNZ_OK)
            return false;
    }
    zip.close();
    return zip.getZipError() == UNZ_OK;
}

} // namespace ConnectLib::Test
