// Archive extraction on any zip: nothing is ever written outside the target
// folder, every path reported lies inside it, and a refused archive leaves
// the folder as empty as it was.
#include "connectlib/common/common.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// base/ holds the archive and target/ only; base/outside/ must stay empty
// (an entry "../outside/x" aims at it).
fs::path g_base;

bool holds_only(const fs::path& dir, std::initializer_list<const char*> names)
{
    std::size_t count = 0;
    for (const auto& item : fs::directory_iterator(dir)) {
        bool known = false;
        for (const char* name : names)
            known = known || item.path().filename() == name;
        if (!known)
            return false;
        ++count;
    }
    return count == names.size();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-extract-XXXXXX";
    if (!mkdtemp(base.data()))
        std::abort();
    g_base = base;
    fs::create_directory(g_base / "outside");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path archive = g_base / "archive.zip";
    const fs::path target = g_base / "target";
    std::error_code ignored;
    fs::remove_all(target, ignored);
    fs::create_directory(target);
    {
        QFile file(QString::fromStdString(archive.string()));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
                static_cast<qint64>(size))
            std::abort();
    }

    const QString root = QString::fromStdString(target.string());
    const QStringList extracted =
        ConnectLib::Common::extractDir(QString::fromStdString(archive.string()), root);

    for (const QString& path : extracted)
        if (!path.startsWith(root + QLatin1Char('/')))
            std::abort();
    if (!holds_only(g_base, {"archive.zip", "target", "outside"}) ||
        !fs::is_empty(g_base / "outside") || fs::is_symlink(target))
        std::abort();
    if (extracted.isEmpty() && !fs::is_empty(target))
        std::abort();
    // Archive links are refused, so none may appear below the target.
    for (const auto& item : fs::recursive_directory_iterator(target))
        if (item.is_symlink())
            std::abort();
    return 0;
}
