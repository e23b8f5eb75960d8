#pragma once

#include <QString>

namespace ConnectLib {

// Makes the settings file at path readable and writable by its owner only
// (0600), creating it, and its folder, when it is not there yet. The store
// holds the proxy password in plain text. A symbolic link in the file's
// place is left alone. Returns whether the file now has that mode.
bool keepSettingsFileOwnerOnly(const QString& path);

} // namespace ConnectLib
