#pragma once

// A cap on the size of the files this process writes, standing in for a full
// disk: a write past it fails with EFBIG instead of raising SIGXFSZ. The
// limit is the whole process's, so a test keeps it only around the work it
// checks.

#include <csignal>
#include <sys/resource.h>

namespace zarvo::test {

class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        set_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~file_size_limit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, saved_handler_);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;
    // Whether the system took the limit.
    bool set() const { return set_; }

private:
    rlimit saved_{};
    void (*saved_handler_)(int) = SIG_DFL;
    bool set_ = false;
};

} // namespace zarvo::test
