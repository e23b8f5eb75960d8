#pragma once

#include "devicelib/introspection/auditor.h"

#include <boost/property_tree/ptree.hpp>

#include <functional>
#include <string>

// Reading a data type's properties while its validator is built. Internal to
// the library.
namespace zarvo::introspection::detail {

// One data type's entry of the value-type table: property name to its text.
using properties = boost::property_tree::ptree;

// What a validator's constructor reads with, and where it reports.
struct build_context {
    int type;                // field type code the validator is built for
    const std::string& path; // the field it is built for, for reports
    const std::string& name; // data type name
    auditor& audit;
    unsigned& flags;
};

enum class property { unit, minimum, maximum, regex, precision };

// Reads one property and erases it from the entry. convert gets the text and
// stores the value; it answers false when the text is unusable. A missing or
// unusable property is put to the auditor (missing_... or bad_...): accepted,
// its bit is added and the caller keeps its default; refused, the error of
// the same name is thrown. Returns whether convert stored a value.
bool read_property(build_context& context, properties& entry, property which,
                   const std::function<bool(const std::string&)>& convert);

// Reads the whole text as a T the way a property's text is read: extraction
// from a stream in the classic locale, with only white space left over. For
// an unsigned T a text with a minus sign is never readable (extraction would
// wrap it round). Leaves value alone when the text is not readable.
template <typename T>
bool read_number(const std::string& text, T& value);

// Reads "min" and then "max" as read_number does, except that for an
// unsigned T a negative integer minimum such as "-2000" reads as 0, T's
// lowest value: the table's negative limits are meant for signed fields, and
// an unsigned field takes them as "from the lowest value", never as a
// wrapped-round number. Each limit keeps the value it holds when its property
// is missing or unusable.
template <typename T>
void read_limits(build_context& context, properties& entry, T& minimum, T& maximum);

} // namespace zarvo::introspection::detail
