#include "app/synchronizer/base64_text.h"

namespace ConnectGlobals {

std::optional<QByteArray> decodePageBase64(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray compact;
    compact.reserve(utf8.size());
    for (const char c : utf8) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v')
            compact.append(c);
    }
    const QByteArray::FromBase64Result result =
        QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return std::nullopt;
    return result.decoded;
}

} // namespace ConnectGlobals
