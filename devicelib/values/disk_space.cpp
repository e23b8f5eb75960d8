#include "devicelib/values/disk_space.h"

namespace zarvo {

disk_space::disk_space(unsigned int fragment_size, unsigned long long total_fragments,
                       unsigned long long free_fragments)
    : fragment_size_(fragment_size)
    , total_fragments_(total_fragments)
    , free_fragments_(free_fragments)
{
}

unsigned long long disk_space::bytes_free() const
{
    return static_cast<unsigned long long>(free_fragments_) * fragment_size_;
}

unsigned long long disk_space::bytes_allocated() const
{
    // A device that reports more free than total fragments has nothing
    // allocated; the difference must not wrap to almost 2^64.
    if (free_fragments_ > total_fragments_)
        return 0;
    return static_cast<unsigned long long>(total_fragments_ - free_fragments_) * fragment_size_;
}

float disk_space::free_rate() const
{
    // Both counts convert exactly to long double; the quotient is rounded once.
    return static_cast<float>(static_cast<long double>(free_fragments_) /
                              static_cast<long double>(total_fragments_));
}

float disk_space::usage_rate() const
{
    if (free_fragments_ > total_fragments_)
        return 0.0f;
    return static_cast<float>(1.0L - static_cast<long double>(free_rate()));
}

} // namespace zarvo
