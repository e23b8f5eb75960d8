// Joins the shared library only: it routes the message runtime's log lines
// into the trace as soon as the library is loaded.
#include "devicelib/trace/protobuf_log.h"

namespace {

struct protobuf_log_installer {
    protobuf_log_installer() { zarvo::trace_detail::install_protobuf_log_handler(); }
} const installer;

} // namespace
