#pragma once

// The message runtime's own log lines ("Can't parse message of type ..." for
// every message that fails to parse) go to the library's trace instead of the
// standard error stream, at most one line per kind a second: a device that
// answers with damaged files must not flood the host program's output.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace zarvo::trace_detail {

// Rate-limits and traces the runtime's lines. A kind is the runtime's source
// location; within a second of a kind's last traced line, further lines of
// that kind are counted, and the next traced one says how many were dropped.
// Long texts are cut to fit one trace line.
class protobuf_log_router {
public:
    using clock = std::chrono::steady_clock;
    explicit protobuf_log_router(std::function<clock::time_point()> now = &clock::now);

    // level is the runtime's LogLevel (0 info, 1 warning, 2 error, 3 fatal).
    void route(int level, const char* file, int line, const std::string& message);

private:
    struct kind {
        clock::time_point last{};
        std::uint64_t dropped = 0;
    };

    std::function<clock::time_point()> now_;
    std::mutex mutex_;
    std::map<std::pair<std::string, int>, kind> kinds_;
};

// Routes the runtime's lines through one never-destroyed router. Repeated
// calls change nothing. The shared library calls it once at load.
void install_protobuf_log_handler();

} // namespace zarvo::trace_detail
