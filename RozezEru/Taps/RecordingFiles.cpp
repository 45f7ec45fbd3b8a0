#include "RozezEru/Taps/RecordingFiles.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Taps/NodeRecorder.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <vector>

namespace rozezeru {

namespace {

constexpr int lastRecordingSuffix = 10000;

struct RecordingList {
    std::mutex mutex;
    std::vector<std::string> paths;
};

RecordingList& recordingList() {
    static RecordingList list;
    return list;
}

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

std::string NodeRecorder::timestampString(const platform::Clock& clock) {
    const double seconds = clock.now().timeIntervalSince1970();
    const double whole = std::floor(seconds);
    const auto since1970 = time_t(whole);
    std::tm parts{};
    ::localtime_r(&since1970, &parts);
    // Four digits of the fraction, cut rather than rounded so that a time never reads as the next
    // second; the half microsecond absorbs what the double lost of a fraction such as .1234.
    const int fraction = std::min(9999, int((seconds - whole) * 10000.0 + 0.005));
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d-%02d-%02d.%04d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, fraction);
    return text;
}

std::unique_ptr<platform::AudioFile> NodeRecorder::createAudioFile(const std::string& fileDirectoryURL,
                                                                   const platform::Clock& clock) {
    const std::string stem = timestampString(clock);
    platform::AudioFileSettings settings = platform::AudioFileSettings::forFormat(Settings::audioFormat());
    settings.linearPCMIsNonInterleaved = false;
    auto file = createRecordingFile(fileDirectoryURL, stem, "caf", settings);
    // The name actually made: a taken one gets " 2", " 3" ….
    Log(LogSite("createAudioFile(fileDirectoryURL:)"), "Creating temp file at",
        file.ok() ? file.value()->path()
                  : (std::filesystem::path(fileDirectoryURL) / (stem + ".caf")).string());
    if (!file.ok()) return nullptr;
    RecordingList& list = recordingList();
    std::lock_guard lock(list.mutex);
    list.paths.push_back(file.value()->path());
    return std::move(file.value());
}

std::vector<std::string> NodeRecorder::temporaryFileURLs() {
    RecordingList& list = recordingList();
    std::lock_guard lock(list.mutex);
    return list.paths;
}

void NodeRecorder::removeRecordedFiles() {
    removeRecordedFiles(temporaryFileURLs());
}

void NodeRecorder::removeRecordedFiles(const std::vector<std::string>& own) {
    {
        RecordingList& list = recordingList();
        std::lock_guard lock(list.mutex);
        std::erase_if(list.paths, [&](const std::string& path) {
            return std::find(own.begin(), own.end(), path) != own.end();
        });
    }
    for (const std::string& path : own) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        Log(LogSite("removeRecordedFiles()"), "𝗫 Deleted tmp file at", path);
    }
}

} // namespace rozezeru
