#pragma once

// A device disk counted in fragments.

#include "devicelib/export.h"

#include <cstdint>

namespace zarvo {

class ZARVO_EXPORT disk_space {
public:
    disk_space() = default;
    disk_space(unsigned int fragment_size, unsigned long long total_fragments,
               unsigned long long free_fragments);

    unsigned int fragment_size() const { return fragment_size_; }
    unsigned long long total_fragments() const { return total_fragments_; }
    unsigned long long free_fragments() const { return free_fragments_; }
    void fragment_size(unsigned int value) { fragment_size_ = value; }
    void total_fragments(unsigned long long value) { total_fragments_ = value; }
    void free_fragments(unsigned long long value) { free_fragments_ = value; }

    // Unsigned 64-bit products: they wrap modulo 2^64. When the device reports
    // more free than total fragments, bytes_allocated() is 0.
    unsigned long long bytes_free() const;
    unsigned long long bytes_allocated() const;
    operator unsigned long long() const { return bytes_free(); }

    // free / total; NaN or +inf when the total is 0.
    float free_rate() const;
    // 1 - free_rate(); 0 when more fragments are free than there are in all.
    float usage_rate() const;

    // No fragment free. Note that `if (space)` therefore means *full*. The
    // conversion stays implicit so that `bool b = space;` means the same as
    // `if (space)` (an explicit one would let the conversion to unsigned long
    // long answer instead, with the opposite meaning); mixing a disk_space
    // into arithmetic is ambiguous and does not compile.
    bool full() const { return free_fragments_ == 0; }
    operator bool() const { return full(); }
    bool operator!() const { return !full(); }

private:
    std::uint32_t fragment_size_ = 0;
    std::uint64_t total_fragments_ = 0;
    std::uint64_t free_fragments_ = 0;
};

} // namespace zarvo
