#pragma once

#include "devicelib/export.h"
#include "devicelib/values/path.h"

#include <iosfwd>
#include <set>

namespace zarvo::core {

// Turns a device's directory listing (one serialized directory message, the
// whole stream) into entries, for every connection kind. A name ending in
// "/" is a directory (that one "/" removed), any other name a file; both
// keep their size, the times stay 0. An entry equal to one already in out is
// not inserted again.
//
// Names come from the device and later become host paths and tree walks, so
// the empty name, ".", "..", and names containing "/" or NUL are skipped,
// with one trace line each.
//
// Returns false, leaving out untouched, when the stream does not parse; the
// caller raises its transport's error.
ZARVO_EXPORT bool insert_listing(std::istream& in, std::set<entry>& out);

} // namespace zarvo::core
