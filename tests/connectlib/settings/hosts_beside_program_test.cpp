// Runs from a folder holding its own hosts.conf (see CMakeLists.txt).
#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include "tests/connectlib/support/ktlib_test_support.h"
#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

using ConnectLib::Common;

namespace {

TEST(HostsBesideProgram, ReplacesTheBuiltInCopyEntirely)
{
    ASSERT_TRUE(
        QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/hosts.conf")));
    const struct {
        const char* key;
        const char* value;
    } rows[] = {
        {"contenturl", "https://local.ravo.test/content?session=a=b"},
        {"ravourl", "https://local.ravo.test"},
        {"remoteurl", ""},
        {"ravologinname", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Common::getSettingsValue(QString::fromUtf8(row.key)),
                  QString::fromUtf8(row.value))
            << row.key;
    EXPECT_TRUE(Common::initHostConfig());
}

} // namespace
