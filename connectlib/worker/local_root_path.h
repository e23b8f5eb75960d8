#pragma once

#include <QString>

namespace ConnectLib {

// The local file a request path names under a local worker's root: the two
// texts glued (the request path is expected to start with "/") and cleaned.
// Empty when the result would lie outside the root, so ".." in a request
// can never reach files beside it.
QString confinedLocalPath(const QString& rootPath, const QString& requestPath);

// The path of a local file relative to a root, as "/" + the relative part;
// "/" for the root itself.
QString pathBelowRoot(const QString& rootPath, const QString& filePath);

} // namespace ConnectLib
