#pragma once
// Finds a song's tempo, meter and beat grid in its audio. Takes seconds for a song: run it on a worker,
// never on the window's thread nor the render thread. Any such thread; nothing is shared between calls.

#include "Source/tempo/SongTempo.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

class OnsetEnvelope;

// Takes a song's audio in order, a piece at a time, so that a whole song never has to sit in memory,
// and answers its tempo once it has all of it. One thread at a time.
class TempoAnalyser {
public:
    // The dance, when known, decides between metrical levels and gives the meter, by its default band.
    TempoAnalyser(double sampleRate, std::optional<Dance> dance);
    // The same by a band as the teacher's dance table has it; a band of no meter is no dance.
    TempoAnalyser(double sampleRate, const DanceBand& band);
    ~TempoAnalyser();
    TempoAnalyser(const TempoAnalyser&) = delete;
    TempoAnalyser& operator=(const TempoAnalyser&) = delete;

    void addMono(const float* samples, std::size_t frames);
    // Channels one after the other (non-interleaved), mixed to mono.
    void addChannels(const float* const* channels, unsigned channelCount, std::size_t frames);
    // Audio past this is not analysed: it bounds what a file of any length costs.
    static constexpr double longestSeconds = 2 * 60 * 60;
    bool full() const { return framesTaken_ >= frameLimit_; }

    // The analysis of everything added; nothing when `cancel` became true on the way.
    std::optional<SongTempo> finish(const std::atomic<bool>* cancel = nullptr);

private:
    std::optional<DanceBand> band_;
    std::unique_ptr<OnsetEnvelope> onsets_;
    std::size_t framesTaken_ = 0;
    std::size_t frameLimit_ = 0;
    std::vector<float> mixed_;
};

// The tempo of a song given as mono samples. A song with no steady beat has no beats and is not sure.
SongTempo analyseTempo(const float* mono, std::size_t frames, double sampleRate, std::optional<Dance> dance);

// Decodes the file as the player does (any file it plays, a song archive's audio too) and analyses it.
// Nothing when the file does not read (`whyNot`, when given, then says why) or `cancel` became true.
std::optional<SongTempo> analyseTempoFile(const std::string& path, std::optional<Dance> dance,
                                          const std::atomic<bool>* cancel, std::string* whyNot = nullptr);
// The same with the dance's band as the teacher's dance table has it.
std::optional<SongTempo> analyseTempoFile(const std::string& path, const DanceBand& band,
                                          const std::atomic<bool>* cancel, std::string* whyNot = nullptr);

} // namespace vantle
