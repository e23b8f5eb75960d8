#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zarvo::emulator {

// A path as the device accepts it: absolute, every component non-empty and
// neither "." nor "..", no NUL. Names are otherwise any bytes. A trailing "/"
// asks for the directory form (listing, creating) and is kept as a flag.
struct device_path {
    std::vector<std::string> components;
    bool directory_form = false;

    bool is_root() const { return components.empty(); }
    // "/" or "/a/b", without the trailing "/".
    std::string text() const;
    // The parent; the root's parent is the root.
    device_path parent() const;
    const std::string& name() const { return components.back(); }
};

// nullopt for a path the device refuses with invalid_parameter.
std::optional<device_path> parse_device_path(const std::string& text);

} // namespace zarvo::emulator
