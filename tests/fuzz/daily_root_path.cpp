// The per-day listing's root path parser on any text: a valid path holds the
// day tag, its base is the text before the first tag and its sub-folder holds
// neither tag; stripping a base never lengthens a path.
#include "connectlib/worker/daily_root_path.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const ConnectLib::DailyRootPath parsed = ConnectLib::parseDailyRootPath(text);
    const QString dayTag = QStringLiteral("/[YYYYMMDD]");
    if (parsed.valid) {
        if (!text.contains(dayTag + QLatin1Char('/')) || !text.startsWith(parsed.base) ||
            parsed.base.contains(dayTag) || parsed.subFolder.contains(dayTag) ||
            parsed.subFolder.contains(QStringLiteral("/[SUBDIR]")))
            std::abort();
    } else if (!parsed.base.isEmpty() || !parsed.subFolder.isEmpty() || parsed.extraLevel) {
        std::abort();
    }
    const QString stripped = ConnectLib::stripBasePrefix(text, parsed.base);
    if (stripped.size() > text.size() || !text.endsWith(stripped))
        std::abort();
    return 0;
}
