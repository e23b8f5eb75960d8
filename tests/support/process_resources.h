#pragma once

// The descriptors and threads this process holds now, to show that a piece
// of work left none behind.

#include <cstddef>
#include <filesystem>

namespace zarvo::test {

inline std::size_t entries_in(const char* dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

struct process_resources {
    std::size_t fds = entries_in("/proc/self/fd");
    std::size_t threads = entries_in("/proc/self/task");
    bool operator==(const process_resources& o) const
    {
        return fds == o.fds && threads == o.threads;
    }
};

} // namespace zarvo::test
