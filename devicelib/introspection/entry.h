#pragma once

#include "devicelib/export.h"
#include "devicelib/values/path.h"

#include <string>

namespace zarvo::introspection {

// One component of a field path: a field name, optionally with an element
// index in brackets ("values[3]"). Built from text, it keeps only what
// follows the last '.'.
class ZARVO_EXPORT entry : public zarvo::basic_entry<char, '.'> {
public:
    using base_type = zarvo::basic_entry<char, '.'>;

    entry();
    entry(const std::string& text);
    entry(const char* text);
    entry(const entry& other);
    entry(const base_type& other);
    // name + "[i]", of which again only what follows the last '.' is kept.
    entry(const std::string& name, unsigned int i);
    entry(const char* name, unsigned int i);
    entry(const base_type& name, unsigned int i);
    entry& operator=(const entry& other);
    entry& operator=(const base_type& other);
    ~entry() override;

    // True when the whole text is a name followed by a decimal index in
    // brackets, without sign or leading zeros ("0" alone is allowed).
    bool is_array() const;
    // The bracketed index, invalid_index() when the entry is no array
    // element. Throws boost::bad_lexical_cast for digits beyond 4294967295.
    unsigned int index() const;
    // The text before the last '[' (all of it when there is none).
    entry array() const;
    // array() with the index i.
    entry at(unsigned int i) const;
    entry operator[](unsigned int i) const;

    static unsigned int invalid_index();
};

} // namespace zarvo::introspection
