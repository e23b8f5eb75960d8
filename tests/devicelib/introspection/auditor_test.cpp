// The auditor's default policy and the mask-driven auditor.
#include "devicelib/introspection/auditor.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <type_traits>
#include <vector>

namespace zarvo::test {
namespace {

using introspection::auditor;
using introspection::custom_auditor;
namespace issue = introspection::issue;

static_assert(std::is_copy_constructible_v<custom_auditor>);
static_assert(!std::is_copy_assignable_v<custom_auditor>);
static_assert(std::is_copy_constructible_v<auditor>);
static_assert(std::is_copy_assignable_v<auditor>);
static_assert(std::has_virtual_destructor_v<auditor>);

struct callback {
    const char* name;
    unsigned bit; // 0 for indenting and outdenting
    std::function<bool(auditor&)> call;
};

const std::string p = "p", n = "N", s = "text";
const auditor::property_map no_properties;

const std::vector<callback> callbacks = {
    {"indenting", 0, [](auditor& a) { return a.indenting(3, p, n, 0); }},
    {"outdenting", 0, [](auditor& a) { return a.outdenting(3, p, n, 0); }},
    {"missing_type", issue::missing_type, [](auditor& a) { return a.missing_type(3, p, 0); }},
    {"missing_value", issue::missing_value, [](auditor& a) { return a.missing_value(3, p, n, 0); }},
    {"unknown_type", issue::unknown_type, [](auditor& a) { return a.unknown_type(3, p, n, 0); }},
    {"type_mismatch", issue::type_mismatch,
     [](auditor& a) { return a.type_mismatch(1, 3, p, n, 0); }},
    {"missing_unit", issue::missing_unit, [](auditor& a) { return a.missing_unit(3, p, n, 0); }},
    {"missing_minimum", issue::missing_minimum,
     [](auditor& a) { return a.missing_minimum(3, p, n, 0); }},
    {"missing_maximum", issue::missing_maximum,
     [](auditor& a) { return a.missing_maximum(3, p, n, 0); }},
    {"missing_regex", issue::missing_regex, [](auditor& a) { return a.missing_regex(3, p, n, 0); }},
    {"missing_precision", issue::missing_precision,
     [](auditor& a) { return a.missing_precision(3, p, n, 0); }},
    {"unsupported_properties", issue::unsupported_properties,
     [](auditor& a) { return a.unsupported_properties(3, p, n, no_properties, 0); }},
    {"bad_minimum", issue::bad_minimum, [](auditor& a) { return a.bad_minimum(3, p, n, s, 0); }},
    {"bad_maximum", issue::bad_maximum, [](auditor& a) { return a.bad_maximum(3, p, n, s, 0); }},
    {"bad_regex", issue::bad_regex, [](auditor& a) { return a.bad_regex(3, p, n, s, 0); }},
    {"bad_unit", issue::bad_unit, [](auditor& a) { return a.bad_unit(3, p, n, s, 0); }},
    {"bad_precision", issue::bad_precision,
     [](auditor& a) { return a.bad_precision(3, p, n, s, 0); }},
    {"limit_exceeded string", issue::limit_exceeded,
     [](auditor& a) { return a.limit_exceeded(s, p, n, 1u, 2u, 0); }},
    {"limit_exceeded double", issue::limit_exceeded,
     [](auditor& a) { return a.limit_exceeded(1.0, p, n, 2.0, 3.0, 0); }},
    {"limit_exceeded float", issue::limit_exceeded,
     [](auditor& a) { return a.limit_exceeded(1.0f, p, n, 2.0f, 3.0f, 0); }},
    {"limit_exceeded uint64", issue::limit_exceeded,
     [](auditor& a) { return a.limit_exceeded(1ULL, p, n, 2ULL, 3ULL, 0); }},
    {"limit_exceeded uint32", issue::limit_exceeded,
     [](auditor& a) { return a.limit_exceeded(1u, p, n, 2u, 3u, 0); }},
    {"limit_exceeded int64", issue::limit_exceeded,
     [](auditor& a) { return a.limit_exceeded(1LL, p, n, 2LL, 3LL, 0); }},
    {"limit_exceeded int32", issue::limit_exceeded,
     [](auditor& a) { return a.limit_exceeded(1, p, n, 2, 3, 0); }},
    {"regex_mismatch string", issue::regex_mismatch,
     [](auditor& a) { return a.regex_mismatch(s, p, n, s, 0); }},
    {"regex_mismatch double", issue::regex_mismatch,
     [](auditor& a) { return a.regex_mismatch(1.0, p, n, s, 0); }},
    {"regex_mismatch float", issue::regex_mismatch,
     [](auditor& a) { return a.regex_mismatch(1.0f, p, n, s, 0); }},
    {"regex_mismatch uint64", issue::regex_mismatch,
     [](auditor& a) { return a.regex_mismatch(1ULL, p, n, s, 0); }},
    {"regex_mismatch uint32", issue::regex_mismatch,
     [](auditor& a) { return a.regex_mismatch(1u, p, n, s, 0); }},
    {"regex_mismatch int64", issue::regex_mismatch,
     [](auditor& a) { return a.regex_mismatch(1LL, p, n, s, 0); }},
    {"regex_mismatch int32", issue::regex_mismatch,
     [](auditor& a) { return a.regex_mismatch(1, p, n, s, 0); }},
};

TEST(Auditor, DefaultPolicyAcceptsOnlyOmissions)
{
    ASSERT_EQ(callbacks.size(), 31u);
    auditor base;
    custom_auditor default_mask;
    for (const auto& c : callbacks) {
        const bool expected = c.bit == 0 || (c.bit & 0x3F) != 0;
        EXPECT_EQ(c.call(base), expected) << c.name;
        EXPECT_EQ(c.call(default_mask), expected) << c.name;
        EXPECT_EQ(c.call(introspection::default_auditor()), expected) << c.name;
    }
}

TEST(Auditor, EachMaskBitAnswersOnlyItsOwnCallbacks)
{
    for (unsigned bit = 1; bit <= 0x10000; bit <<= 1) {
        custom_auditor single(bit);
        const custom_auditor copy(single);
        for (const auto& c : callbacks) {
            const bool expected = c.bit == 0 || c.bit == bit;
            EXPECT_EQ(c.call(single), expected) << c.name << " under mask " << bit;
            EXPECT_EQ(c.call(const_cast<custom_auditor&>(copy)), expected) << c.name;
        }
    }
    custom_auditor none(0);
    for (const auto& c : callbacks)
        EXPECT_EQ(c.call(none), c.bit == 0) << c.name;
}

TEST(Auditor, DefaultAuditorIsOneObjectOnEveryThread)
{
    const auditor* here = &introspection::default_auditor();
    std::vector<std::future<const auditor*>> others;
    for (int i = 0; i < 8; ++i)
        others.push_back(std::async(std::launch::async, []() -> const auditor* {
            return &introspection::default_auditor();
        }));
    for (auto& other : others)
        EXPECT_EQ(other.get(), here);
}

} // namespace
} // namespace zarvo::test
