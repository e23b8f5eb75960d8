#pragma once

#include <QString>

namespace ConnectLayout::PageAddresses {

// The content and remote server addresses (settings "contenturl" and
// "remoteurl"), read once by the first web view or page made while they are
// empty and kept for the process: console lines have them removed.
void fillWhenEmpty();
QString content();
QString remote();

} // namespace ConnectLayout::PageAddresses
