// Runs from a folder holding its own hosts.conf (see CMakeLists.txt): the
// content server is "http://localhost:8080/contentserver".
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

class TrustedLocalOrigin : public ::testing::TestWithParam<OriginCase> {};

TEST_P(TrustedLocalOrigin, FollowsTheHostsFileBesideTheProgram)
{
    ASSERT_EQ(ConnectLib::Common::getSettingsValue(QStringLiteral("contenturl")),
              QStringLiteral("http://localhost:8080/contentserver"));
    EXPECT_EQ(ConnectLayout::isTrustedPageOrigin(QUrl(QString::fromLatin1(GetParam().url))),
              GetParam().trusted)
        << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrustedLocalOrigin,
    ::testing::Values(OriginCase{"http://localhost:8080/contentserver/ui/index.html", true},
                      OriginCase{"http://localhost:8080/", true},
                      OriginCase{"qrc:/resources/ui/index.html", true},
                      // The default port of http is 80, not the content server's.
                      OriginCase{"http://localhost/contentserver", false},
                      OriginCase{"https://localhost:8080/", false},
                      OriginCase{"https://content.ravo.test/contentserver", false},
                      OriginCase{"http://127.0.0.1:8080/", false}),
    zarvo::test::printed_name());

} // namespace
