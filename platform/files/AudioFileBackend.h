#pragma once
// The interface AudioFile drives its libsndfile and FFmpeg back ends through (internal to
// platform_files). A back end keeps its own decode position; AudioFile seeks it only when the
// caller moved the frame position. Same threading as AudioFile.

#include "platform/files/AudioFileError.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Channel c of a block of frames lives at channels[c][i * stride].
struct ChannelPointers {
    float* const* channels;
    std::size_t stride;
};
struct ConstChannelPointers {
    const float* const* channels;
    std::size_t stride;
};

class AudioFileBackend {
public:
    virtual ~AudioFileBackend() = default;

    // What a back end found when it opened a file.
    struct Info {
        AudioStreamDescription fileFormat;
        std::int64_t length = 0;
        // The length is estimated, not counted: measureLength() counts it.
        bool lengthIsEstimate = false;
    };

    // Reads up to `frames` from the current position; fewer only at the end of the data.
    virtual Result<std::uint32_t> read(ChannelPointers into, std::uint32_t frames) {
        return Error::make(audioFileErrorDomain, "The file is not open for reading.",
                           int(AudioFileError::wrongMode));
    }
    virtual Result<void> write(ConstChannelPointers from, std::uint32_t frames) {
        return Error::make(audioFileErrorDomain, "The file is not open for writing.",
                           int(AudioFileError::wrongMode));
    }
    // Moves the position to `frame`, which lies within [0, length].
    virtual Result<void> seek(std::int64_t frame) = 0;
    // After a failed write: cuts the file back to its first `frames` frames, with a header that says
    // so, and leaves the position there. A back end that cannot fails.
    virtual Result<void> truncate(std::int64_t frames) {
        return Error::make(audioFileErrorDomain,
                           "The file cannot be cut back to " + std::to_string(frames) + " frames.",
                           int(AudioFileError::writeFailed));
    }
    virtual Result<void> close() { return {}; }
    // Counts the frames of a stream whose length was estimated, reading all of it.
    virtual Result<std::int64_t> measureLength() {
        return Error::make(audioFileErrorDomain, "The length of the file is known.",
                           int(AudioFileError::wrongMode));
    }
    // Whether moving to `frame` walks a long way through the file (a stream not yet counted).
    virtual bool seekWalks(std::int64_t frame) const { return false; }
};

// Builds the errors of the back ends: "<what> "<path>": <detail>".
inline Error audioFileError(AudioFileError code, const std::string& what, const std::string& path,
                            const std::string& detail = {}) {
    std::string message = what + " \"" + path + "\"";
    if (!detail.empty()) message += ": " + detail;
    message += ".";
    return Error::make(audioFileErrorDomain, std::move(message), int(code));
}

} // namespace platform
