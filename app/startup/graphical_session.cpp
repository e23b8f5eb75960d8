#include "app/startup/graphical_session.h"

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include <xcb/xcb.h>

namespace ConnectGlobals {

namespace {

std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The value after "-name" or "--name" among the arguments, as Qt reads them.
std::string argumentValue(int argc, char** argv, const char* name)
{
    const std::string single = std::string("-") + name;
    const std::string twice = std::string("--") + name;
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == single || argv[i] == twice)
            return argv[i + 1];
    }
    return std::string();
}

// The platform plugins Qt tries in turn: "-platform", else QT_QPA_PLATFORM
// (a list separated by ';', each name possibly followed by ":options"), else
// the X one, or the Wayland one in a Wayland session.
std::vector<std::string> platformNames(int argc, char** argv)
{
    std::string asked = argumentValue(argc, argv, "platform");
    if (asked.empty())
        asked = environmentValue("QT_QPA_PLATFORM");
    if (asked.empty())
        return {"xcb", "wayland"};
    std::vector<std::string> names;
    std::istringstream list(asked);
    for (std::string entry; std::getline(list, entry, ';');) {
        if (!entry.empty())
            names.push_back(entry.substr(0, entry.find(':')));
    }
    return names;
}

bool xDisplayOpens(const std::string& name)
{
    xcb_connection_t* connection = xcb_connect(name.c_str(), nullptr);
    const bool opens = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opens;
}

} // namespace

std::string missingDisplay(int argc, char** argv)
{
    std::string display = argumentValue(argc, argv, "display");
    if (display.empty())
        display = environmentValue("DISPLAY");
    const std::string wayland = environmentValue("WAYLAND_DISPLAY");
    for (const std::string& name : platformNames(argc, argv)) {
        if (name == "xcb") {
            if (!display.empty() && xDisplayOpens(display))
                return std::string();
        } else if (name.rfind("wayland", 0) == 0) {
            if (!wayland.empty())
                return std::string();
        } else {
            // offscreen, minimal, vnc and the like bring their own screen.
            return std::string();
        }
    }
    if (display.empty() && wayland.empty())
        return "no display is named (DISPLAY and WAYLAND_DISPLAY are not set)";
    if (display.empty())
        return "no X display is named (DISPLAY is not set)";
    return "the display \"" + display + "\" cannot be opened";
}

} // namespace ConnectGlobals
