// The hosts.conf reader on any text: every kept key and value is free of
// line breaks, and no key is empty or a comment.
#include "connectlib/settings/host_config.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const QMap<QString, QString> hosts = ConnectLib::parseHostConfig(text);
    for (auto it = hosts.cbegin(); it != hosts.cend(); ++it) {
        const QString& key = it.key();
        if (key.isEmpty() || key.startsWith(QLatin1Char('#')) || key.contains(QLatin1Char('=')))
            std::abort();
        for (const QString& part : {key, it.value()})
            if (part.contains(QLatin1Char('\n')) || part.contains(QLatin1Char('\r')))
                std::abort();
    }
    return 0;
}
