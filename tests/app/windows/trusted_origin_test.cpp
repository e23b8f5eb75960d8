#include "app/windows/trusted_origin.h"
#include "connectlib/common/common.h"
#include "tests/support/param_name.h"

#include <gtest/gtest.h>

namespace {

struct OriginCase {
    const char* url;
    bool trusted;
};

void PrintTo(const OriginCase& c, std::ostream* os)
{
    *os << '"' << c.url << '"';
}

class TrustedOrigin : public ::testing::TestWithParam<OriginCase> {};

// Against the built-in content address "https://content.ravo.test/contentserver".
TEST_P(TrustedOrigin, OnlyBuiltInPagesAndTheContentOrigin)
{
    ASSERT_EQ(ConnectLib::Common::getSettingsValue(QStringLiteral("contenturl")),
              QStringLiteral("https://content.ravo.test/contentserver"));
    EXPECT_EQ(ConnectLayout::isTrustedPageOrigin(QUrl(QString::fromLatin1(GetParam().url))),
              GetParam().trusted)
        << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrustedOrigin,
    ::testing::Values(OriginCase{"qrc:/resources/ui/index.html", true},
                      OriginCase{"qrc:///fixtures/main.html", true},
                      OriginCase{"https://content.ravo.test", true},
                      OriginCase{"https://content.ravo.test/contentserver/ui/index.html", true},
                      OriginCase{"https://content.ravo.test:443/other/path", true},
                      OriginCase{"https://CONTENT.ravo.test/", true},
                      OriginCase{"https://content.ravo.test:8443/", false},
                      OriginCase{"http://content.ravo.test/contentserver", false},
                      OriginCase{"http://content.ravo.test:443/", false},
                      OriginCase{"https://other.ravo.test/contentserver", false},
                      OriginCase{"https://content.ravo.test.evil.example/", false},
                      OriginCase{"https://ravo.test/", false},
                      OriginCase{"https://user@content.ravo.test.evil.example/", false},
                      OriginCase{"file:///etc/passwd", false},
                      OriginCase{"data:text/html,<p>x</p>", false},
                      OriginCase{"about:blank", false}, OriginCase{"", false},
                      OriginCase{"ftp://content.ravo.test/", false}),
    zarvo::test::printed_name());

} // namespace
