#include "devicelib/introspection/entry.h"

#include "devicelib/introspection/number_text.h"

#include <boost/lexical_cast.hpp>
#include <boost/regex.hpp>

namespace zarvo::introspection {

namespace {

// Compiled once; matching with a const expression is safe from any thread.
const boost::regex& array_expression()
{
    static const boost::regex expression("^.*\\[(0|[1-9][0-9]*)\\]$");
    return expression;
}

std::string indexed(const std::string& name, unsigned int i)
{
    return name + "[" + detail::to_text(i) + "]";
}

} // namespace

entry::entry() = default;
entry::entry(const std::string& text)
    : base_type(text)
{
}
entry::entry(const char* text)
    : base_type(text)
{
}
entry::entry(const entry& other) = default;
entry::entry(const base_type& other)
    : base_type(other)
{
}
entry::entry(const std::string& name, unsigned int i)
    : base_type(indexed(name, i))
{
}
entry::entry(const char* name, unsigned int i)
    : entry(std::string(name), i)
{
}
entry::entry(const base_type& name, unsigned int i)
    : entry(name.name(), i)
{
}
entry::~entry() = default;

entry& entry::operator=(const entry& other) = default;

entry& entry::operator=(const base_type& other)
{
    base_type::operator=(other);
    return *this;
}

bool entry::is_array() const
{
    return boost::regex_match(name(), array_expression());
}

unsigned int entry::index() const
{
    boost::smatch match;
    if (!boost::regex_match(name(), match, array_expression()))
        return invalid_index();
    return boost::lexical_cast<unsigned int>(match.str(1));
}

entry entry::array() const
{
    const std::string& text = name();
    return entry(text.substr(0, text.rfind('[')));
}

entry entry::at(unsigned int i) const
{
    return entry(array(), i);
}
entry entry::operator[](unsigned int i) const
{
    return at(i);
}

unsigned int entry::invalid_index()
{
    return 0xFFFFFFFFU;
}

} // namespace zarvo::introspection
