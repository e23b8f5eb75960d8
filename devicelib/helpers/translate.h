#pragma once

#include "devicelib/export.h"

#include <string>

namespace zarvo::text {

// Each appends the characters of source, converted to the target's width, to
// the end of target and returns target. Multibyte text is read and written in
// the process's current locale (LC_CTYPE). An invalid or incomplete multibyte
// sequence, or a wide character the locale cannot represent, throws
// boost::archive::iterators::dataflow_exception (invalid_conversion); what was
// converted before it stays appended.
ZARVO_EXPORT std::string& translate(const std::string& source, std::string& target);
ZARVO_EXPORT std::wstring& translate(const std::wstring& source, std::wstring& target);
ZARVO_EXPORT std::string& translate(const std::wstring& source, std::string& target);
ZARVO_EXPORT std::wstring& translate(const std::string& source, std::wstring& target);

} // namespace zarvo::text
