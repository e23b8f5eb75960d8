#include "tools/emulator/device_path.h"

namespace zarvo::emulator {

std::string device_path::text() const
{
    if (components.empty())
        return "/";
    std::string out;
    for (const auto& component : components)
        out += '/' + component;
    return out;
}

device_path device_path::parent() const
{
    device_path out;
    if (!components.empty())
        out.components.assign(components.begin(), components.end() - 1);
    out.directory_form = true;
    return out;
}

std::optional<device_path> parse_device_path(const std::string& text)
{
    if (text.empty() || text.front() != '/' || text.find('\0') != std::string::npos)
        return std::nullopt;
    device_path out;
    out.directory_form = text.back() == '/';
    if (text == "/")
        return out;
    // Between the leading and an optional trailing "/" every component must be
    // a real name: "//", "/a//b", "/./a" and "/a/.." are refused.
    const std::string body = text.substr(1, text.size() - 1 - (out.directory_form ? 1 : 0));
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = body.find('/', start);
        std::string component = body.substr(start, slash - start);
        if (component.empty() || component == "." || component == "..")
            return std::nullopt;
        out.components.push_back(std::move(component));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return out;
}

} // namespace zarvo::emulator
