#pragma once
// An evening's change of singers rendered offline through the application's player: a song whose music
// stops two seconds in and whose file runs on silent, the break music fading in, the host starting the
// next singer, that song. The clock of the break rules is the rendered time, so the figures are exact
// whatever the machine. Shared by the rendered-output test and the benchmark. Main thread.

#include "RozezEru/Internals/AudioEngine.h"
#include "Source/karaoke/SongTail.h"
#include "Source/playback/BetweenSingers.h"
#include "Source/playback/PlayerRZ.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/MainQueue.h"
#include "tests/support/Clocks.h"
#include "tests/support/HeldQueue.h"
#include "tests/support/ToneFiles.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

struct BetweenSingersTimes {
    // Seconds of rendered output.
    double songMusicEnds = 0;  // the first singer's music stops (its file runs on)
    double hostStarts = 0;     // the host's "start next singer"
    double nextSongStarts = 0; // the next song's first sound, as rendered
    // The longest stretches under −20 dBFS after the music's end and after the host's start.
    double silenceAfterEnd = 0;
    double silenceAfterStart = 0;
    // The break track's place when it was paused, and when the next break took it up.
    double breakPausedAt = 0;
    double breakResumedAt = 0;
};

class BetweenSingersRig {
public:
    static constexpr double rate = 44100.0;
    static constexpr std::uint32_t cycle = 512;
    static constexpr double songHz = 440.0, breakHz = 330.0, nextHz = 550.0;
    static constexpr double musicSeconds = 2.0, silentTailSeconds = 6.0;

    // Writes the songs and the break track into `folder`.
    explicit BetweenSingersRig(const std::string& folder)
        : song_(folder + "/first singer.wav"), next_(folder + "/second singer.wav"),
          break_(folder + "/break.wav") {
        const auto frames = [](double seconds) { return std::size_t(std::llround(seconds * rate)); };
        std::vector<float> song = sine(frames(musicSeconds), songHz, rate, 0.5);
        song.resize(frames(musicSeconds + silentTailSeconds), 0.0f);
        std::vector<float> next = sine(frames(3.0), nextHz, rate, 0.5);
        next.resize(frames(5.0), 0.0f);
        ok_ = writeWithSndfile(song_, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {song, song}, int(rate)) &&
              writeWithSndfile(next_, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {next, next}, int(rate)) &&
              writeSineFile(break_, 120.0, breakHz, 0.5);
    }
    bool written() const { return ok_; }

    // One evening: the first song, its break, the host's start after `breakSeconds` of break, the next
    // song, and its own break; without `music`, no break music. The left channel of the output in `out`.
    BetweenSingersTimes run(double breakSeconds, std::vector<float>* out = nullptr, bool music = true) {
        platform::mainQueue().bindToCurrentThread();
        vantle::PlayerRZ player(std::make_unique<platform::NullAudioDevice>());
        (void)player.engine().startTest(0.0);
        player.setVolume(1.0f);
        FakeClock clock;
        // The break's tracks open between two cycles, as on a disk that answers at once.
        HeldQueue opener;
        vantle::BetweenSingers between(player, clock,
                                       {[&] {
                                            player.play();
                                            between_->songStarted();
                                        },
                                        [&] { player.stop(); }},
                                       &opener);
        between_ = &between;
        if (music) between.setTracks({break_});
        auto buffer = platform::PcmBuffer::make(player.engine().avEngine().manualRenderingFormat(), cycle);
        std::vector<float> left;
        auto render = [&](double until) {
            while (double(left.size()) / rate < until) {
                const auto status = player.engine().avEngine().renderOffline(cycle, *buffer);
                if (!status || *status != platform::ManualRenderingStatus::success) return;
                left.insert(left.end(), buffer->channel(0), buffer->channel(0) + buffer->frameLength());
                clock.advance(cycle / rate);
                while (opener.runNext()) {
                }
                platform::mainQueue().drain();
                between.tick();
            }
        };
        auto load = [&](const std::string& path) {
            player.setEntry(vantle::PlaylistEntry::make(platform::Url::fileURLWithPath(path)));
            between.rules().setSongAudioEnd(vantle::SongTail::audioEnd(path));
        };

        BetweenSingersTimes times;
        load(song_);
        player.play();
        between.songStarted();
        times.songMusicEnds = musicSeconds;
        render(musicSeconds + vantle::SongTail::windowSeconds + breakSeconds);
        // The first song ended early (its audio was over): the next is loaded, as the song's end does.
        load(next_);
        times.hostStarts = double(left.size()) / rate;
        between.startNext();
        render(times.hostStarts + between.rules().fadeOutSeconds() + 0.5);
        times.breakPausedAt = between.music()->trackTime();
        // The next song's music (3 s) ends and the break takes up where it stopped.
        render(times.hostStarts + between.rules().fadeOutSeconds() + 3.0 + 1.5);
        times.breakResumedAt = between.music()->trackTime();

        times.silenceAfterEnd = longestQuiet(left, times.songMusicEnds, times.hostStarts);
        times.nextSongStarts = firstLoud(left, times.hostStarts + between.rules().fadeOutSeconds() - 0.2);
        times.silenceAfterStart = longestQuiet(left, times.hostStarts, times.nextSongStarts + 0.5);
        between_ = nullptr;
        if (out) *out = std::move(left);
        return times;
    }

    // Peaks of 10 ms windows under −20 dBFS in a row, the longest in [from, to) seconds.
    static double longestQuiet(const std::vector<float>& samples, double from, double to) {
        const std::size_t window = std::size_t(rate / 100);
        std::size_t run = 0, longest = 0;
        for (std::size_t at = std::size_t(from * rate);
             at + window <= std::min(samples.size(), std::size_t(to * rate)); at += window) {
            const float peak =
                *std::max_element(samples.begin() + long(at), samples.begin() + long(at + window),
                                  [](float a, float b) { return std::abs(a) < std::abs(b); });
            run = std::abs(peak) < 0.1f ? run + window : 0;
            longest = std::max(longest, run);
        }
        return double(longest) / rate;
    }
    // The first sample at −20 dBFS or above from `from` seconds.
    static double firstLoud(const std::vector<float>& samples, double from) {
        for (std::size_t at = std::size_t(std::max(0.0, from) * rate); at < samples.size(); ++at)
            if (std::abs(samples[at]) >= 0.1f) return double(at) / rate;
        return double(samples.size()) / rate;
    }

private:
    std::string song_, next_, break_;
    bool ok_ = false;
    vantle::BetweenSingers* between_ = nullptr;
};

} // namespace testsupport
