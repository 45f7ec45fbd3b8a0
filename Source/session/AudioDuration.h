#pragma once
// The length of an audio file in seconds, as an entry measures it. Any thread.

#include "platform/foundation/Url.h"

#include <optional>

namespace vantle {

// Frames divided by the sample rate; nothing when the file cannot be opened as audio.
std::optional<double> audioFileDuration(const platform::Url& url);

} // namespace vantle
