#include "devicelib/introspection/value_type_table.h"

#include "devicelib/errors/general_errors.h"
#include "devicelib/helpers/system.h"
#include "devicelib/platform/resource.h"

#include <boost/property_tree/json_parser.hpp>

#include <sstream>
#include <string>

namespace zarvo::introspection {

table_source builtin_table_source()
{
    return [](std::string_view& bytes) {
        return platform::find_resource(platform::value_type_table_resource, bytes);
    };
}

value_type_table load_value_type_table(const table_source& source)
{
    std::string_view bytes;
    if (const int code = source(bytes)) {
        std::string text;
        throw invalid_function(system::error_message(code, text));
    }
    std::stringstream stream{std::string(bytes)};
    value_type_table table;
    try {
        boost::property_tree::read_json(stream, table);
    } catch (const std::exception& e) {
        throw invalid_function("Failed to parse value type information.", e);
    }
    return table;
}

} // namespace zarvo::introspection
