#include "RozezEru/Sequencing/PlatformSequencer/PlatformSequencer.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Settings.h"
#include "RozezEru/Nodes/Playback/PlatformSampler/Bundle.h"
#include "platform/foundation/Files.h"

#include <algorithm>
#include <cmath>

namespace rozezeru {

using platform::MusicEventType;

namespace {

std::string& resourceFolder() {
    static std::string folder;
    return folder;
}

Duration settingsDuration(double beats) {
    return Duration(beats, 60.0);
}

// The entry in force at `at` in a list ordered by position; `fallback` before the first.
template <typename T> T valueAt(const std::vector<std::pair<double, T>>& list, double at, T fallback) {
    if (list.empty() || !(at >= list.front().first)) return fallback;
    T value = list.front().second;
    for (std::size_t i = 1; i < list.size() && list[i].first <= at; ++i)
        value = list[i].second;
    return value;
}

} // namespace

PlatformSequencer::PlatformSequencer()
    : sequence(std::make_unique<platform::MusicSequence>()),
      musicPlayer(std::make_unique<platform::MusicPlayer>()),
      midiOutput_(std::make_unique<platform::MusicPlayerMIDIOutput>("PlatformSequencer")) {
    musicPlayer->setSequence(sequence.get());
}

PlatformSequencer::~PlatformSequencer() {
    Log(LogSite("deinit"), "deinit:");
    musicPlayer.reset(); // before the sequence it plays
}

void PlatformSequencer::setResourceFolder(std::string folder) {
    resourceFolder() = std::move(folder);
}

std::shared_ptr<PlatformSequencer> PlatformSequencer::make(const std::string& filename) {
    auto made = make();
    made->loadMIDIFile(filename);
    return made;
}

std::shared_ptr<PlatformSequencer> PlatformSequencer::makeFromURL(const std::string& path) {
    auto made = make();
    made->loadMIDIFileFromURL(path);
    return made;
}

std::shared_ptr<PlatformSequencer> PlatformSequencer::makeFromData(const std::vector<std::uint8_t>& data) {
    auto made = make();
    made->loadMIDIFileFromData(data);
    return made;
}

void PlatformSequencer::loadMIDIFile(const std::string& filename) {
    const Bundle bundle(resourceFolder().empty() ? Bundle::main().resourcePath() : resourceFolder());
    const auto path = bundle.pathForResource(filename, "mid");
    if (!path) {
        Log(LogSite("loadMIDIFile(_:)"), "No midi file found");
        return;
    }
    loadMIDIFileFromURL(*path);
}

void PlatformSequencer::loadWith(std::int32_t status, const char* function, const std::string& failure) {
    if (status != platform::noErr) Log(LogSite(function), failure + std::to_string(status));
    initTracks();
}

void PlatformSequencer::loadMIDIFileFromURL(const std::string& path) {
    removeTracks();
    if (!sequence) return initTracks();
    auto bytes = platform::readFile(path);
    const std::int32_t status =
        bytes ? sequence->loadFileData(*bytes) : platform::kAudioToolboxErr_InvalidSequenceType;
    loadWith(status, "loadMIDIFile(fromURL:)",
             "error reading midi file url: file://" + path + ", read status: ");
}

void PlatformSequencer::loadMIDIFileFromData(const std::vector<std::uint8_t>& data) {
    removeTracks();
    if (!sequence) return initTracks();
    loadWith(sequence->loadFileData(data), "loadMIDIFile(fromData:)",
             "error reading midi data, read status: ");
}

void PlatformSequencer::deleteTempoTrackEvents(bool timeSignatures) {
    iterateMusicTrack(sequence->tempoTrack(), [&](platform::MusicEventIterator& it, double,
                                                  MusicEventType type, const platform::MusicEventData& data) {
        const auto* meta = std::get_if<platform::MIDIMetaEvent>(&data);
        const bool match =
            timeSignatures ? meta && meta->metaEventType == 0x58 : type == MusicEventType::extendedTempo;
        if (match) it.deleteEvent();
        return match;
    });
}

void PlatformSequencer::removeTracks() {
    if (sequence) {
        if (auto tempoTrack = sequence->tempoTrack().lock()) {
            tempoTrack->clear(0, length().beats);
            deleteTempoTrackEvents(true);
            deleteTempoTrackEvents(false);
        }
        for (const auto& track : tracks)
            if (!track->internalMusicTrack.expired()) sequence->disposeTrack(track->internalMusicTrack);
    }
    tracks.clear();
}

void PlatformSequencer::initTracks() {
    const int count = trackCount();
    for (int i = 0; i < count; ++i) {
        auto track = sequence->indTrack(static_cast<std::uint32_t>(i));
        if (!track.expired())
            tracks.push_back(std::make_shared<MusicTrackManager>(track, "InitializedTrack"));
    }
    if (loopEnabled_) setLoopInfo(length(), 0);
}

std::shared_ptr<MusicTrackManager> PlatformSequencer::newTrack(const std::string& name) {
    if (!sequence) return nullptr;
    auto track = sequence->newTrack();
    if (track.expired()) return nullptr;
    tracks.push_back(std::make_shared<MusicTrackManager>(track, name));
    return tracks.back();
}

void PlatformSequencer::deleteTrack(int trackIndex) {
    if (isPlaying()) {
        Log(LogSite("deleteTrack(trackIndex:)"), "Can't delete sequencer track during playback");
        return;
    }
    if (trackIndex < 0 || trackIndex >= static_cast<int>(tracks.size()) ||
        tracks[static_cast<std::size_t>(trackIndex)]->internalMusicTrack.expired()) {
        Log(LogSite("deleteTrack(trackIndex:)"), "Can't get track for index");
        return;
    }
    if (!sequence) {
        Log(LogSite("deleteTrack(trackIndex:)"), "Can't get sequence");
        return;
    }
    sequence->disposeTrack(tracks[static_cast<std::size_t>(trackIndex)]->internalMusicTrack);
    tracks.erase(tracks.begin() + trackIndex);
}

int PlatformSequencer::trackCount() const {
    return sequence ? static_cast<int>(sequence->trackCount()) : 0;
}

std::optional<std::vector<std::uint8_t>> PlatformSequencer::genData() const {
    if (!sequence) return std::nullopt;
    return sequence->createFileData(sequence->timeResolution());
}

void PlatformSequencer::debug() const {
    if (!sequence) return;
    Log(LogSite("debug()"), "Sequence of", trackCount(), "tracks,", length().beats, "beats");
    for (const auto& track : tracks)
        track->debug();
}

// ---- Tempo track

void PlatformSequencer::setTempo(double bpm) {
    const double t = bpm >= 1.0 ? bpm : 1.0; // also for NaN
    if (!sequence) return;
    auto tempoTrack = sequence->tempoTrack().lock();
    if (!tempoTrack) return;
    // Only the tempo events go: the time signatures stay.
    deleteTempoTrackEvents(false);
    tempoTrack->addEvent(0, platform::ExtendedTempoEvent{t});
}

void PlatformSequencer::addTempoEvent(double tempo, const Duration& position) {
    if (!sequence) return;
    if (auto tempoTrack = sequence->tempoTrack().lock())
        tempoTrack->addEvent(position.beats, platform::ExtendedTempoEvent{tempo >= 1.0 ? tempo : 1.0});
}

double PlatformSequencer::tempo() const {
    if (!sequence || sequence->tempoTrack().expired()) return 0.0;
    return getTempo(currentPosition().beats);
}

std::vector<std::pair<double, double>> PlatformSequencer::allTempoEvents() const {
    std::vector<std::pair<double, double>> out;
    if (!sequence) return out;
    iterateMusicTrack(sequence->tempoTrack(), [&](platform::MusicEventIterator&, double time, MusicEventType,
                                                  const platform::MusicEventData& data) {
        if (const auto* tempo = std::get_if<platform::ExtendedTempoEvent>(&data))
            out.emplace_back(time, tempo->bpm);
        return false;
    });
    return out;
}

double PlatformSequencer::getTempo(double at) const {
    return valueAt(allTempoEvents(), at, 120.0);
}

std::vector<std::pair<double, TimeSignature>> PlatformSequencer::allTimeSignatureEvents() const {
    std::vector<std::pair<double, TimeSignature>> out;
    if (!sequence || sequence->tempoTrack().expired()) {
        Log(LogSite("allTimeSignatureEvents"), "Couldn't get tempo track");
        return out;
    }
    iterateMusicTrack(sequence->tempoTrack(), [&](platform::MusicEventIterator&, double time, MusicEventType,
                                                  const platform::MusicEventData& data) {
        const auto* meta = std::get_if<platform::MIDIMetaEvent>(&data);
        if (!meta || meta->metaEventType != 0x58 || meta->data.size() < 2) return false;
        if (auto bottom = timeSignatureBottomValue(meta->data[1]))
            out.emplace_back(time, TimeSignature{meta->data[0], *bottom});
        else
            Log(LogSite("allTimeSignatureEvents"), "Invalid time signature bottom value");
        return false;
    });
    return out;
}

TimeSignature PlatformSequencer::getTimeSignature(double at) const {
    return valueAt(allTimeSignatureEvents(), at, TimeSignature{});
}

void PlatformSequencer::addTimeSignatureEvent(double at, TimeSignature timeSignature,
                                              std::uint8_t ticksPerMetronomeClick,
                                              std::uint8_t thirtySecondNotesPerQuarter,
                                              bool clearExistingEvents) {
    auto tempoTrack = sequence ? sequence->tempoTrack().lock() : nullptr;
    if (!tempoTrack) {
        Log(LogSite(
                "addTimeSignatureEvent(at:timeSignature:ticksPerMetronomeClick:thirtySecondNotesPerQuarter:"
                "clearExistingEvents:)"),
            "Couldn't get tempo track");
        return;
    }
    if (clearExistingEvents) deleteTempoTrackEvents(true);
    tempoTrack->addEvent(at,
                         platform::MIDIMetaEvent{0x58,
                                                 {timeSignature.topValue, rawValue(timeSignature.bottomValue),
                                                  ticksPerMetronomeClick, thirtySecondNotesPerQuarter}});
}

std::uint32_t PlatformSequencer::timeResolution() const {
    if (!sequence) {
        Log(LogSite("timeResolution"), "Couldn't get sequence for time resolution");
        return 0;
    }
    return sequence->timeResolution();
}

// ---- Transport

void PlatformSequencer::play() {
    if (!musicPlayer) return;
    // The client is opened only for a sequence that has somewhere to send.
    bool routed = false;
    for (std::uint32_t i = 0; sequence && i < sequence->trackCount(); ++i)
        if (auto track = sequence->indTrack(i).lock()) routed |= track->destinationMIDIEndpoint() != 0;
    if (routed && !musicPlayer->isPlaying())
        if (auto opened = midiOutput_->open(*musicPlayer); !opened)
            Log(LogSite("play()"), opened.error().message);
    musicPlayer->start();
}
void PlatformSequencer::stop() {
    if (!musicPlayer) return;
    const bool wasPlaying = musicPlayer->isPlaying();
    musicPlayer->stop();
    if (wasPlaying && sequence) midiOutput_->releaseNotes(*sequence);
}
void PlatformSequencer::preroll() {
    if (musicPlayer) musicPlayer->preroll();
}
void PlatformSequencer::rewind() {
    setTime(0);
}
void PlatformSequencer::setTime(double position) {
    if (musicPlayer) musicPlayer->setTime(position);
}
bool PlatformSequencer::isPlaying() const {
    return musicPlayer && musicPlayer->isPlaying();
}
void PlatformSequencer::setRate(double rate) {
    if (musicPlayer) musicPlayer->setPlayRateScalar(rate);
}
double PlatformSequencer::rate() const {
    return musicPlayer ? musicPlayer->playRateScalar() : 1.0;
}

Duration PlatformSequencer::currentPosition() const {
    return settingsDuration(musicPlayer ? musicPlayer->time() : 0.0);
}

Duration PlatformSequencer::duration(double seconds) const {
    const double b = sequence ? sequence->beatsForSeconds(std::fabs(seconds)) : 0.0;
    return settingsDuration(seconds > 0 ? b : -b);
}

double PlatformSequencer::seconds(const Duration& duration) const {
    const double s = sequence ? sequence->secondsForBeats(std::fabs(duration.beats)) : 0.0;
    return duration.beats > 0 ? s : -s;
}

TimeConversionResult<std::uint64_t> PlatformSequencer::hostTime(double forBeats) const {
    using Error = MusicPlayerTimeConversionError;
    if (!isPlaying()) return Error{Error::Kind::musicPlayerIsNotPlaying, 0};
    std::uint64_t out = 0;
    if (const auto status = musicPlayer->hostTimeForBeats(forBeats, out); status != platform::noErr)
        return Error{Error::Kind::osStatus, status};
    return out;
}

TimeConversionResult<double> PlatformSequencer::beats(std::uint64_t forHostTime) const {
    using Error = MusicPlayerTimeConversionError;
    if (!isPlaying()) return Error{Error::Kind::musicPlayerIsNotPlaying, 0};
    double out = 0;
    if (const auto status = musicPlayer->beatsForHostTime(forHostTime, out); status != platform::noErr)
        return Error{Error::Kind::osStatus, status};
    return out;
}

// ---- Length, looping, quantisation and import

Duration PlatformSequencer::length() const {
    double longest = 0;
    for (const auto& track : tracks)
        longest = std::max(longest, track->length().beats);
    Duration out(longest, 60.0);
    out.tempo = tempo();
    return out;
}

void PlatformSequencer::setLength(const Duration& duration) {
    for (const auto& track : tracks)
        track->setLength(duration);
    if (sequence)
        if (auto tempoTrack = sequence->tempoTrack().lock()) tempoTrack->setLength(duration.beats);
}

void PlatformSequencer::setLoopInfo(const Duration& duration, std::int64_t loopCount) {
    for (const auto& track : tracks)
        track->setLoopInfo(duration, loopCount);
    loopEnabled_ = true;
}

void PlatformSequencer::enableLooping() {
    setLoopInfo(length(), 0);
}
void PlatformSequencer::enableLooping(const Duration& loopLength) {
    setLoopInfo(loopLength, 0);
}
void PlatformSequencer::disableLooping() {
    setLoopInfo(settingsDuration(0), 0);
    loopEnabled_ = false;
}
void PlatformSequencer::toggleLoop() {
    if (loopEnabled_)
        disableLooping();
    else
        enableLooping();
}

void PlatformSequencer::clearRange(const Duration& start, const Duration& duration) {
    for (const auto& track : tracks)
        track->clearRange(start, duration);
}

void PlatformSequencer::setMIDIOutput(std::uint32_t endpoint) {
    for (const auto& track : tracks)
        track->setMIDIOutput(endpoint);
}

void PlatformSequencer::setMIDIService(std::shared_ptr<platform::MIDIService> service,
                                       const platform::Clock& clock) {
    if (midiOutput_->isOpen()) {
        Log(LogSite("setMIDIService(_:clock:)"), "The MIDI service is in use; it stays.");
        return;
    }
    midiOutput_ =
        std::make_unique<platform::MusicPlayerMIDIOutput>("PlatformSequencer", std::move(service), clock);
}

Duration PlatformSequencer::currentRelativePosition() const {
    Duration p = currentPosition();
    const double loop = length().beats;
    // An empty sequence has no loop to wrap into.
    if (loop > 0) p.beats = std::fmod(p.beats, loop);
    return p;
}

std::pair<double, double> PlatformSequencer::gridPositions(double q) const {
    const double r = currentRelativePosition().beats;
    const double L = length().beats;
    if (!(q > 0)) return {r, r};
    auto wrap = [L](double x) { return L > 0 ? std::fmod(x, L) : x; };
    const double previous = wrap(r - std::fmod(r, q));
    return {previous, wrap(previous + q)};
}

Duration PlatformSequencer::previousQuantizedPosition(double step) const {
    return settingsDuration(gridPositions(step).first);
}

Duration PlatformSequencer::nextQuantizedPosition(double step) const {
    return settingsDuration(gridPositions(step).second);
}

Duration PlatformSequencer::nearestQuantizedPosition(double step) const {
    const double r = currentRelativePosition().beats;
    if (!(step > 0)) return settingsDuration(r);
    const double L = length().beats;
    const double previous = r - std::fmod(r, step);
    // Compared before wrapping, so the last cell of the loop measures to the true next line.
    const double nearest = (r - previous) < (previous + step - r) ? previous : previous + step;
    return settingsDuration(L > 0 ? std::fmod(nearest, L) : nearest);
}

void PlatformSequencer::addMusicTrackNoteData(const PlatformSequencer& from,
                                              bool useExistingSequencerLength) {
    if (isPlaying()) {
        Log(LogSite("addMusicTrackNoteData(from:useExistingSequencerLength:)"),
            "Can't add tracks during playback");
        return;
    }
    const Duration oldLength = length();
    for (const auto& source : from.tracks) {
        const auto notes = source->getMIDINoteData();
        if (notes.empty()) continue;
        auto made = newTrack("Unnamed");
        if (!made) continue;
        made->clearRange(settingsDuration(0), settingsDuration(made->length().beats));
        for (const auto& note : notes)
            made->add(note);
        if (useExistingSequencerLength) made->setLength(oldLength);
    }
    if (loopEnabled_) setLoopInfo(length(), 0);
}

void PlatformSequencer::addTracksFromMIDIFileNamed(const std::string& filename,
                                                   bool useExistingSequencerLength) {
    auto other = make();
    other->loadMIDIFile(filename);
    addMusicTrackNoteData(*other, useExistingSequencerLength);
}

void PlatformSequencer::addTracksFromMIDIFileURL(const std::string& path, bool useExistingSequencerLength) {
    auto other = make();
    other->loadMIDIFileFromURL(path);
    addMusicTrackNoteData(*other, useExistingSequencerLength);
}

} // namespace rozezeru
