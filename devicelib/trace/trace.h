#pragma once

// Trace logging. Library code reports noteworthy events through tracef();
// each call becomes one line handed to every registered trace_logger. The
// library registers no logger itself, so by default nothing is written.
//
// Line format (no line end; each logger ends lines as it needs):
//   HH:MM:SS.mmm <file name>@<line> <function>: <message>

#include "devicelib/export.h"

#include <fstream>
#include <string>

namespace zarvo {

// A trace sink. write() runs with the trace mutex held, so loggers need no
// lock of their own and every logger sees lines in the same order. A logger
// that traces or changes the registry from inside write() is ignored for
// that call rather than deadlocking; an exception thrown by write() is
// swallowed so that it never replaces the error being built or traced.
class ZARVO_EXPORT trace_logger {
public:
    trace_logger() = default;
    trace_logger(const trace_logger&) = default;
    trace_logger& operator=(const trace_logger&) = default;
    virtual ~trace_logger();

    virtual void write(const std::string& line) = 0;
};

// Writes each line, followed by '\n', to a file and flushes it.
class ZARVO_EXPORT file_logger : public trace_logger {
public:
    file_logger();
    // As open(); ask is_open() for the outcome.
    explicit file_logger(const std::string& path, bool truncate = false);
    file_logger(const file_logger&) = delete;
    file_logger& operator=(const file_logger&) = delete;
    ~file_logger() override;

    // Creates the missing parent directories (failures are ignored), then
    // opens the file for writing, creating or emptying it. On failure the
    // stream is left in its fail state and later lines are dropped.
    bool open(const std::string& path, bool truncate = false);
    bool is_open() const;
    void close();
    const std::ofstream& stream() const { return stream_; }

private:
    void write(const std::string& line) override;

    std::ofstream stream_;
};

// Formats the message printf-style into at most 511 characters (longer or
// failed formats become "<tracef failed to format message>") and hands the
// line to every registered logger. Nothing is formatted when no logger is
// registered. Untrusted text must go through "%s", never be the format.
ZARVO_EXPORT void tracef(const char* file, unsigned line, const char* func, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Removes every logger, then registers `logger` unless it is null.
ZARVO_EXPORT void set_trace_logger(trace_logger* logger);
// Registers `logger` unless it is null; a logger is registered at most once.
ZARVO_EXPORT void add_trace_logger(trace_logger* logger);
ZARVO_EXPORT void remove_trace_logger(trace_logger* logger);
ZARVO_EXPORT void clear_trace_loggers();
// The process-wide logger that writes each line to standard error. It is not
// registered by this call. The registry never owns loggers.
ZARVO_EXPORT trace_logger* default_trace_logger();

} // namespace zarvo

// Traces from the calling source location; `func` is the qualified function
// name as a string literal, e.g. "zarvo::version::version".
#define ZARVO_TRACE(func, ...) ::zarvo::tracef(__FILE__, __LINE__, (func), __VA_ARGS__)
