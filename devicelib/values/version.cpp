#include "devicelib/values/version.h"

#include "devicelib/trace/trace.h"

#include <boost/lexical_cast.hpp>
#include <boost/regex.hpp>

#include <tuple>

namespace zarvo {

namespace {

// Compiled once, on first use; function-local statics are thread-safe.
const boost::regex& version_pattern()
{
    static const boost::regex pattern(
        "^(0|[1-9][0-9]*)(\\.(0|[1-9][0-9]*))?(\\.(0|[1-9][0-9]*))?(-.+)?$", boost::regex::perl);
    return pattern;
}

constexpr std::uint32_t undefined_number = version::undefined();

} // namespace

version::version()
    : version(undefined_number, undefined_number, undefined_number)
{
}

version::version(unsigned int major)
    : version(major, undefined_number, undefined_number)
{
}

version::version(unsigned int major, unsigned int minor)
    : version(major, minor, undefined_number)
{
}

version::version(unsigned int major, unsigned int minor, unsigned int patch)
    : major_(major)
    , minor_(minor)
    , patch_(patch)
{
}

version::version(unsigned int major, unsigned int minor, unsigned int patch,
                 const std::string& specifier)
    : major_(major)
    , minor_(minor)
    , patch_(patch)
    , specifier_(specifier)
{
}

version::version(const char* text)
    : version()
{
    if (text)
        parse(text);
}

version::version(const std::string& text)
    : version()
{
    parse(text.c_str()); // up to the first NUL
}

void version::parse(const std::string& text)
{
    boost::smatch m;
    if (!boost::regex_match(text, m, version_pattern()))
        return;
    try {
        // Numbers are stored as they convert; a failure keeps the earlier ones.
        major_ = boost::lexical_cast<std::uint32_t>(m.str(1));
        if (m.length(3) > 0) {
            minor_ = boost::lexical_cast<std::uint32_t>(m.str(3));
            if (m.length(5) > 0)
                patch_ = boost::lexical_cast<std::uint32_t>(m.str(5));
        }
        if (m.length(6) > 0)
            specifier_ = m.str(6).substr(1);
    } catch (const boost::bad_lexical_cast& e) {
        ZARVO_TRACE("zarvo::version::version", "Failed to parse version string: %s", e.what());
    }
}

const version& version::uninitialized()
{
    static const version value;
    return value;
}

int version::type() const
{
    const bool has_major = major_ != undefined_number;
    const bool has_minor = minor_ != undefined_number;
    const bool has_patch = patch_ != undefined_number;
    if (!has_major && !has_minor && !has_patch)
        return type_empty;
    if (has_major && has_minor && has_patch)
        return type_full;
    if (has_major && has_minor)
        return type_branch;
    if (major_ == 0 && !has_minor && !has_patch)
        return type_latest;
    return type_obscure;
}

bool version::is_empty() const
{
    return type() == type_empty;
}

bool version::is_stable() const
{
    return !is_empty();
}

bool version::is_branch() const
{
    return type() == type_branch;
}

bool version::is_latest() const
{
    return type() == type_latest;
}

bool version::is_rational() const
{
    return type() != type_obscure;
}

bool version::is_obscure() const
{
    return !is_rational();
}

bool version::is_uninitialized() const
{
    return is_empty() && specifier_.empty();
}

bool version::operator==(const version& other) const
{
    return major_ == other.major_ && minor_ == other.minor_ && patch_ == other.patch_;
}

bool version::operator!=(const version& other) const
{
    return !(*this == other);
}

bool version::operator<(const version& other) const
{
    return std::tie(major_, minor_, patch_) < std::tie(other.major_, other.minor_, other.patch_);
}

bool version::operator>(const version& other) const
{
    return other < *this;
}

bool version::operator<=(const version& other) const
{
    return *this < other || *this == other;
}

bool version::operator>=(const version& other) const
{
    return *this > other || *this == other;
}

bool version::match(const version& other) const
{
    return *this == other && specifier_ == other.specifier_;
}

std::string version::string() const
{
    if (major_ == undefined_number)
        return std::string();
    std::string text = std::to_string(major_);
    if (minor_ != undefined_number) {
        text += '.';
        text += std::to_string(minor_);
        if (patch_ != undefined_number) {
            text += '.';
            text += std::to_string(patch_);
        }
    }
    if (!specifier_.empty()) {
        text += '-';
        text += specifier_;
    }
    return text;
}

} // namespace zarvo
