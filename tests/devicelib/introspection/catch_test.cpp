#include "devicelib/introspection/errors.h"
#include "tests/devicelib/introspection/thrower.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

namespace zi = zarvo::introspection;

namespace {

template <class Handler>
bool caught_as(const std::string& name)
{
    try {
        throw_introspection_error(name);
    } catch (const Handler&) {
        return true;
    } catch (...) {
        return false;
    }
}

using probe = bool (*)(const std::string&);

struct catch_row {
    std::string name;
    probe own_class;
    probe family;
    probe standard;
    bool not_existing;
    bool interrupted;
    bool logic_error;
    bool runtime_error;
};

#define CATCH_ROW(cls, family, standard, not_existing, interrupted, logic, runtime)                \
    catch_row                                                                                      \
    {                                                                                              \
#cls, caught_as < zi::cls>, caught_as < family>, caught_as < standard>, not_existing,      \
            interrupted, logic, runtime                                                            \
    }

const std::vector<catch_row> rows = {
    CATCH_ROW(missing_type, zi::bad_type, std::logic_error, false, false, true, false),
    CATCH_ROW(unknown_type, zi::bad_type, std::logic_error, false, false, true, false),
    CATCH_ROW(type_mismatch, zi::bad_type, std::logic_error, false, false, true, false),
    CATCH_ROW(unsupported_properties, zi::bad_type, std::logic_error, false, false, true, false),
    CATCH_ROW(bad_minimum, zi::bad_property, std::logic_error, false, false, true, false),
    CATCH_ROW(bad_maximum, zi::bad_property, std::logic_error, false, false, true, false),
    CATCH_ROW(bad_regex, zi::bad_property, std::logic_error, false, false, true, false),
    CATCH_ROW(bad_precision, zi::bad_property, std::logic_error, false, false, true, false),
    CATCH_ROW(bad_unit, zi::bad_property, std::logic_error, false, false, true, false),
    CATCH_ROW(missing_minimum, zi::missing_property, std::logic_error, false, false, true, false),
    CATCH_ROW(missing_maximum, zi::missing_property, std::logic_error, false, false, true, false),
    CATCH_ROW(missing_regex, zi::missing_property, std::logic_error, false, false, true, false),
    CATCH_ROW(missing_precision, zi::missing_property, std::logic_error, false, false, true, false),
    CATCH_ROW(missing_unit, zi::missing_property, std::logic_error, false, false, true, false),
    CATCH_ROW(limit_exceeded, zi::invalid_value, std::runtime_error, false, false, false, true),
    CATCH_ROW(regex_mismatch, zi::invalid_value, std::runtime_error, false, false, false, true),
    CATCH_ROW(missing_value, zi::missing_value, std::runtime_error, true, false, false, true),
    CATCH_ROW(missing_elements, zi::missing_value, std::runtime_error, true, false, false, true),
    CATCH_ROW(field_not_found, zi::field_not_found, std::runtime_error, true, false, false, true),
    CATCH_ROW(missing_index, zi::field_not_found, std::runtime_error, true, false, false, true),
    CATCH_ROW(no_such_array, zi::field_not_found, std::runtime_error, true, false, false, true),
    CATCH_ROW(validation_canceled, zi::validation_canceled, std::runtime_error, false, true, false,
              true),
    CATCH_ROW(bad_cast, zi::bad_cast, std::bad_cast, false, false, false, false),
};

} // namespace

TEST(IntrospectionErrorCatch, EveryThrownClassByEachOfItsBases)
{
    ASSERT_EQ(rows.size(), 23U);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(row.own_class(row.name));
        EXPECT_TRUE(row.family(row.name));
        EXPECT_TRUE(row.standard(row.name));
        EXPECT_TRUE(caught_as<zi::exception>(row.name));
        EXPECT_TRUE(caught_as<zarvo::exception>(row.name));
        EXPECT_TRUE(caught_as<std::exception>(row.name));
        EXPECT_EQ(caught_as<zarvo::not_existing>(row.name), row.not_existing);
        EXPECT_EQ(caught_as<zarvo::interrupted>(row.name), row.interrupted);
        // The two standard classes never catch each other's errors.
        EXPECT_EQ(caught_as<std::logic_error>(row.name), row.logic_error);
        EXPECT_EQ(caught_as<std::runtime_error>(row.name), row.runtime_error);
    }
}

TEST(IntrospectionErrorCatch, CommonBaseReachesTextFieldsAndKind)
{
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            throw_introspection_error(row.name);
        } catch (const zarvo::exception& error) {
            EXPECT_EQ(error.is_logic_error(), row.logic_error);
            EXPECT_EQ(error.is_runtime_error(), row.runtime_error);
            const auto& standard = dynamic_cast<const std::exception&>(error);
            EXPECT_EQ(&error.std_base(), &standard);
            EXPECT_STREQ(error.std_base().what(), standard.what());
            EXPECT_GT(std::strlen(standard.what()), 0U);
            const auto& fields = dynamic_cast<const zi::exception&>(error);
            EXPECT_EQ(fields.path(), "f.g[1]");
            if (const auto* missing = dynamic_cast<const zarvo::not_existing*>(&error)) {
                EXPECT_EQ(missing->object_id(), fields.path());
                EXPECT_EQ(&missing->object_id(), &fields.path());
            }
        }
    }
}
