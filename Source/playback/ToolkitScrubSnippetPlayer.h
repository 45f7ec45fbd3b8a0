#pragma once
// The scrubber's snippet player over the audio toolkit: a small engine of its own playing the entry's
// file through a variable-speed unit, so rate changes pitch with it. Main thread only.

#include "RozezEru/Internals/HasAudioEngine.h"
#include "Source/views/Scrubber.h"

#include <memory>
#include <string>

namespace platform {
class AudioDevice;
class Url;
} // namespace platform

namespace rozezeru {
class AudioEngine;
class AudioPlayer;
class VariSpeed;
} // namespace rozezeru

namespace vantle {

class ToolkitScrubSnippetPlayer final : public ScrubSnippetPlayer, public rozezeru::HasAudioEngine {
public:
    // A file that cannot be opened gives a silent player. `device` null: the default output device
    // (the null device when there is no sound card). Nothing is opened until the first play (or a
    // call of engine() or hasSound()): the main view makes one for every entry it loads, and most
    // entries are never scrubbed. The engine starts at the first play.
    explicit ToolkitScrubSnippetPlayer(const platform::Url& url);
    ToolkitScrubSnippetPlayer(const platform::Url& url, std::unique_ptr<platform::AudioDevice> device);
    ~ToolkitScrubSnippetPlayer() override;
    ToolkitScrubSnippetPlayer(const ToolkitScrubSnippetPlayer&) = delete;
    ToolkitScrubSnippetPlayer& operator=(const ToolkitScrubSnippetPlayer&) = delete;

    // Seconds of the file; a playing player goes on from there at once.
    void setCurrentTime(double seconds) override;
    void setVolume(float volume) override;
    void setEnableRate(bool enabled) override;
    void setRate(float rate) override;
    void play() override;
    void pause() override;

    bool hasSound();
    bool isPlaying() const;
    // The position the next play starts from while not playing.
    double currentTime() const { return currentTime_; }
    float volume() const { return volume_; }
    // The rate that sounds: the set rate while rate is enabled, else 1.
    float effectiveRate() const;

    rozezeru::AudioEngine& engine() override;

private:
    // Opens the device, the engine and the file once.
    void load();
    void applyRate();
    void applyVolume();

    std::string path_;
    std::unique_ptr<platform::AudioDevice> device_;
    std::unique_ptr<rozezeru::AudioEngine> engine_;
    std::shared_ptr<rozezeru::AudioPlayer> avplayer_;
    std::shared_ptr<rozezeru::VariSpeed> variSpeed_;
    double currentTime_ = 0.0;
    float volume_ = 1.0f;
    bool enableRate_ = false;
    float rate_ = 1.0f;
};

} // namespace vantle
