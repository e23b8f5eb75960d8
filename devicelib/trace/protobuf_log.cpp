#include "devicelib/trace/protobuf_log.h"

#include "devicelib/trace/trace.h"

#include <google/protobuf/stubs/logging.h>

namespace zarvo::trace_detail {
namespace {

const char* level_name(int level)
{
    switch (level) {
    case google::protobuf::LOGLEVEL_INFO:
        return "info";
    case google::protobuf::LOGLEVEL_WARNING:
        return "warning";
    case google::protobuf::LOGLEVEL_ERROR:
        return "error";
    default:
        return "fatal";
    }
}

void handler(google::protobuf::LogLevel level, const char* file, int line,
             const std::string& message)
{
    // Never destroyed: the runtime may log from any thread until the end.
    static protobuf_log_router* const router = new protobuf_log_router;
    router->route(level, file, line, message);
}

} // namespace

protobuf_log_router::protobuf_log_router(std::function<clock::time_point()> now)
    : now_(std::move(now))
{
}

void protobuf_log_router::route(int level, const char* file, int line, const std::string& message)
{
    const std::string where = file ? file : "";
    std::uint64_t dropped = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const clock::time_point now = now_();
        const auto [it, first] = kinds_.try_emplace(std::make_pair(where, line));
        kind& k = it->second;
        if (!first && now - k.last < std::chrono::seconds(1)) {
            ++k.dropped;
            return;
        }
        k.last = now;
        dropped = k.dropped;
        k.dropped = 0;
    }
    if (dropped == 0) {
        ZARVO_TRACE("google::protobuf", "%s %.100s:%d: %.300s", level_name(level), where.c_str(),
                    line, message.c_str());
    } else {
        ZARVO_TRACE("google::protobuf", "%s %.100s:%d: %.300s (%llu more like it dropped)",
                    level_name(level), where.c_str(), line, message.c_str(),
                    static_cast<unsigned long long>(dropped));
    }
}

void install_protobuf_log_handler()
{
    static std::once_flag once;
    std::call_once(once, [] { google::protobuf::SetLogHandler(&handler); });
}

} // namespace zarvo::trace_detail
