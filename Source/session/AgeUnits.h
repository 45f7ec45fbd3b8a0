#pragma once
// The age units of a session document: a setting the document only carries. Any thread.

#include <optional>
#include <string>
#include <type_traits>

namespace vantle {

enum class AgeUnits { months, weeks, days, hours };

// "months", "weeks", "days", "hours".
std::string rawValue(AgeUnits units);
// Nothing for any other text.
std::optional<AgeUnits> fromRawValue(std::type_identity<AgeUnits>, const std::string& text);

} // namespace vantle
