#include "connectlib/settings/host_config.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Table = QMap<QString, QString>;

struct Case {
    const char* what;
    const char* text;
    Table expected;
};

TEST(HostConfig, ParsesKeyValueLines)
{
    const std::vector<Case> cases = {
        {"comment line", "#contenturl=https://a\nravourl=b", {{"ravourl", "b"}}},
        {"no key before =", "=x\nravourl=b", {{"ravourl", "b"}}},
        {"only a CR before =", "\r=x\nravourl=b", {{"ravourl", "b"}}},
        {"comment after LF CR", "a=1\n\r#contenturl=x\n\r", {{"a", "1"}}},
        {"no =", "contenturl\nravourl=b", {{"ravourl", "b"}}},
        {"later key wins", "ravourl=a\nravourl=b", {{"ravourl", "b"}}},
        {"blanks kept", " ravourl = b ", {{" ravourl ", " b "}}},
        {"CR LF ends", "a=1\r\nb=2\r\n", {{"a", "1"}, {"b", "2"}}},
        {"LF ends", "a=1\nb=2\n", {{"a", "1"}, {"b", "2"}}},
        {"second = kept",
         "contenturl=https://h/?x=1&y=2\r\n",
         {{"contenturl", "https://h/?x=1&y=2"}}},
        {"password with =", "ravologinpass=se=cr=et=", {{"ravologinpass", "se=cr=et="}}},
        {"empty value", "ravologinname=\r\n", {{"ravologinname", ""}}},
        {"empty text", "", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConnectLib::parseHostConfig(QString::fromUtf8(c.text)), c.expected) << c.what;
}

} // namespace
