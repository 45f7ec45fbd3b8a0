#pragma once
// Test help for the format converter and the audio-file helpers: fixtures written with libsndfile
// and the platform's AAC writer, a conversion run to its report, and what a folder holds afterwards.

#include "RozezEru/AudioFiles/FormatConverter/FormatConverter.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

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

// Through the platform's own AAC writer.
inline std::string writeM4a(const std::string& path, std::size_t frames, std::uint32_t channels = 2,
                            double rate = 44100.0) {
    platform::AudioFileSettings settings;
    settings.formatID = platform::audioFormatID::mpeg4AAC;
    settings.sampleRate = rate;
    settings.numberOfChannels = channels;
    auto file = platform::AudioFile::openForWriting(path, settings);
    EXPECT_TRUE(file.ok()) << path;
    const auto data = toneChannels(frames, channels, rate);
    auto buffer =
        platform::PcmBuffer::make(*platform::AudioFormat::standard(rate, channels), std::uint32_t(frames));
    for (std::uint32_t c = 0; c < channels; ++c)
        std::copy(data[c].begin(), data[c].end(), buffer->channel(c));
    buffer->setFrameLength(std::uint32_t(frames));
    EXPECT_TRUE(file.value()->write(*buffer).ok());
    EXPECT_TRUE(file.value()->close().ok());
    return path;
}

// The whole file, one vector per channel; empty when it cannot be read.
inline Channels readAll(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    if (!file) return {};
    auto buffer =
        platform::PcmBuffer::make(file.value()->processingFormat(), std::uint32_t(file.value()->length()));
    if (!buffer || !file.value()->read(*buffer)) return {};
    Channels out;
    for (std::uint32_t c = 0; c < buffer->format().channelCount(); ++c)
        out.emplace_back(buffer->channel(c), buffer->channel(c) + buffer->frameLength());
    return out;
}

inline platform::AudioStreamDescription formatOf(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    return file ? file.value()->fileFormat() : platform::AudioStreamDescription{};
}

// Every entry of the folder, hidden ones included.
inline std::set<std::string> entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Runs the converter's start() to its one report (from whichever thread it comes).
inline std::optional<platform::Error>
runToReport(const std::shared_ptr<rozezeru::FormatConverter>& converter) {
    auto reported = std::make_shared<std::promise<std::optional<platform::Error>>>();
    auto future = reported->get_future();
    converter->start([reported](const std::optional<platform::Error>& error) { reported->set_value(error); });
    if (future.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "the conversion never reported";
        return platform::Error::make("test", "no report");
    }
    return future.get();
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
