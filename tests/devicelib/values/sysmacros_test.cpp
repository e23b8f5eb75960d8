// glibc's <sys/sysmacros.h> defines major() and minor() as macros; the
// version header must still be usable after it.
#include <sys/sysmacros.h>

#include "devicelib/values/version.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionValue, AccessorsSurviveSystemMacros)
{
    zarvo::version v(1, 2, 3);
    v.minor(7);
    EXPECT_EQ(v.major(), 1u);
    EXPECT_EQ(v.minor(), 7u);
}

} // namespace
