#include "RozezEru/Taps/RecordingFiles.h"

#include <filesystem>

namespace rozezeru {

namespace {

constexpr int lastRecordingSuffix = 10000;

} // namespace

platform::Result<std::unique_ptr<platform::AudioFile>>
createRecordingFile(const std::string& directory, const std::string& stem, const std::string& extension,
                    const platform::AudioFileSettings& settings) {
    const std::string dot = extension.empty() ? "" : "." + extension;
    for (int n = 1;; ++n) {
        const std::string name = n == 1 ? stem : stem + " " + std::to_string(n);
        auto file = platform::AudioFile::openForWriting(
            (std::filesystem::path(directory) / (name + dot)).string(), settings, recordingWriteOptions);
        if (file.ok() || file.error().code != int(platform::AudioFileError::alreadyExists) ||
            n == lastRecordingSuffix)
            return file;
    }
}

} // namespace rozezeru
