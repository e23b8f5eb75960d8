#pragma once

namespace ConnectLib {

class TCEntryItem;

// The files anywhere below node (folders are not counted).
int countEntryFiles(const TCEntryItem* node);

} // namespace ConnectLib
