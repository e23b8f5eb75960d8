#pragma once

// Device paths and directory entries. basic_path keeps a delimited text
// exactly as given (only path::normalize changes it); basic_entry keeps one
// component. The '/' instance names files on a device; the '.' instance
// names message fields.
//
// Comparisons are byte-wise on unsigned bytes (std::string's own order), so
// "B" < "a" < "ab" and bytes from 0x80 sort after ASCII.

#include "devicelib/export.h"

#include <cstdint>
#include <string>

namespace zarvo {

template <typename CharT, CharT D>
class ZARVO_EXPORT basic_entry;

// The template itself carries the export attribute: GCC takes visibility from
// the first declaration of an instance, and the class body is instantiated
// by the derived classes below before any explicit instantiation is seen.
template <typename CharT, CharT D>
class ZARVO_EXPORT basic_path {
public:
    using string_type = std::basic_string<CharT>;

    basic_path();
    basic_path(const basic_path& other);
    basic_path(const string_type& text);
    basic_path(const CharT* text); // null counts as empty
    basic_path& operator=(const basic_path& other);
    virtual ~basic_path();

    const string_type& name() const { return text_; }
    operator const string_type&() const { return text_; }
    const CharT* c_str() const { return text_.c_str(); }
    bool empty() const { return text_.empty(); }
    static constexpr CharT delimiter() { return D; }

    bool is_root() const;
    bool has_parent() const;
    bool is_absolute() const;
    bool is_relative() const;
    // A single component: not empty, no delimiter.
    bool is_entry() const;

    // The text before the last delimiter; the root for "/x" and for the root
    // itself; empty when there is no delimiter.
    basic_path parent() const;
    // The text after the last delimiter.
    basic_entry<CharT, D> basename() const;

    // Appends with one delimiter between, unless either side already has it.
    basic_path& operator/=(const string_type& text);
    basic_path& operator/=(const CharT* text);
    basic_path& operator/=(const basic_path& other);
    basic_path& operator/=(const basic_entry<CharT, D>& entry);

    bool operator==(const basic_path& other) const { return text_ == other.text_; }
    bool operator!=(const basic_path& other) const { return text_ != other.text_; }
    bool operator<(const basic_path& other) const { return text_ < other.text_; }
    bool operator<=(const basic_path& other) const { return text_ <= other.text_; }
    bool operator>(const basic_path& other) const { return text_ > other.text_; }
    bool operator>=(const basic_path& other) const { return text_ >= other.text_; }

protected:
    string_type text_;
};

template <typename CharT, CharT D>
class ZARVO_EXPORT basic_entry {
public:
    using string_type = std::basic_string<CharT>;

    basic_entry();
    basic_entry(const basic_entry& other);
    // Keeps what follows the last delimiter: "dir/" gives an empty entry.
    basic_entry(const string_type& text);
    basic_entry(const CharT* text); // null counts as empty
    basic_entry& operator=(const basic_entry& other);
    virtual ~basic_entry();

    const string_type& name() const { return text_; }
    operator const string_type&() const { return text_; }
    const CharT* c_str() const { return text_.c_str(); }
    bool empty() const { return text_.empty(); }
    static constexpr CharT delimiter() { return D; }

    bool operator==(const basic_entry& other) const { return text_ == other.text_; }
    bool operator!=(const basic_entry& other) const { return text_ != other.text_; }
    bool operator<(const basic_entry& other) const { return text_ < other.text_; }
    bool operator<=(const basic_entry& other) const { return text_ <= other.text_; }
    bool operator>(const basic_entry& other) const { return text_ > other.text_; }
    bool operator>=(const basic_entry& other) const { return text_ >= other.text_; }

protected:
    string_type text_;
};

extern template class basic_path<char, '/'>;
extern template class basic_path<char, '.'>;
extern template class basic_entry<char, '/'>;
extern template class basic_entry<char, '.'>;

// A path on the device.
class ZARVO_EXPORT path : public basic_path<char, '/'> {
public:
    using base_type = basic_path<char, '/'>;

    path();
    path(const std::string& text);
    path(const char* text);
    path(const path& other);
    path(const base_type& other);
    path& operator=(const path& other);
    path& operator=(const base_type& other);
    ~path() override;

    path& operator/=(const base_type& other);
    path& operator/=(const std::string& text);
    path& operator/=(const char* text);
    path& operator/=(const basic_entry<char, '/'>& entry);

    // Drops empty and "." components and the trailing '/'. ".." is kept as
    // it is; a relative text comes out absolute unless it starts with ".".
    // An empty text stays empty; nothing left gives "/".
    static std::string& normalize(std::string& text);
    static std::string normalize(const std::string& text);
    static path& normalize(path& p);
    static base_type normalize(const base_type& p);
};

// One element of a device directory listing. Entries compare by name only,
// so a std::set<entry> holds one entry per name.
class ZARVO_EXPORT entry : public basic_entry<char, '/'> {
public:
    using base_type = basic_entry<char, '/'>;
    enum type_t : std::int32_t { none = 0, directory = 1, file = 2 };

    entry();
    entry(const entry& other);
    // The name may also be given as std::string or const char*; then only
    // the text after its last '/' is kept.
    entry(const base_type& name);
    entry(type_t type, const base_type& name);
    entry(type_t type, const base_type& name, std::uint64_t size);
    entry(type_t type, const base_type& name, std::uint64_t size, std::int64_t modified);
    // Note the order of the times.
    entry(type_t type, const base_type& name, std::uint64_t size, std::int64_t created,
          std::int64_t touched, std::int64_t modified);
    entry& operator=(const entry& other);
    // Takes the name; type, size and times are reset.
    entry& operator=(const base_type& name);
    ~entry() override;

    type_t type() const { return type_; }
    bool has_type() const { return type_ != none; }
    bool is_directory() const { return type_ == directory; }
    bool is_file() const { return type_ == file; }
    std::uint64_t size() const { return size_; }
    std::int64_t modified() const { return modified_; }
    std::int64_t touched() const { return touched_; }
    std::int64_t created() const { return created_; }

private:
    type_t type_ = none;
    std::uint64_t size_ = 0;
    std::int64_t modified_ = 0;
    std::int64_t touched_ = 0;
    std::int64_t created_ = 0;
};

} // namespace zarvo
