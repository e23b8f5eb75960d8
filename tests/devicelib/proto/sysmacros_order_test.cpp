// <sys/sysmacros.h> comes first on purpose: its major()/minor() macros must
// not reach data::PbVersion's accessors through the wrapper header.
#include <sys/sysmacros.h>

#include "devicelib/proto/device_messages.h"
#include "tests/devicelib/proto/proto_test_util.h"

#include <gtest/gtest.h>

#if defined(major) || defined(minor)
#error "device_messages.h must drop glibc's major()/minor() macros"
#endif

namespace zarvo::test {
namespace {

TEST(SchemaWrapper, VersionAccessorsSurviveTheSystemMacros)
{
    data::PbVersion version;
    ASSERT_TRUE(read_hex("08 04 10 05 18 06", version));
    EXPECT_EQ(version.major(), 4u);
    EXPECT_EQ(version.minor(), 5u);
    EXPECT_EQ(version.patch(), 6u);
}

} // namespace
} // namespace zarvo::test
