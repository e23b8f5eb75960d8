#pragma once

#include <boost/property_tree/ptree.hpp>

#include <functional>
#include <string_view>

// The value-type table: for each data type named by a field's `type` option,
// its unit, its inclusive limits, its precision and an optional regular
// expression, as a JSON object compiled into the library. Internal to the
// library.
namespace zarvo::introspection {

// Data type name to its properties. Every value stays the text the document
// holds ("0.0" stays "0.0"): each validator reads it as its own value type.
using value_type_table = boost::property_tree::ptree;

// Where a table comes from: points bytes at the JSON text and returns 0, or
// returns an errno-style code. The bytes must stay valid until the next call.
using table_source = std::function<int(std::string_view& bytes)>;

// The table built into the library.
table_source builtin_table_source();

// Reads and parses the table. Throws zarvo::invalid_function with the
// code's English text when the source fails, and with "Failed to parse value
// type information." when the text is no JSON.
value_type_table load_value_type_table(const table_source& source);

} // namespace zarvo::introspection
