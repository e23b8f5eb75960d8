#pragma once

#include "devicelib/export.h"
#include "devicelib/introspection/entry.h"
#include "devicelib/values/path.h"

#include <string>

namespace zarvo::introspection {

// A dotted field path such as "entries[2].name", kept exactly as given. Its
// array queries look at the last component.
class ZARVO_EXPORT path : public zarvo::basic_path<char, '.'> {
public:
    using base_type = zarvo::basic_path<char, '.'>;

    path();
    path(const std::string& text);
    path(const char* text);
    path(const path& other);
    path(const base_type& other);
    // text + "[i]"
    path(const std::string& text, unsigned int i);
    path(const char* text, unsigned int i);
    path(const base_type& text, unsigned int i);
    path& operator=(const path& other);
    path& operator=(const base_type& other);
    ~path() override;

    path& operator/=(const base_type& other);
    path& operator/=(const std::string& text);
    path& operator/=(const char* text);
    path& operator/=(const zarvo::basic_entry<char, '.'>& component);

    bool is_array() const;
    // See entry::index(); may throw boost::bad_lexical_cast.
    unsigned int index() const;
    // The path with its last component stripped to entry::array().
    path array() const;
    // array() with the index i.
    path at(unsigned int i) const;
    path operator[](unsigned int i) const;

    static unsigned int invalid_index();
};

} // namespace zarvo::introspection

namespace zarvo {

// Joins without changing either side: the text that /= would leave in a copy
// of the left operand ("msg" and "name" give "msg.name").
ZARVO_EXPORT std::string operator/(const basic_path<char, '.'>& left,
                                   const basic_entry<char, '.'>& right);
ZARVO_EXPORT std::string operator/(const std::string& left, const basic_entry<char, '.'>& right);
ZARVO_EXPORT std::string operator/(const basic_path<char, '.'>& left, const std::string& right);
// Literal operands would otherwise convert both ways and be ambiguous.
ZARVO_EXPORT std::string operator/(const char* left, const basic_entry<char, '.'>& right);
ZARVO_EXPORT std::string operator/(const basic_path<char, '.'>& left, const char* right);

} // namespace zarvo
