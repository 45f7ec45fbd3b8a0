#include "TempoAnalysis.h"

#include "Source/tempo/BarFinding.h"
#include "Source/tempo/BeatTracking.h"
#include "Source/tempo/OnsetEnvelope.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <cmath>

namespace vantle {

namespace {

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

double medianSpacing(const std::vector<double>& times) {
    std::vector<double> spacing;
    for (std::size_t i = 1; i < times.size(); ++i)
        spacing.push_back(times[i] - times[i - 1]);
    if (spacing.empty()) return 0;
    const auto middle = spacing.begin() + std::ptrdiff_t(spacing.size() / 2);
    std::nth_element(spacing.begin(), middle, spacing.end());
    return *middle;
}

// A sound with no beat: nothing repeats, and what the tracker found stands barely out of the rest (a held
// tone's flicker scores 0.29 and 1.9, the faintest piece of the tempo set 0.40 and 2.5).
constexpr double weakPulse = 0.35;
constexpr double faintBeats = 2.2;
// Without a dance's band, how the beats' halves decide between a level and its double (measured on the
// tempo set: see docs/performance.md).
constexpr double slowBeatBpm = 92;
constexpr double halvesAsStrong = 0.75;
constexpr double halvesOpen = 0.3;
constexpr double alternatesOpen = 0.5;
constexpr double halvesStruck = 0.25;
constexpr double bassOnOneSide = 0.3;
constexpr double doubleAsStrong = 0.8;

} // namespace

TempoAnalyser::TempoAnalyser(double sampleRate, std::optional<Dance> dance)
    : TempoAnalyser(sampleRate, defaultBand(dance.value_or(Dance::none))) {}

TempoAnalyser::TempoAnalyser(double sampleRate, const DanceBand& band)
    : band_(band.beatsPerBar > 0 && band.highBarsPerMinute > 0 ? std::optional(band) : std::nullopt),
      onsets_(std::make_unique<OnsetEnvelope>(sampleRate)),
      frameLimit_(std::size_t(longestSeconds * sampleRate)) {}

TempoAnalyser::~TempoAnalyser() = default;

void TempoAnalyser::addMono(const float* samples, std::size_t frames) {
    frames = std::min(frames, frameLimit_ - framesTaken_);
    onsets_->add(samples, frames);
    framesTaken_ += frames;
}

void TempoAnalyser::addChannels(const float* const* channels, unsigned channelCount, std::size_t frames) {
    if (channelCount == 1) return addMono(channels[0], frames);
    mixed_.assign(frames, 0.0f);
    for (unsigned channel = 0; channel < channelCount; ++channel) {
        for (std::size_t n = 0; n < frames; ++n)
            mixed_[n] += channels[channel][n];
    }
    const float scale = 1.0f / float(channelCount);
    for (float& sample : mixed_)
        sample *= scale;
    addMono(mixed_.data(), frames);
}

std::optional<SongTempo> TempoAnalyser::finish(const std::atomic<bool>* cancel) {
    const OnsetFrames& frames = onsets_->frames();
    const std::optional<DanceBand>& band = band_;
    SongTempo tempo;
    tempo.beatsPerBar = band ? band->beatsPerBar : 4;

    const std::vector<float> bass = normalisedOnsets(frames.bassFlux, frames.frameRate);
    std::vector<float> onsets = normalisedOnsets(frames.flux, frames.frameRate);
    // The bass and low drums carry the beat in most dance music: they count beside the whole band.
    for (std::size_t n = 0; n < onsets.size(); ++n)
        onsets[n] += 0.5f * bass[n];
    if (cancelled(cancel)) return std::nullopt;

    const std::vector<Pulse> pulses = pulsesOf(onsets, frames.frameRate);
    const BeatPeriod beat = chooseBeatPeriod(pulses, frames.frameRate, band);
    if (beat.period <= 0) return tempo;
    const auto track = [&](double period) {
        return steadyBeats(trackBeats(onsets, localPeriods(onsets, period, frames.frameRate)), onsets);
    };
    std::vector<double> beats = track(beat.period);
    if (cancelled(cancel)) return std::nullopt;
    if (beat.strength < weakPulse && beatProminence(beats, onsets) < faintBeats) return tempo;
    bool sure = beat.sure;
    if (!band) {
        // A slow beat whose halves sound as strongly as it does is the half of a fast one (a jive's, a
        // Viennese waltz's): counted at the fast beat, though the level stays open.
        const double halfway = halfwayRatio(beats, onsets);
        // So is a beat whose halves the band strikes and the bass only either on them or on the beats,
        // when its double repeats nearly as strongly and is some dance's beat (a quickstep's bass on 1 and
        // 3 of its bar, the snare on 2 and 4).
        const double bpm = 60 * frames.frameRate / beat.period;
        const bool slowHalf = bpm < slowBeatBpm && halfway > halvesAsStrong;
        const double bassHalfway = halfwayRatio(beats, bass);
        const bool bassAlternates = bassHalfway < bassOnOneSide || bassHalfway > 1 / bassOnOneSide;
        const bool backbeatHalf =
            halfway > halvesStruck && bassAlternates &&
            strengthAt(pulses, beat.period / 2) > doubleAsStrong * strengthAt(pulses, beat.period) &&
            isADanceBeat(2 * bpm);
        if (slowHalf || backbeatHalf) {
            beats = track(beat.period / 2);
            sure = false;
        }
        // Strong halves, or a weak every other beat, leave the level open; so does a tempo whose double
        // or half is some dance's beat (a quickstep without drums sounds at half its beat).
        sure = sure && halfway < halvesOpen && alternateRatio(beats, onsets) > alternatesOpen &&
               !doubleOrHalfIsADanceBeat(bpm);
    }
    if (beats.size() < 4) return tempo;

    const BarGrid bars =
        findBars(beats, frames, bass, onsets, band ? std::optional(band->beatsPerBar) : std::nullopt);
    // A beat found a hair before the file's start (the window reaches back) is at its start.
    for (const double beatFrame : beats)
        tempo.beats.push_back(std::max(0.0, frames.secondsOf(beatFrame)));
    for (const std::size_t index : bars.downbeats)
        tempo.downbeats.push_back(tempo.beats[index]);
    tempo.beatsPerBar = bars.beatsPerBar;
    tempo.bpm = 60.0 / medianSpacing(tempo.beats);
    tempo.sure = sure && bars.sure;
    return tempo;
}

SongTempo analyseTempo(const float* mono, std::size_t frames, double sampleRate, std::optional<Dance> dance) {
    TempoAnalyser analyser(sampleRate, dance);
    analyser.addMono(mono, frames);
    return *analyser.finish();
}

std::optional<SongTempo> analyseTempoFile(const std::string& path, const DanceBand& band,
                                          const std::atomic<bool>* cancel, std::string* whyNot) {
    const auto fail = [&](const std::string& reason) -> std::optional<SongTempo> {
        if (whyNot != nullptr) *whyNot = reason;
        return std::nullopt;
    };
    auto opened = platform::AudioFile::openForReading(path);
    if (!opened) return fail(opened.error().message);
    platform::AudioFile& file = **opened;
    const platform::AudioFormat& format = file.processingFormat();
    auto buffer = platform::PcmBuffer::make(format, 16384);
    TempoAnalyser analyser(format.sampleRate(), band);
    while (!analyser.full()) {
        if (cancelled(cancel)) return fail("cancelled");
        if (auto read = file.read(*buffer); !read) return fail(read.error().message);
        if (buffer->frameLength() == 0) break;
        analyser.addChannels(buffer->floatChannelData(), format.channelCount(), buffer->frameLength());
    }
    auto tempo = analyser.finish(cancel);
    if (!tempo) return fail("cancelled");
    return tempo;
}

std::optional<SongTempo> analyseTempoFile(const std::string& path, std::optional<Dance> dance,
                                          const std::atomic<bool>* cancel, std::string* whyNot) {
    return analyseTempoFile(path, defaultBand(dance.value_or(Dance::none)), cancel, whyNot);
}

} // namespace vantle
