#pragma once
// Test help for the format converter and the audio-file helpers: fixtures written with libsndfile
// and FFmpeg, a conversion run to its report, and what a folder holds afterwards.

#include "RozezEru/AudioFiles/AudioFileUtilities.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"

#include "tests/support/AudioFiles.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <set>
#include <string>

namespace convertertest {

using testsupport::Channels;
using Options = rozezeru::FormatConverter::Options;

inline platform::Url url(const std::string& path) {
    return platform::Url::fileURLWithPath(path, false);
}

// A tone of `hz` on every channel, scaled by channel number + 1, so that channels are told apart.
inline Channels toneChannels(std::size_t frames, std::uint32_t channels, double rate, double hz = 1000.0) {
    Channels data;
    for (std::uint32_t c = 0; c < channels; ++c)
        data.push_back(testsupport::sine(frames, hz, rate, 0.2 * (c + 1)));
    return data;
}

inline std::string writeTone(const std::string& path, int sndfileFormat, std::size_t frames,
                             std::uint32_t channels = 2, int rate = 44100) {
    EXPECT_TRUE(
        testsupport::writeWithSndfile(path, sndfileFormat, toneChannels(frames, channels, rate), rate))
        << path;
    return path;
}

inline std::string writeM4a(const std::string& path, std::size_t frames) {
    EXPECT_TRUE(testsupport::writeAac(path, toneChannels(frames, 2, 44100.0), 44100)) << path;
    return path;
}

// The whole file, one vector per channel; empty when it cannot be read.
inline Channels readAll(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    return file ? rozezeru::toFloatChannelData(*file.value()).value_or(Channels{}) : Channels{};
}

// The file's own format; an empty one when it cannot be read.
inline platform::AudioStreamDescription formatOf(const std::string& path) {
    return rozezeru::assetAudioFormat(url(path)).value_or(platform::AudioStreamDescription{});
}

inline std::string textOf(const std::string& path) {
    const auto bytes = platform::readFile(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

// Every entry of the folder, hidden ones included.
inline std::set<std::string> entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Runs `operation` to its one report through the handler it is given (from whichever thread it comes).
inline std::optional<platform::Error>
reportOf(const std::function<void(rozezeru::FormatConverter::CompletionHandler)>& operation) {
    auto reported = std::make_shared<std::promise<std::optional<platform::Error>>>();
    auto future = reported->get_future();
    operation([reported](const std::optional<platform::Error>& error) { reported->set_value(error); });
    if (future.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return future.get();
    ADD_FAILURE() << "no report";
    return platform::Error{};
}

inline std::optional<platform::Error>
runToReport(const std::shared_ptr<rozezeru::FormatConverter>& converter) {
    return reportOf([&](auto handler) { converter->start(handler); });
}

inline std::optional<platform::Error> convert(const std::string& input, const std::string& output,
                                              std::optional<Options> options = std::nullopt) {
    return runToReport(
        std::make_shared<rozezeru::FormatConverter>(url(input), url(output), std::move(options)));
}

// The message of a report; "" for success.
inline std::string messageOf(const std::optional<platform::Error>& error) {
    return error ? error->message : "";
}

} // namespace convertertest
