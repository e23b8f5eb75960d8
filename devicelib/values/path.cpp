#include "devicelib/values/path.h"

namespace zarvo {

namespace {
template <typename CharT>
std::basic_string<CharT> text_or_empty(const CharT* text)
{
    return text ? std::basic_string<CharT>(text) : std::basic_string<CharT>();
}
} // namespace

// basic_path

template <typename CharT, CharT D>
basic_path<CharT, D>::basic_path() = default;

template <typename CharT, CharT D>
basic_path<CharT, D>::basic_path(const basic_path& other) = default;

template <typename CharT, CharT D>
basic_path<CharT, D>::basic_path(const string_type& text)
    : text_(text)
{
}

template <typename CharT, CharT D>
basic_path<CharT, D>::basic_path(const CharT* text)
    : text_(text_or_empty(text))
{
}

template <typename CharT, CharT D>
basic_path<CharT, D>& basic_path<CharT, D>::operator=(const basic_path& other) = default;

template <typename CharT, CharT D>
basic_path<CharT, D>::~basic_path() = default;

template <typename CharT, CharT D>
bool basic_path<CharT, D>::is_root() const
{
    return text_.size() == 1 && text_[0] == D;
}

template <typename CharT, CharT D>
bool basic_path<CharT, D>::has_parent() const
{
    return !text_.empty() && !is_root();
}

template <typename CharT, CharT D>
bool basic_path<CharT, D>::is_absolute() const
{
    return !text_.empty() && text_[0] == D;
}

template <typename CharT, CharT D>
bool basic_path<CharT, D>::is_relative() const
{
    return !is_absolute();
}

template <typename CharT, CharT D>
bool basic_path<CharT, D>::is_entry() const
{
    return !text_.empty() && text_.find(D) == string_type::npos;
}

template <typename CharT, CharT D>
basic_path<CharT, D> basic_path<CharT, D>::parent() const
{
    const typename string_type::size_type k = text_.rfind(D);
    if (k == string_type::npos)
        return basic_path();
    if (k == 0)
        return basic_path(string_type(1, D));
    return basic_path(text_.substr(0, k));
}

template <typename CharT, CharT D>
basic_entry<CharT, D> basic_path<CharT, D>::basename() const
{
    return basic_entry<CharT, D>(text_);
}

template <typename CharT, CharT D>
basic_path<CharT, D>& basic_path<CharT, D>::operator/=(const string_type& text)
{
    if (text.empty())
        return *this;
    if (text[0] != D && !text_.empty() && text_.back() != D)
        text_ += D;
    text_ += text;
    return *this;
}

template <typename CharT, CharT D>
basic_path<CharT, D>& basic_path<CharT, D>::operator/=(const CharT* text)
{
    return *this /= text_or_empty(text);
}

template <typename CharT, CharT D>
basic_path<CharT, D>& basic_path<CharT, D>::operator/=(const basic_path& other)
{
    return *this /= other.text_;
}

template <typename CharT, CharT D>
basic_path<CharT, D>& basic_path<CharT, D>::operator/=(const basic_entry<CharT, D>& entry)
{
    // An entry never holds the delimiter, so only this side is looked at.
    const string_type& text = entry.name();
    if (text.empty())
        return *this;
    if (!text_.empty() && text_.back() != D)
        text_ += D;
    text_ += text;
    return *this;
}

// basic_entry

template <typename CharT, CharT D>
basic_entry<CharT, D>::basic_entry() = default;

template <typename CharT, CharT D>
basic_entry<CharT, D>::basic_entry(const basic_entry& other) = default;

template <typename CharT, CharT D>
basic_entry<CharT, D>::basic_entry(const string_type& text)
{
    const typename string_type::size_type k = text.rfind(D);
    text_ = k == string_type::npos ? text : text.substr(k + 1);
}

template <typename CharT, CharT D>
basic_entry<CharT, D>::basic_entry(const CharT* text)
    : basic_entry(text_or_empty(text))
{
}

template <typename CharT, CharT D>
basic_entry<CharT, D>& basic_entry<CharT, D>::operator=(const basic_entry& other) = default;

template <typename CharT, CharT D>
basic_entry<CharT, D>::~basic_entry() = default;

template class basic_path<char, '/'>;
template class basic_path<char, '.'>;
template class basic_entry<char, '/'>;
template class basic_entry<char, '.'>;

// path

path::path() = default;
path::path(const std::string& text)
    : base_type(text)
{
}
path::path(const char* text)
    : base_type(text)
{
}
path::path(const path& other) = default;
path::path(const base_type& other)
    : base_type(other)
{
}
path& path::operator=(const path& other) = default;
path& path::operator=(const base_type& other)
{
    base_type::operator=(other);
    return *this;
}
path::~path() = default;

path& path::operator/=(const base_type& other)
{
    base_type::operator/=(other);
    return *this;
}

path& path::operator/=(const std::string& text)
{
    base_type::operator/=(text);
    return *this;
}

path& path::operator/=(const char* text)
{
    base_type::operator/=(text);
    return *this;
}

path& path::operator/=(const basic_entry<char, '/'>& entry)
{
    base_type::operator/=(entry);
    return *this;
}

std::string& path::normalize(std::string& text)
{
    if (text.empty())
        return text;
    std::string out;
    out.reserve(text.size() + 1);
    bool first = true;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find('/', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string::size_type length = end - start;
        const bool dot = length == 1 && text[start] == '.';
        if (length > 0 && (!dot || first)) {
            // Only a leading "." stays, and it stays relative.
            if (!(dot && first))
                out += '/';
            out.append(text, start, length);
            first = false;
        }
        start = end + 1;
    }
    text = out.empty() ? std::string(1, '/') : out;
    return text;
}

std::string path::normalize(const std::string& text)
{
    std::string copy = text;
    return normalize(copy);
}

path& path::normalize(path& p)
{
    normalize(p.text_);
    return p;
}

path::base_type path::normalize(const base_type& p)
{
    return base_type(normalize(p.name()));
}

// entry

entry::entry() = default;
entry::entry(const entry& other) = default;

entry::entry(const base_type& name)
    : base_type(name)
{
}

entry::entry(type_t type, const base_type& name)
    : base_type(name)
    , type_(type)
{
}

entry::entry(type_t type, const base_type& name, std::uint64_t size)
    : base_type(name)
    , type_(type)
    , size_(size)
{
}

entry::entry(type_t type, const base_type& name, std::uint64_t size, std::int64_t modified)
    : base_type(name)
    , type_(type)
    , size_(size)
    , modified_(modified)
{
}

entry::entry(type_t type, const base_type& name, std::uint64_t size, std::int64_t created,
             std::int64_t touched, std::int64_t modified)
    : base_type(name)
    , type_(type)
    , size_(size)
    , modified_(modified)
    , touched_(touched)
    , created_(created)
{
}

entry& entry::operator=(const entry& other) = default;

entry& entry::operator=(const base_type& name)
{
    base_type::operator=(name);
    type_ = none;
    size_ = 0;
    modified_ = 0;
    touched_ = 0;
    created_ = 0;
    return *this;
}

entry::~entry() = default;

} // namespace zarvo
