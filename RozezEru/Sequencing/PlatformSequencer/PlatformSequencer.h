#pragma once
// One platform music sequence with its player and a track manager per sequence track: loading and
// exporting standard MIDI files, the tempo track, transport, time conversion, length, looping and
// quantisation. Made and used from one thread at a time (normally the main thread); the player
// sends its events from the render threads of the tracks' audio units, and to MIDI endpoints from a
// thread of its own.

#include "RozezEru/Sequencing/Duration.h"
#include "RozezEru/Sequencing/PlatformSequencer/MusicTrackManager.h"
#include "platform/sequencing/MusicPlayer.h"
#include "platform/sequencing/MusicPlayerMIDIOutput.h"
#include "platform/sequencing/MusicSequence.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace rozezeru {

// Why a host-time conversion failed.
struct MusicPlayerTimeConversionError {
    enum class Kind { osStatus, musicPlayerIsNotPlaying } kind = Kind::musicPlayerIsNotPlaying;
    std::int32_t status = 0;
};

template <typename T> using TimeConversionResult = std::variant<T, MusicPlayerTimeConversionError>;

class PlatformSequencer : public std::enable_shared_from_this<PlatformSequencer> {
public:
    PlatformSequencer();
    ~PlatformSequencer();
    PlatformSequencer(const PlatformSequencer&) = delete;
    PlatformSequencer& operator=(const PlatformSequencer&) = delete;
    static std::shared_ptr<PlatformSequencer> make() { return std::make_shared<PlatformSequencer>(); }
    static std::shared_ptr<PlatformSequencer> make(const std::string& filename);
    static std::shared_ptr<PlatformSequencer> makeFromURL(const std::string& path);
    static std::shared_ptr<PlatformSequencer> makeFromData(const std::vector<std::uint8_t>& data);

    // Where named files are looked up ("<name>.mid"): the program's main bundle unless set (empty:
    // back to it). Main thread.
    static void setResourceFolder(std::string folder);

    std::unique_ptr<platform::MusicSequence> sequence;
    std::vector<std::shared_ptr<MusicTrackManager>> tracks;
    std::unique_ptr<platform::MusicPlayer> musicPlayer;
    bool loopEnabled() const { return loopEnabled_; }

    // Loading, the track list and export.
    void loadMIDIFile(const std::string& filename);
    void loadMIDIFileFromURL(const std::string& path);
    void loadMIDIFileFromData(const std::vector<std::uint8_t>& data);
    void initTracks();
    void removeTracks();
    std::shared_ptr<MusicTrackManager> newTrack(const std::string& name);
    void deleteTrack(int trackIndex);
    int trackCount() const;
    std::optional<std::vector<std::uint8_t>> genData() const;
    void debug() const;

    // The tempo track.
    void setTempo(double bpm);
    void addTempoEvent(double tempo, const Duration& position);
    double tempo() const;
    std::vector<std::pair<double, double>> allTempoEvents() const;
    double getTempo(double at) const;
    std::vector<std::pair<double, TimeSignature>> allTimeSignatureEvents() const;
    TimeSignature getTimeSignature(double at) const;
    void addTimeSignatureEvent(double at, TimeSignature timeSignature,
                               std::uint8_t ticksPerMetronomeClick = 24,
                               std::uint8_t thirtySecondNotesPerQuarter = 8, bool clearExistingEvents = true);
    std::uint32_t timeResolution() const;

    // Transport and time conversion.
    void play();
    void stop();
    void preroll();
    void rewind();
    void setTime(double position);
    bool isPlaying() const;
    void setRate(double rate);
    double rate() const;
    Duration currentPosition() const;
    Duration duration(double seconds) const;
    double seconds(const Duration& duration) const;
    TimeConversionResult<std::uint64_t> hostTime(double forBeats) const;
    TimeConversionResult<double> beats(std::uint64_t forHostTime) const;

    // Length, looping, quantisation and import.
    Duration length() const;
    void setLength(const Duration& duration);
    void setLoopInfo(const Duration& duration, std::int64_t loopCount);
    void enableLooping();
    void enableLooping(const Duration& loopLength);
    void disableLooping();
    void toggleLoop();
    void clearRange(const Duration& start, const Duration& duration);
    void setMIDIOutput(std::uint32_t endpoint);
    // Where tracks routed to a MIDI endpoint are sent from, timed by `clock`: the process's default
    // service unless set before the first play that sends to an endpoint.
    void setMIDIService(std::shared_ptr<platform::MIDIService> service,
                        const platform::Clock& clock = platform::Clock::system());
    Duration currentRelativePosition() const;
    Duration previousQuantizedPosition(double step) const;
    Duration nextQuantizedPosition(double step) const;
    Duration nearestQuantizedPosition(double step) const;
    void addMusicTrackNoteData(const PlatformSequencer& from, bool useExistingSequencerLength);
    void addTracksFromMIDIFileNamed(const std::string& filename, bool useExistingSequencerLength);
    void addTracksFromMIDIFileURL(const std::string& path, bool useExistingSequencerLength);

private:
    void loadWith(std::int32_t status, const char* function, const std::string& failure);
    void deleteTempoTrackEvents(bool timeSignatures);
    std::pair<double, double> gridPositions(double step) const;
    bool loopEnabled_ = false;
    std::unique_ptr<platform::MusicPlayerMIDIOutput> midiOutput_;
};

} // namespace rozezeru
