#include "platform/sequencing/AudioEngineSequencer.h"

#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/foundation/Files.h"
#include "platform/midi/MIDIService.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr const char* sequencerErrorDomain = "AudioEngineSequencer";

} // namespace

template <typename Edit> void AudioEngineSequencer::edit(Edit&& change) {
    const bool playing = player_.isPlaying();
    if (playing) stop();
    change();
    if (playing) player_.start();
}

// ---- Track views

struct MusicTrackView::Current {
    std::shared_ptr<MusicTrack> track;
    AudioEngineSequencer::TrackState* state = nullptr;
};

// The view's track while it is still the sequencer's track at the view's index.
MusicTrackView::Current MusicTrackView::current() const {
    auto track = track_.lock();
    if (!track || index_ >= sequencer_->states_.size() ||
        sequencer_->sequence_.indTrack(static_cast<std::uint32_t>(index_)).lock() != track)
        return {};
    return {std::move(track), &sequencer_->states_[index_]};
}

MusicTimeStamp MusicTrackView::lengthInBeats() const {
    const auto now = current();
    return now.track ? now.track->length() : 0.0;
}

void MusicTrackView::setLengthInBeats(MusicTimeStamp beats) {
    const auto now = current();
    if (!now.track || !std::isfinite(beats)) return;
    sequencer_->edit([&] { now.track->setLength(std::max(0.0, beats)); });
}

bool MusicTrackView::isLoopingEnabled() const {
    const auto now = current();
    return now.state && now.state->looping;
}

void MusicTrackView::setLoopingEnabled(bool enabled) {
    const auto now = current();
    if (!now.track) return;
    now.state->looping = enabled;
    sequencer_->applyLoop(*now.track, *now.state);
}

MusicBeatRange MusicTrackView::loopRange() const {
    const auto now = current();
    return now.state ? now.state->loopRange : MusicBeatRange{};
}

void MusicTrackView::setLoopRange(MusicBeatRange range) {
    const auto now = current();
    if (!now.track || !std::isfinite(range.start) || !std::isfinite(range.length)) return;
    now.state->loopRange = range;
    sequencer_->applyLoop(*now.track, *now.state);
}

AudioUnitNode* MusicTrackView::destinationAudioUnit() const {
    const auto now = current();
    return now.state ? now.state->node : nullptr;
}

void MusicTrackView::setDestinationAudioUnit(AudioUnitNode* node) {
    const auto now = current();
    if (!now.track) return;
    sequencer_->edit([&] {
        now.state->node = node;
        now.track->setDestinationMIDIEndpoint(0);
        sequencer_->player_.setDestination(track_, node ? &node->auAudioUnit() : nullptr);
    });
}

MIDIEndpointRef MusicTrackView::destinationMIDIEndpoint() const {
    const auto now = current();
    return now.track ? now.track->destinationMIDIEndpoint() : 0;
}

void MusicTrackView::setDestinationMIDIEndpoint(MIDIEndpointRef endpoint) {
    const auto now = current();
    if (!now.track) return;
    sequencer_->edit([&] {
        if (endpoint != 0 && !sequencer_->midiOutput_.open(sequencer_->player_)) return;
        now.track->setDestinationMIDIEndpoint(endpoint);
        now.state->node = nullptr;
        sequencer_->player_.setDestination(track_, nullptr);
    });
}

// ---- The sequencer

AudioEngineSequencer::AudioEngineSequencer(AudioEngine& engine, std::shared_ptr<MIDIService> midiService)
    : engine_(engine), midiOutput_("AudioEngineSequencer", std::move(midiService)) {
    player_.setSequence(&sequence_);
}

AudioEngineSequencer::~AudioEngineSequencer() {
    stop();
}

Result<void> AudioEngineSequencer::load(const std::string& path) {
    auto bytes = readFile(path);
    if (!bytes) {
        stop();
        return bytes.error();
    }
    return load(std::span<const std::uint8_t>(bytes.value()));
}

Result<void> AudioEngineSequencer::load(std::span<const std::uint8_t> data) {
    stop();
    const auto status = sequence_.loadFileData(data);
    afterLoad();
    if (status != noErr)
        return Error::make(sequencerErrorDomain, "The data is not a standard MIDI file.", status);
    return {};
}

void AudioEngineSequencer::afterLoad() {
    states_.assign(sequence_.trackCount(), TrackState{});
    player_.setTime(0);
}

std::vector<MusicTrackView> AudioEngineSequencer::tracks() const {
    std::vector<MusicTrackView> views;
    const auto count = std::min<std::size_t>(sequence_.trackCount(), states_.size());
    views.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        views.push_back(MusicTrackView(const_cast<AudioEngineSequencer&>(*this), i,
                                       sequence_.indTrack(static_cast<std::uint32_t>(i))));
    return views;
}

void AudioEngineSequencer::applyLoop(MusicTrack& track, const TrackState& state) {
    const bool loops = state.looping && state.loopRange.length > 0;
    edit([&] {
        track.setLoopInfo(loops ? MusicTrackLoopInfo{state.loopRange.length, 0,
                                                     state.loopRange.start + state.loopRange.length}
                                : MusicTrackLoopInfo{});
    });
}

Result<void> AudioEngineSequencer::start() {
    if (!engine_.isRunning())
        return Error::make(sequencerErrorDomain, "The audio engine is not running.",
                           kAudioToolboxErr_InvalidPlayerState);
    player_.start();
    return {};
}

void AudioEngineSequencer::setCurrentPositionInBeats(MusicTimeStamp beats) {
    edit([&] { player_.setTime(beats); });
}

void AudioEngineSequencer::stop() {
    if (!player_.isPlaying()) return;
    player_.stop();
    releaseNotes();
}

void AudioEngineSequencer::releaseNotes() {
    midiOutput_.releaseNotes(sequence_);
}

} // namespace platform
