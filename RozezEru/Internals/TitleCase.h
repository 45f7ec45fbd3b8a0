#pragma once
// Display titles from identifiers in camel case. Any thread.

#include <string>
#include <string_view>

namespace rozezeru {

// A blank before every capital A to Z, white space trimmed at both ends, then each word
// (separated by white space) capitalised: first letter upper case, the rest lower case
// ("cutoffFrequency" → "Cutoff Frequency", "URL" → "U R L"). Only ASCII letters change case;
// other bytes, UTF-8 sequences included, stay as they are.
std::string titleCasedFromCamelCase(std::string_view text);

} // namespace rozezeru
