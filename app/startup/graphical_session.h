#pragma once

#include <string>

namespace ConnectGlobals {

// Why the program could not show its windows, judged from its arguments and
// environment before the application object exists: Qt ends the process
// with an abort when its platform plugin finds no display. Empty when there
// is a display (an X display that opens, or a Wayland one named), or when
// the platform asked for needs none (offscreen, for example).
std::string missingDisplay(int argc, char** argv);

} // namespace ConnectGlobals
