#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace ConnectGlobals {

// The bytes of a page's Base64 text: ASCII whitespace (line breaks from a
// wrapped encoder) is dropped, anything else outside the standard alphabet
// or misplaced padding refuses the whole text, so a page bug never writes
// corrupted bytes to a device or a file.
std::optional<QByteArray> decodePageBase64(const QString& text);

} // namespace ConnectGlobals
