#pragma once

// logind's "block" lock on sleep and shutdown, held while an operation runs
// that would leave a device broken if cut off (a firmware update, a
// restore). Where logind cannot be reached the guard is empty and the
// operation runs anyway: the lock only protects, it is never required.

#include "devicelib/export.h"

namespace zarvo::platform {

// Owns the lock's descriptor; closing it lets the system sleep again.
class ZARVO_EXPORT sleep_block {
public:
    sleep_block() noexcept = default;
    explicit sleep_block(int fd) noexcept
        : fd_(fd)
    {
    }
    ~sleep_block();
    sleep_block(sleep_block&& other) noexcept;
    sleep_block& operator=(sleep_block&& other) noexcept;
    sleep_block(const sleep_block&) = delete;
    sleep_block& operator=(const sleep_block&) = delete;

    bool held() const noexcept { return fd_ >= 0; }
    void release() noexcept;

private:
    int fd_ = -1;
};

// Asks logind to block sleep and shutdown for why; waits at most a few
// seconds for the system bus and never throws.
ZARVO_EXPORT sleep_block block_sleep(const char* why) noexcept;

} // namespace zarvo::platform
