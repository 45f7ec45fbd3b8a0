#pragma once
// Floating-point values as text, independent of the locale: the text a value gives when it is
// interpolated into a string, and parsing of decimal text. Any thread.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The shortest digits that read back to the same value. Fixed notation always has a decimal
// point ("2.0", "0.5", "48000.0"); magnitudes below 1e-4 or above 2^53 (2^24 for float) use
// exponent notation with a signed exponent of at least two digits ("1e-05", "1e+16").
// Special values read "nan", "inf", "-inf"; negative zero "-0.0".
std::string floatText(double value);
std::string floatText(float value);

// A decimal number ("2", "-0.5", "1e-05", "inf", "nan"), with leading and trailing white
// space and a leading "+" allowed; anything else left over makes the text invalid. Values
// beyond the range give infinity or zero.
std::optional<double> parseFloat(std::string_view text);

} // namespace platform
