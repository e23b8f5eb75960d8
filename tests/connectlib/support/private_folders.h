#pragma once

#include "tests/support/temp_dir.h"

namespace ConnectLib::Test {

// Gives the process a private HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME,
// XDG_CACHE_HOME, XDG_RUNTIME_DIR and TMPDIR, each a 0700 folder below root,
// so QSettings, QStandardPaths and QDir::tempPath() never reach the user's
// own. Call before anything reads them (first thing in main).
void usePrivateFolders(const zarvo::test::temp_dir& root);

} // namespace ConnectLib::Test
