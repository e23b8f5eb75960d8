#include "devicelib/values/disk_space.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using zarvo::disk_space;

TEST(DiskSpace, Figures)
{
    struct row {
        unsigned fragment;
        unsigned long long total, free;
        unsigned long long bytes_free, bytes_allocated;
        float free_rate, usage_rate;
        bool full;
    };
    const row rows[] = {
        {4096, 1000, 250, 4096ull * 250, 4096ull * 750, 0.25f, 0.75f, false},
        {512, 10, 0, 0, 5120, 0.0f, 1.0f, true},
        {512, 10, 10, 5120, 0, 1.0f, 0.0f, false},
        {0, 10, 5, 0, 0, 0.5f, 0.5f, false},
        // More free than total: nothing is allocated and nothing used.
        {1, 1, 2, 2, 0, 2.0f, 0.0f, false},
        {4096, 10, 11, 4096ull * 11, 0, 1.1f, 0.0f, false},
        {512, 0, 5, 2560, 0, std::numeric_limits<float>::infinity(), 0.0f, false},
        // Products wrap modulo 2^64.
        {4, 1ull << 63, 1ull << 63, 0, 0, 1.0f, 0.0f, false},
        {4294967295u, 4294967297ull, 4294967297ull, 4294967295ull * 4294967297ull, 0, 1.0f, 0.0f,
         false},
    };
    for (const row& r : rows) {
        const disk_space ds(r.fragment, r.total, r.free);
        EXPECT_EQ(ds.bytes_free(), r.bytes_free) << r.total << '/' << r.free;
        EXPECT_EQ(static_cast<unsigned long long>(ds), r.bytes_free);
        EXPECT_EQ(ds.bytes_allocated(), r.bytes_allocated) << r.total << '/' << r.free;
        EXPECT_EQ(ds.free_rate(), r.free_rate) << r.total << '/' << r.free;
        EXPECT_EQ(ds.usage_rate(), r.usage_rate) << r.total << '/' << r.free;
        EXPECT_EQ(ds.full(), r.full);
        EXPECT_EQ(static_cast<bool>(ds), r.full);
        const bool converted = ds; // same meaning as `if (ds)`
        EXPECT_EQ(converted, r.full);
        EXPECT_EQ(!ds, !r.full);
    }
}

TEST(DiskSpace, EmptyDiskGivesIeeeQuotients)
{
    EXPECT_TRUE(std::isnan(disk_space(512, 0, 0).free_rate()));
    EXPECT_TRUE(std::isnan(disk_space(512, 0, 0).usage_rate()));
    EXPECT_EQ(disk_space(512, 0, 5).free_rate(), std::numeric_limits<float>::infinity());
}

TEST(DiskSpace, DefaultAndSetters)
{
    disk_space ds;
    EXPECT_EQ(ds.fragment_size(), 0u);
    EXPECT_EQ(ds.total_fragments(), 0u);
    EXPECT_EQ(ds.free_fragments(), 0u);
    EXPECT_TRUE(ds.full());
    ds.fragment_size(4096);
    ds.total_fragments(8);
    ds.free_fragments(2);
    EXPECT_EQ(ds.bytes_free(), 8192u);
    EXPECT_EQ(ds.bytes_allocated(), 24576u);
    EXPECT_FALSE(ds);
}

} // namespace
