#pragma once

// How a worker operation turns the device library's errors into result flags
// (library-internal). Each family of operations has an ordered list of rows;
// the first row whose class the error is an instance of decides, so a
// derived class listed after its base never gets its own row.

#include "connectlib/types/cp_state_flags.h"

#include <exception>
#include <initializer_list>
#include <type_traits>
#include <vector>

namespace zarvo {
class exception;
}

namespace ConnectLib {

struct CatchRow {
    bool (*matches)(const zarvo::exception& error);
    CPStateFlags flags;
    // Logged in place of the error report when set.
    const char* note;
    // A result that is already OK stays OK.
    bool keepsOk;
};

template <typename Error>
bool isKindOf(const zarvo::exception& error)
{
    if constexpr (std::is_same_v<Error, zarvo::exception>)
        return true;
    else
        return dynamic_cast<const Error*>(&error) != nullptr;
}

// A row that reports the error and sets flags.
template <typename Error>
constexpr CatchRow reported(CPStateFlags flags = CPStateFlags())
{
    return CatchRow{&isKindOf<Error>, flags, nullptr, false};
}

class CatchFamily {
public:
    // rows end with zarvo::exception; stdFlags answer any other
    // std::exception. A log-only family leaves the flags as they are.
    CatchFamily(std::initializer_list<CatchRow> rows, CPStateFlags stdFlags, bool setsFlags = true);
    // For families assembled from shared parts.
    CatchFamily(std::vector<CatchRow> rows, CPStateFlags stdFlags, bool setsFlags = true);

    // Logs the error as its row says and returns the flags afterwards.
    CPStateFlags handle(const zarvo::exception& error, CPStateFlags current) const;
    CPStateFlags handle(const std::exception& error, CPStateFlags current) const;

    // Clock and battery, timestamp, current user, challenge token, debug
    // bridge; and the log-only ones: sync notifications, reset, disk space.
    static const CatchFamily& clockAndBattery();
    static const CatchFamily& timestamp();
    static const CatchFamily& user();
    static const CatchFamily& token();
    static const CatchFamily& debugBridge();
    static const CatchFamily& syncNotification();
    static const CatchFamily& reset();
    static const CatchFamily& diskSpace();

private:
    std::vector<CatchRow> m_rows;
    CPStateFlags m_stdFlags;
    bool m_setsFlags;
};

// Two error lines: the error's kind (its own class's line, or "Unknown zarvo
// exception thrown.") and its text.
void reportZarvoException(const zarvo::exception& error);

} // namespace ConnectLib
