#include "devicelib/trace/trace.h"

#include "devicelib/trace/trace_line.h"

#include <cxxabi.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

namespace zarvo {

namespace {

// The registry, its mutex and the stderr logger are never destroyed: static
// destructors and threads still running at exit may trace after the
// destructors of ordinary statics have run.
std::mutex& trace_mutex()
{
    static std::mutex* const mutex = new std::mutex;
    return *mutex;
}

std::set<trace_logger*>& registry()
{
    static std::set<trace_logger*>* const loggers = new std::set<trace_logger*>;
    return *loggers;
}

// Set while this thread runs the loggers. The trace mutex is not recursive,
// so a logger that traces or touches the registry from write() would
// deadlock; such calls are dropped instead.
thread_local bool in_logger = false;

class logger_scope {
public:
    logger_scope() { in_logger = true; }
    ~logger_scope() { in_logger = false; }
    logger_scope(const logger_scope&) = delete;
    logger_scope& operator=(const logger_scope&) = delete;
};

constexpr char format_failed[] = "<tracef failed to format message>";

// Writes to standard error with one write(2) per line, so that lines of
// processes sharing the descriptor do not interleave.
class stderr_trace_logger final : public trace_logger {
public:
    void write(const std::string& line) override
    {
        std::string out = line;
        out.push_back('\n');
        const char* data = out.data();
        std::size_t left = out.size();
        while (left > 0) {
            ssize_t n = ::write(STDERR_FILENO, data, left);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            data += n;
            left -= static_cast<std::size_t>(n);
        }
    }
};

} // namespace

trace_logger::~trace_logger() = default;

void tracef(const char* file, unsigned line, const char* func, const char* fmt, ...)
{
    if (in_logger)
        return;
    std::lock_guard<std::mutex> lock(trace_mutex());
    const std::set<trace_logger*>& loggers = registry();
    if (loggers.empty())
        return;

    const detail::time_of_day now = detail::local_time_of_day();

    char message[512] = {};
    va_list args;
    va_start(args, fmt);
    // A null format traces an empty message.
    const int n = fmt ? std::vsnprintf(message, sizeof message, fmt, args) : 0;
    va_end(args);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof message)
        std::snprintf(message, sizeof message, "%s", format_failed);

    const std::string text = detail::format_trace_line(now, file, line, func, message);
    logger_scope scope;
    for (trace_logger* logger : loggers) {
        try {
            logger->write(text);
        } catch (const abi::__forced_unwind&) {
            throw; // thread cancellation must go on unwinding
        } catch (...) {
            // A failing sink must not replace the error being reported.
        }
    }
}

void set_trace_logger(trace_logger* logger)
{
    if (in_logger)
        return;
    std::lock_guard<std::mutex> lock(trace_mutex());
    registry().clear();
    if (logger)
        registry().insert(logger);
}

void add_trace_logger(trace_logger* logger)
{
    if (in_logger || !logger)
        return;
    std::lock_guard<std::mutex> lock(trace_mutex());
    registry().insert(logger);
}

void remove_trace_logger(trace_logger* logger)
{
    if (in_logger)
        return;
    std::lock_guard<std::mutex> lock(trace_mutex());
    registry().erase(logger);
}

void clear_trace_loggers()
{
    if (in_logger)
        return;
    std::lock_guard<std::mutex> lock(trace_mutex());
    registry().clear();
}

trace_logger* default_trace_logger()
{
    static trace_logger* const logger = new stderr_trace_logger;
    return logger;
}

namespace detail {

time_of_day local_time_of_day()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    ::localtime_r(&ts.tv_sec, &local);
    time_of_day t;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = static_cast<int>(ts.tv_nsec / 1000 / 1000);
    return t;
}

std::string format_trace_line(const time_of_day& time, const char* file, unsigned line,
                              const char* func, const char* message)
{
    const char* name = file ? file : "";
    for (const char* p = name; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", time.hour, time.minute, time.second,
                  time.millisecond);
    std::string out = stamp;
    out += name;
    out += '@';
    out += std::to_string(line);
    out += ' ';
    out += func ? func : "";
    out += ": ";
    out += message ? message : "";
    return out;
}

} // namespace detail

// file_logger

file_logger::file_logger() = default;

file_logger::file_logger(const std::string& path, bool truncate)
{
    open(path, truncate);
}

file_logger::~file_logger() = default;

bool file_logger::open(const std::string& path, bool truncate)
{
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(parent, ignored);
    }
    if (stream_.is_open())
        stream_.close();
    std::ios_base::openmode mode = std::ios_base::out;
    if (truncate)
        mode |= std::ios_base::trunc;
    stream_.open(path, mode);
    if (stream_.is_open())
        stream_.clear();
    else
        stream_.setstate(std::ios_base::failbit);
    return stream_.is_open();
}

bool file_logger::is_open() const
{
    return stream_.is_open();
}

void file_logger::close()
{
    stream_.close();
}

void file_logger::write(const std::string& line)
{
    stream_ << line << '\n';
    stream_.flush();
}

} // namespace zarvo
