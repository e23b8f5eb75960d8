#pragma once

#include <QString>

namespace ConnectLib {

class TCEntryItem;

// Appends to node one child per file and sub-directory of directory, filled
// recursively, sorted by name ignoring case. Dot-names are ordinary entries;
// symlinks are neither listed nor followed, so a link back to a parent cannot
// make the read endless. Each child's absolute path is "/" + its path
// relative to rootPath. A missing directory adds nothing.
void appendLocalEntries(TCEntryItem* node, const QString& directory, const QString& rootPath);

} // namespace ConnectLib
