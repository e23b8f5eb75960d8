#include "devicelib/core/user_number.h"

#include <boost/lexical_cast.hpp>

#include <cstdint>
#include <limits>
#include <typeinfo>

namespace zarvo::core {

bool parse_user_number(const std::string& name, unsigned& user)
{
    if (name.empty() || name.size() > 10 || (name.size() > 1 && name[0] == '0'))
        return false;
    std::uint64_t value = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > std::numeric_limits<unsigned>::max())
        return false;
    user = static_cast<unsigned>(value);
    return true;
}

const char* user_number_error()
{
    // The conversion's own error text, as a failed lexical cast reports it.
    static const boost::bad_lexical_cast error(typeid(std::string), typeid(unsigned));
    return error.what();
}

} // namespace zarvo::core
