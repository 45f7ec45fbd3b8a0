#include "RozezEru/AudioFiles/AudioFileUtilities.h"

#include "platform/files/AudioFile.h"

namespace rozezeru {

double duration(const platform::AudioFile& file) {
    const double rate = file.fileFormat().sampleRate;
    return rate > 0.0 ? double(file.length()) / rate : 0.0;
}

} // namespace rozezeru
