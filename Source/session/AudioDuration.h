#pragma once
// The length of an audio file in seconds, as an entry measures it. Any thread.

#include "platform/foundation/Url.h"

#include <optional>
#include <string>

namespace vantle {

struct AudioFileLength {
    double seconds = 0;
    // False while the file holds less than its header states (still being written), or while its length
    // is an estimate (an MP3 whose header states less than the file holds): a later look may find another.
    bool final = true;
    // Taken from the file's size and bit rate, not counted: reading or counting all of it tells the length.
    bool estimate = false;
    // The audio's name inside a song archive; empty for other files.
    std::string archiveMember{};
};

// Frames divided by the sample rate; nothing when the file cannot be opened as audio.
std::optional<AudioFileLength> audioFileLength(const platform::Url& url);

} // namespace vantle
