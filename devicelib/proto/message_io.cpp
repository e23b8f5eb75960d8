#include "devicelib/proto/message_io.h"

#include <google/protobuf/io/zero_copy_stream_impl.h>
#include <google/protobuf/message.h>

#include <istream>
#include <ostream>

namespace zarvo {

bool write_message(const google::protobuf::Message& message, std::ostream& out)
{
    if (!out.good())
        return false;
    // The runtime's adapter flushes in its destructor; a stream that throws
    // there would end the process. Writing through a local stream without an
    // exception mask keeps the failure a state we can hand back below.
    std::ostream sink(out.rdbuf());
    {
        google::protobuf::io::OstreamOutputStream adapter(&sink);
        // The non-partial serializers abort on a message without its required
        // fields; the partial one writes the same bytes for complete ones.
        if (!message.SerializePartialToZeroCopyStream(&adapter))
            sink.setstate(std::ios_base::badbit);
    }
    if (!sink.good())
        out.setstate(std::ios_base::badbit);
    return out.good();
}

bool read_message(std::istream& in, google::protobuf::Message& message)
{
    // A local stream on the caller's buffer parses exactly as the caller's own
    // stream would, but with an empty exception mask, so the runtime's adapter
    // cannot throw out of the parse, and the caller's state stays as it was.
    // A stream that has failed or already reported its end holds no message.
    if (!in.good()) {
        message.Clear();
        return false;
    }
    std::istream source(in.rdbuf());
    return message.ParseFromIstream(&source);
}

} // namespace zarvo
