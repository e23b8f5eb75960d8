#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace ConnectLayout::Test {

using KeyValueList = std::vector<std::pair<QString, QString>>;

// The members of one flat JSON object whose values are all strings, in file
// order and with repeated keys kept (QJsonDocument sorts them and keeps one).
// Nothing else is accepted: any other value, nesting or trailing text gives
// no result. Strictness beyond that is left to QJsonDocument.
std::optional<KeyValueList> scanFlatStringObject(const QByteArray& utf8);

} // namespace ConnectLayout::Test
