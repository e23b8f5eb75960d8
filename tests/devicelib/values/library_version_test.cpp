#include "devicelib/values/library_version.h"

#include <gtest/gtest.h>

namespace {

TEST(LibraryVersion, TextAndRevision)
{
    const zarvo::version v = zarvo::library_version();
    EXPECT_EQ(v.string(), "5.2.2-r990");
    EXPECT_EQ(v.major(), 5u);
    EXPECT_EQ(v.minor(), 2u);
    EXPECT_EQ(v.patch(), 2u);
    EXPECT_EQ(v.specifier(), "r990");
    EXPECT_EQ(zarvo::library_revision(), 990u);
    EXPECT_FALSE(v.is_latest());
    EXPECT_FALSE(v.is_uninitialized());
}

} // namespace
