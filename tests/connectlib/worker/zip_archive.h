#pragma once

// Zip archives for the firmware tests, written with QuaZip.

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace ConnectLib::Test {

// Entry name and content; a name ending in "/" is a folder entry.
using ArchiveEntry = std::pair<QString, QByteArray>;

// Writes (or replaces) the archive at path; false on any failure.
bool writeArchive(const QString& path, const std::vector<ArchiveEntry>& entries);

} // namespace ConnectLib::Test
