#pragma once

#include "devicelib/export.h"

#include <string>

namespace zarvo::system {

// Whether the processor stores the least significant byte first.
ZARVO_EXPORT bool little_endian();
ZARVO_EXPORT bool big_endian();

// The calling thread's last operating-system error (errno).
ZARVO_EXPORT int last_error();

// Replaces text with the C library's English message for code, whatever the
// user's locale ("Unknown error N" for a code it does not know) and returns
// text. Never throws: on failure text is left unchanged.
ZARVO_EXPORT std::string& error_message(int code, std::string& text) noexcept;
// The same for last_error().
ZARVO_EXPORT std::string& error_message(std::string& text) noexcept;

} // namespace zarvo::system
