// The value-type table built into the library, and the resource it comes from.
#include "devicelib/introspection/value_type_table.h"
#include "devicelib/platform/resource.h"

#include "types.pb.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace zarvo::test {
namespace {

using introspection::value_type_table;

const value_type_table& builtin_table()
{
    static const value_type_table table =
        introspection::load_value_type_table(introspection::builtin_table_source());
    return table;
}

TEST(BuiltinResource, HoldsTheTableFileByteForByte)
{
    std::string_view bytes;
    ASSERT_EQ(platform::find_resource(platform::value_type_table_resource, bytes), 0);
    std::ifstream file(ZARVO_VALUE_TYPES_JSON, std::ios::binary);
    std::ostringstream expected;
    expected << file.rdbuf();
    EXPECT_EQ(std::string(bytes), expected.str());
}

TEST(BuiltinResource, UnknownNumberGivesEnoentAndLeavesBytesAlone)
{
    std::string_view bytes = "untouched";
    EXPECT_EQ(platform::find_resource(257, bytes), ENOENT);
    EXPECT_EQ(platform::find_resource(0, bytes), ENOENT);
    EXPECT_EQ(bytes, "untouched");
}

TEST(BuiltinTable, IsAsciiWithoutByteOrderMark)
{
    std::string_view bytes;
    ASSERT_EQ(platform::find_resource(platform::value_type_table_resource, bytes), 0);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front(), '{');
    for (const char c : bytes)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80);
}

// The data type vocabulary minus the names never looked up or missing from
// the table, plus the table's keys that name no value of it.
TEST(BuiltinTable, KeysAreTheDataTypesThatHaveLimits)
{
    std::set<std::string> expected;
    const auto* vocabulary = PbDataType_descriptor();
    for (int i = 0; i < vocabulary->value_count(); ++i)
        expected.insert(vocabulary->value(i)->name());
    for (const char* name : {"UNDEFINED", "INHERITED", "ENUM", "HERTZ", "PERCENT"})
        expected.erase(name);
    for (const char* name :
         {"ALTITUDE_OFFSET", "AIR_PRESSURE", "GPS_FIX", "SAMPLE_INTERVAL", "SATELLITES"})
        expected.insert(name);

    std::set<std::string> keys;
    for (const auto& [key, entry] : builtin_table()) {
        EXPECT_TRUE(keys.insert(key).second) << "duplicate key " << key;
        (void)entry;
    }
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(builtin_table().size(), 52u);
}

TEST(BuiltinTable, KeepsNumberTextsAsWritten)
{
    struct row {
        const char* key;
        const char* property;
        const char* text;
    };
    const row rows[] = {
        {"WEIGHT", "min", "0.0"},
        {"ACTIVITY", "max", "20.000"},
        {"LATITUDE", "min", "-90.000000"},
        {"SPEED_CALIBRATION_OFFSET", "min", "-50.00"},
        {"CUMULATED_ACTIVITY_DAY", "precision", "0.0001"},
        {"POWER", "min", "-2000"},
        {"AIR_PRESSURE", "unit", "bar?"},
        {"MILLIS", "max", "999"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(builtin_table().get_child(r.key).get<std::string>(r.property), r.text)
            << r.key << "." << r.property;
}

TEST(BuiltinTable, UnitsPrecisionAndNoExpressions)
{
    const std::set<std::string> empty_unit{"Z_INDEX", "EXERCISE_TARGET_INDEX", "FITNESS_CLASS"};
    const std::set<std::string> no_precision{"RUNNING_INDEX", "RR_INTERVAL", "Z_INDEX",
                                             "EXERCISE_TARGET_INDEX"};
    for (const auto& [key, entry] : builtin_table()) {
        const auto unit = entry.get_optional<std::string>("unit");
        ASSERT_TRUE(unit) << key;
        EXPECT_EQ(unit->empty(), empty_unit.count(key) == 1) << key;
        EXPECT_EQ(entry.count("precision"), no_precision.count(key) ? 0u : 1u) << key;
        EXPECT_EQ(entry.count("regex"), 0u) << key;
        EXPECT_EQ(entry.size(), no_precision.count(key) ? 3u : 4u) << key;
    }
}

TEST(BuiltinTable, LimitsReadAsDoublesInOrder)
{
    for (const auto& [key, entry] : builtin_table()) {
        std::istringstream min_text(entry.get<std::string>("min"));
        std::istringstream max_text(entry.get<std::string>("max"));
        double minimum = 0, maximum = 0;
        ASSERT_TRUE(min_text >> minimum) << key;
        ASSERT_TRUE(max_text >> maximum) << key;
        EXPECT_LE(minimum, maximum) << key;
        if (const auto precision = entry.get_optional<std::string>("precision")) {
            std::istringstream precision_text(*precision);
            double value = 0;
            EXPECT_TRUE(precision_text >> value) << key;
            EXPECT_GT(value, 0) << key;
        }
    }
}

} // namespace
} // namespace zarvo::test
