#include "connectlib/versions/version_text.h"
#include "connectlib/versions/versions.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include "devicelib/values/library_version.h"

#include <gtest/gtest.h>

using ConnectLib::Versions;

namespace {

TEST(Versions, Libzarvo2IsTheDeviceLibrarysVersionText)
{
    EXPECT_EQ(Versions::libzarvo2(), QStringLiteral("5.2.2-r990"));
    EXPECT_EQ(Versions::libzarvo2(), QString::fromStdString(zarvo::library_version().string()));
}

TEST(Versions, TextRule)
{
    const std::pair<zarvo::version, const char*> rows[] = {
        {zarvo::version(), ""},
        {zarvo::version::uninitialized(), ""},
        {zarvo::version(0, 0, 0, "latest-build"), "0.0.0-latest-build"},
        {zarvo::version("0-nightly"), "nightly"}, // "latest": the specifier alone
        {zarvo::version("0"), ""},
        {zarvo::version("5.2.2"), "5.2.2"},
        {zarvo::version("5.2-beta"), "5.2-beta"},
        {zarvo::version(1u), "1"},
    };
    for (const auto& [version, expected] : rows)
        EXPECT_EQ(ConnectLib::versionText(version), QString::fromUtf8(expected)) << expected;

    // A version with only a specifier is not uninitialised, and not a
    // release either: its text form (empty) is shown.
    zarvo::version specifierOnly;
    specifierOnly.specifier("r1");
    EXPECT_EQ(ConnectLib::versionText(specifierOnly), QString());
}

} // namespace
