#include "devicelib/helpers/translate.h"

#include <boost/archive/iterators/dataflow_exception.hpp>
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <variant>

namespace {

using boost::archive::iterators::dataflow_exception;
using zarvo::text::translate;

using text = std::variant<std::string, std::wstring>;

struct translate_row {
    const char* name;
    const char* locale;
    text source;
    text target;   // its content before
    text expected; // the target after, also when it throws
    bool throws;
};

class Translate : public ::testing::TestWithParam<translate_row> {
protected:
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_P(Translate, AppendsToTheTarget)
{
    const translate_row& row = GetParam();
    ASSERT_NE(std::setlocale(LC_ALL, row.locale), nullptr) << row.locale;
    text target = row.target;
    bool threw = false;
    std::visit(
        [&](const auto& source, auto& to) {
            try {
                EXPECT_EQ(&translate(source, to), &to);
            } catch (const dataflow_exception& e) {
                EXPECT_EQ(e.code, dataflow_exception::invalid_conversion);
                threw = true;
            }
        },
        row.source, target);
    EXPECT_EQ(threw, row.throws);
    EXPECT_EQ(target, row.expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Text, Translate,
    ::testing::Values(translate_row{"NarrowIntoNarrow", "C", "abc"s, "x"s, "xabc"s, false},
                      translate_row{"WideIntoWide", "C", L"abc"s, L"x"s, L"xabc"s, false},
                      translate_row{"NarrowIntoEmptyWide", "C", "abc"s, L""s, L"abc"s, false},
                      translate_row{"WideIntoNarrow", "C", L"abc"s, "x"s, "xabc"s, false},
                      translate_row{"NonAsciiToWide", "C.UTF-8", "a\xc3\xa9\xe2\x82\xac"s, L">"s,
                                    L">a\u00e9\u20ac"s, false},
                      translate_row{"NonAsciiToNarrow", "C.UTF-8", L"a\u00e9\u20ac"s, ">"s,
                                    ">a\xc3\xa9\xe2\x82\xac"s, false},
                      translate_row{"EmbeddedNul", "C.UTF-8", "a\0b"s, L""s, L"a\0b"s, false},
                      translate_row{"InvalidSequenceKeepsThePrefix", "C.UTF-8",
                                    "ab\xff"
                                    "cd"s,
                                    L"x"s, L"xab"s, true},
                      translate_row{"IncompleteSequenceAtTheEnd", "C.UTF-8", "ab\xe2\x82"s, L""s,
                                    L"ab"s, true},
                      translate_row{"UnrepresentableWideCharacterKeepsThePrefix", "C",
                                    L"ab\u20acc"s, "x"s, "xab"s, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
