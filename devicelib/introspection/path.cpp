#include "devicelib/introspection/path.h"

#include "devicelib/introspection/number_text.h"

namespace zarvo::introspection {

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
path::path(const std::string& text, unsigned int i)
    : base_type(text + "[" + detail::to_text(i) + "]")
{
}
path::path(const char* text, unsigned int i)
    : path(std::string(text), i)
{
}
path::path(const base_type& text, unsigned int i)
    : path(text.name(), i)
{
}
path::~path() = default;

path& path::operator=(const path& other) = default;

path& path::operator=(const base_type& other)
{
    base_type::operator=(other);
    return *this;
}

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

path& path::operator/=(const zarvo::basic_entry<char, '.'>& component)
{
    base_type::operator/=(component);
    return *this;
}

// The last component is the entry built from the whole text.
bool path::is_array() const
{
    return entry(name()).is_array();
}
unsigned int path::index() const
{
    return entry(name()).index();
}
path path::array() const
{
    return parent() / entry(name()).array();
}
path path::at(unsigned int i) const
{
    return path(array(), i);
}
path path::operator[](unsigned int i) const
{
    return at(i);
}
unsigned int path::invalid_index()
{
    return entry::invalid_index();
}

} // namespace zarvo::introspection

namespace zarvo {

namespace {

template <typename Right>
std::string joined(basic_path<char, '.'> left, const Right& right)
{
    left /= right;
    return left.name();
}

} // namespace

std::string operator/(const basic_path<char, '.'>& left, const basic_entry<char, '.'>& right)
{
    return joined(left, right);
}

std::string operator/(const std::string& left, const basic_entry<char, '.'>& right)
{
    return joined(basic_path<char, '.'>(left), right);
}

std::string operator/(const basic_path<char, '.'>& left, const std::string& right)
{
    return joined(left, right);
}

std::string operator/(const char* left, const basic_entry<char, '.'>& right)
{
    return joined(basic_path<char, '.'>(left), right);
}

std::string operator/(const basic_path<char, '.'>& left, const char* right)
{
    return joined(left, std::string(right));
}

} // namespace zarvo
