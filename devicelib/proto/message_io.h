#pragma once

#include "devicelib/export.h"

#include <iosfwd>

namespace google::protobuf {
class Message;
}

namespace zarvo {

// Every message the library exchanges with a device travels as exactly one
// serialized message in a byte stream. These two are the only ways the library
// writes and reads them.

// Writes the message's present fields in field-number order, then its unknown
// fields. Missing required fields do not stop the write: a message that lacks
// them is written as far as it goes, so an empty message gives zero bytes.
// Returns whether the stream is still good afterwards. A failed write sets
// badbit on `out`, so an exception mask on `out` applies as usual.
ZARVO_EXPORT bool write_message(const google::protobuf::Message& message, std::ostream& out);

// Clears `message` and parses the whole of `in` into it. Succeeds only when
// the bytes form one complete message up to the end of the stream: every
// required field present (also in nested messages), not ended early by a stray
// end-group or zero tag, nothing left over. Never throws a stream exception,
// whatever exception mask `in` carries.
//
// `in`'s mask and state are left as they were: reading to the end does not set
// its eofbit, a failed parse does not set its failbit; only its buffer is
// consumed. A stream that has already failed or already reports its end
// (eofbit set) gives false at once; nothing is read and the message is only
// cleared. On failure the message is partly filled and must be discarded.
ZARVO_EXPORT bool read_message(std::istream& in, google::protobuf::Message& message);

} // namespace zarvo
