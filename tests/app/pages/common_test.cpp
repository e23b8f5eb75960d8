// The page library's tables, one test per suite file, in the host page that
// loads jQuery and common.js.
#include "tests/app/support/page_script_test.h"

namespace RavoSync::Test {
namespace {

class CommonScripts : public PageScriptTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CommonScripts, Tables)
{
    runSuite(QStringLiteral("common_host.html"), QString::fromLatin1(GetParam()));
}

std::string suiteName(const ::testing::TestParamInfo<const char*>& info)
{
    std::string name = info.param;
    name = name.substr(0, name.find('.'));
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, CommonScripts,
                         ::testing::Values("common_verdicts.js", "common_paths.js",
                                           "common_texts.js", "common_translations.js",
                                           "common_buttons.js", "common_helpers.js",
                                           "common_bridge.js"),
                         suiteName);

} // namespace
} // namespace RavoSync::Test
