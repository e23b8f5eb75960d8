// Runs beside a hosts.conf that cannot be read (see CMakeLists.txt).
#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include <gtest/gtest.h>

using ConnectLib::Common;

namespace {

TEST(HostsUnreadable, LeavesTheHostTableEmptyWithoutFallBack)
{
    for (const char* key : {"contenturl", "remoteurl", "ravourl"})
        EXPECT_EQ(Common::getSettingsValue(QString::fromUtf8(key)), QString()) << key;
    EXPECT_FALSE(Common::initHostConfig());
    // The built-in defaults are unaffected.
    EXPECT_EQ(Common::getSettingsValue(QStringLiteral("delaynew")), QStringLiteral("2000"));
}

} // namespace
