#pragma once

// A version number of one to three parts with an optional specifier text,
// as devices report them ("1.2.3-beta"). A part that is not defined holds
// undefined() (0xFFFFFFFF).

#include "devicelib/export.h"

#include <cstdint>
#include <string>

// glibc's <sys/sysmacros.h> (pulled in by <libudev.h>, among others) defines
// function-like macros major() and minor() that would silently rename the
// accessors below. Code that needs those macros keeps apart from this header.
#undef major
#undef minor

namespace zarvo {

class ZARVO_EXPORT version {
public:
    // Shapes reported by type().
    static constexpr int type_empty = 0;                 // no number defined
    static constexpr int type_full = 1;                  // 1.2.3
    static constexpr int type_branch = 2;                // 1.2
    static constexpr int type_latest = 0x7FFFFFFF;       // 0
    static constexpr int type_obscure = -0x7FFFFFFF - 1; // 5, or gaps such as 1.?.3

    version();
    explicit version(unsigned int major);
    version(unsigned int major, unsigned int minor);
    version(unsigned int major, unsigned int minor, unsigned int patch);
    version(unsigned int major, unsigned int minor, unsigned int patch,
            const std::string& specifier);
    // Parses "<major>[.<minor>[.<patch>]][-<specifier>]", without leading
    // zeros or signs, up to the first NUL. A text that does not match leaves
    // the version undefined; this never throws for a bad text. A null
    // pointer counts as the empty text.
    explicit version(const char* text);
    explicit version(const std::string& text);

    unsigned int major() const { return major_; }
    unsigned int minor() const { return minor_; }
    unsigned int patch() const { return patch_; }
    void major(unsigned int value) { major_ = value; }
    void minor(unsigned int value) { minor_ = value; }
    void patch(unsigned int value) { patch_ = value; }
    const std::string& specifier() const { return specifier_; }
    void specifier(const std::string& value) { specifier_ = value; }

    static constexpr unsigned int undefined() { return 0xFFFFFFFFu; }
    // One shared version with nothing defined.
    static const version& uninitialized();

    int type() const;
    bool is_empty() const;         // no number defined (the specifier is not looked at)
    bool is_stable() const;        // at least one number defined
    bool is_branch() const;        // major and minor only
    bool is_latest() const;        // exactly "0"
    bool is_rational() const;      // empty, full, branch or latest
    bool is_obscure() const;       // anything else
    bool is_uninitialized() const; // nothing defined and no specifier

    // The numbers only; the specifier is not compared.
    bool operator==(const version& other) const;
    bool operator!=(const version& other) const;
    // Major, then minor, then patch, as unsigned numbers: an undefined number
    // sorts above every defined one.
    bool operator<(const version& other) const;
    bool operator>(const version& other) const;
    bool operator<=(const version& other) const;
    bool operator>=(const version& other) const;
    // The numbers and the specifier.
    bool match(const version& other) const;

    // "" when major is undefined; the patch is left out when minor is.
    std::string string() const;
    operator std::string() const { return string(); }

private:
    void parse(const std::string& text);

    std::uint32_t major_;
    std::uint32_t minor_;
    std::uint32_t patch_;
    std::string specifier_;
};

} // namespace zarvo
