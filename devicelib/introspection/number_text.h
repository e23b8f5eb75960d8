#pragma once

#include <string>

// Numbers as the introspection errors show and read them: always in the
// classic form (a point before the decimals, no digit grouping), whatever C
// or C++ locale the host program has set. Internal to the library.
namespace zarvo::introspection::detail {

// Integers in plain decimal; float with 9 and double with 17 significant
// digits in the "%g" style; "nan" and "inf", signed when the sign bit is set.
std::string to_text(int value);
std::string to_text(long long value);
std::string to_text(unsigned int value);
std::string to_text(unsigned long long value);
std::string to_text(float value);
std::string to_text(double value);

// Reads the whole text as a T (one optional leading '+', no blanks, nothing
// left over, no negative text for unsigned T, nothing out of T's range).
// Leaves value alone and returns false when the text is not such a number.
template <typename T>
bool from_text(const std::string& text, T& value);

extern template bool from_text<int>(const std::string&, int&);
extern template bool from_text<long long>(const std::string&, long long&);
extern template bool from_text<unsigned int>(const std::string&, unsigned int&);
extern template bool from_text<unsigned long long>(const std::string&, unsigned long long&);
extern template bool from_text<float>(const std::string&, float&);
extern template bool from_text<double>(const std::string&, double&);

} // namespace zarvo::introspection::detail
