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

// Every entry as the library ships it, in file order: an edited limit, unit
// or precision, a new property (an expression, say) or a moved entry fails.
TEST(BuiltinTable, MatchesTheGoldenTable)
{
    struct golden {
        const char* name;
        const char* unit;
        const char* min;
        const char* max;
        const char* precision; // null: none
    };
    const golden rows[] = {
        {"MILLIS", "z", "0", "999", "1"},
        {"SECOND", "s", "0", "59", "1"},
        {"MINUTE", "m", "0", "59", "1"},
        {"HOUR", "h", "0", "23", "1"},
        {"HOURS", "h", "0", "9999", "1"},
        {"DAY", "D", "1", "31", "1"},
        {"MONTH", "M", "1", "12", "1"},
        {"YEAR", "Y", "0", "9999", "1"},
        {"WEIGHT", "kg", "0.0", "300.0", "0.1"},
        {"HEIGHT", "cm", "90", "240", "0.1"},
        {"VO2MAX", "ml/kg/min", "10", "95", "1"},
        {"HEARTRATE", "bpm", "0", "250", "1"},
        {"HR_PERCENT", "hr%", "0", "100", "1"},
        {"HR_RESERVE", "bpm", "0", "250", "1"},
        {"SPEED", "km/h", "0.0", "399.0", "0.1"},
        {"SPEED_CALIBRATION_OFFSET", "km/h", "-50.00", "50.00", "0.01"},
        {"CADENCE", "rpm", "0", "199", "1"},
        {"ALTITUDE", "m", "-550.0", "9000.0", "0.1"},
        {"ALTITUDE_OFFSET", "m", "-9550.0", "9550.0", "0.1"},
        {"POWER", "W", "-2000", "2000", "1"},
        {"POWER_LRB", "%", "0.0", "100.0", "0.1"},
        {"POWER_PI", "%", "0", "100", "1"},
        {"TEMPERATURE", "C", "-70.0", "100.0", "0.1"},
        {"ACTIVITY", "MET", "0.875", "20.000", "0.001"},
        {"CUMULATED_ACTIVITY_DAY", "METmin", "0", "28800.000", "0.0001"},
        {"STRIDE_LENGTH", "cm", "0", "350", "1"},
        {"INCLINE", "%", "0.00", "90.00", "0.01"},
        {"DECLINE", "%", "0.00", "90.00", "0.01"},
        {"DISTANCE", "m", "0", "9999000", "1"},
        {"ENERGY", "kcal", "0.00", "99999.00", "0.01"},
        {"FAT_PERCENTS", "%", "0", "100", "1"},
        {"ASCENT", "m", "0", "99000.0", "0.1"},
        {"DESCENT", "m", "0", "99000.0", "0.1"},
        {"LATITUDE", "deg", "-90.000000", "90.000000", "0.000001"},
        {"LONGITUDE", "deg", "-180.000000", "180.000000", "0.000001"},
        {"AIR_PRESSURE", "bar?", "-10000", "10000", "1"},
        {"CALORIES", "kcal", "0", "65535", "1"},
        {"GPS_FIX", "count", "0", "2", "1"},
        {"SAMPLE_INTERVAL", "s", "1", "5", "1"},
        {"SATELLITES", "count", "1", "63", "1"},
        {"RUNNING_INDEX", "ml/kg/min", "25", "100", nullptr},
        {"RR_INTERVAL", "ms", "250", "4000", nullptr},
        {"Z_INDEX", "", "-100", "100", nullptr},
        {"EXERCISE_TARGET_INDEX", "", "0", "14", nullptr},
        {"TIME_ZONE_OFFSET", "m", "-720", "840", "1"},
        {"WHEEL_SIZE", "mm", "1000", "3999", "1"},
        {"FITNESS_CLASS", "", "1", "7", "1"},
        {"CRANK_LENGTH", "mm", "160.0", "190.0", "0.1"},
        {"ANGLE_DEGREE", "deg", "0", "359", "1"},
        {"NEWTON", "N", "-2000", "2000", "1"},
        {"FUNCTIONAL_THRESHOLD_POWER", "N", "0", "2000", "1"},
        {"ACCELERATION", "m/s2", "-50.0", "50.0", "0.1"},
    };
    auto entry = builtin_table().begin();
    for (const golden& g : rows) {
        ASSERT_NE(entry, builtin_table().end()) << g.name;
        SCOPED_TRACE(g.name);
        EXPECT_EQ(entry->first, g.name);
        const auto& properties = entry->second;
        EXPECT_EQ(properties.get<std::string>("unit", "<none>"), g.unit);
        EXPECT_EQ(properties.get<std::string>("min", "<none>"), g.min);
        EXPECT_EQ(properties.get<std::string>("max", "<none>"), g.max);
        EXPECT_EQ(properties.get<std::string>("precision", "<none>"),
                  g.precision ? g.precision : "<none>");
        EXPECT_EQ(properties.count("regex"), 0u);
        EXPECT_EQ(properties.size(), g.precision ? 4u : 3u);
        ++entry;
    }
    EXPECT_EQ(entry, builtin_table().end());
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
