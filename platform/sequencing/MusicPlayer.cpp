#include "platform/sequencing/MusicPlayer.h"

#include "platform/foundation/HostTime.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

namespace {

std::int64_t framesAt(double seconds, double sampleRate) {
    const double frames = std::round(seconds * sampleRate);
    if (!(frames > -9.0e18)) return std::numeric_limits<std::int64_t>::min() / 2;
    if (!(frames < 9.0e18)) return std::numeric_limits<std::int64_t>::max() / 2;
    return static_cast<std::int64_t>(frames);
}

} // namespace

// One track's messages in frame order. A looping track plays them all once, up to `loopEndFrame`,
// then those from `loopStartIndex` on in passes `loopFrames` long (0: no loop).
struct MusicPlayer::Schedule {
    struct Message {
        std::int64_t frame; // from the start of the sequence
        std::uint8_t length;
        std::uint8_t bytes[3];
    };
    struct Track {
        std::vector<Message> messages;
        MIDIEndpointRef endpoint = 0;
        std::int64_t loopFrames = 0;
        std::int64_t loopStartFrame = 0;
        std::int64_t loopEndFrame = 0;
        std::size_t loopStartIndex = 0;
        std::int32_t loops = 0; // 0: for ever
    };
    std::vector<Track> tracks;
};

// The state one destination unit's observer works on. The observer is the only writer of the
// cursors and the anchor; the control thread reads `position` and the anchor, and removes the
// observer before touching the rest.
struct MusicPlayer::Route {
    AudioUnit* unit = nullptr;
    AudioUnit::RenderObserverToken token = 0;
    std::shared_ptr<Schedule> schedule;
    double sampleRate = 44100.0;
    std::int64_t startFrame = 0;
    std::atomic<double> position{0}; // frames of the sequence played
    struct Cursor {
        std::size_t index = 0;
        std::int64_t pass = 0;
    };
    std::vector<Cursor> cursors;
    const MusicSequence* sequence = nullptr;

    // The host time of the latest render period and the frame it began at, behind a sequence count
    // (odd while written, 0 before the first stamped period).
    std::atomic<std::uint32_t> anchorSequence{0};
    std::atomic<std::uint64_t> anchorHost{0};
    std::atomic<double> anchorFrame{0};

    void setAnchor(std::uint64_t host, double frame) {
        const auto sequenceNow = anchorSequence.load(std::memory_order_relaxed);
        anchorSequence.store(sequenceNow + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        anchorHost.store(host, std::memory_order_relaxed);
        anchorFrame.store(frame, std::memory_order_relaxed);
        anchorSequence.store(sequenceNow + 2, std::memory_order_release);
    }
    std::optional<std::pair<std::uint64_t, double>> readAnchor() const {
        while (true) {
            const auto before = anchorSequence.load(std::memory_order_acquire);
            if (before == 0) return std::nullopt;
            const auto host = anchorHost.load(std::memory_order_relaxed);
            const auto frame = anchorFrame.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (!(before & 1) && anchorSequence.load(std::memory_order_relaxed) == before)
                return std::pair(host, frame);
        }
    }
};

MusicPlayer::MusicPlayer() = default;

MusicPlayer::~MusicPlayer() {
    stopRoutes();
}

void MusicPlayer::setSequence(MusicSequence* sequence) {
    stop();
    sequence_ = sequence;
    startBeats_ = 0;
}

void MusicPlayer::setDestination(const MusicTrackHandle& track, AudioUnit* unit) {
    auto strong = track.lock();
    if (!strong) return;
    strong->setDestinationNode(unit);
    if (playing_) {
        const auto now = timeOfRoutes();
        stopRoutes();
        startBeats_ = now;
        startRoutes();
    }
}

std::shared_ptr<MusicPlayer::Schedule>
MusicPlayer::buildSchedule(const std::function<bool(const MusicTrack&)>& plays, double sampleRate) const {
    auto schedule = std::make_shared<Schedule>();
    auto frameOf = [&](MusicTimeStamp beats) {
        return framesAt(sequence_->secondsForBeats(beats), sampleRate);
    };
    // Offs first at a frame, so a note repeated as it ends sounds again; a note whose off falls on
    // its own on's frame is ended right after it instead, or it would hang.
    struct Ordered {
        Schedule::Message message;
        bool endsEarlier;
    };
    for (std::uint32_t i = 0; i < sequence_->trackCount(); ++i) {
        auto track = sequence_->indTrack(i).lock();
        if (!track || !plays(*track)) continue;
        Schedule::Track out;
        out.endpoint = track->destinationMIDIEndpoint();
        const auto loop = track->loopInfo();
        const MusicTimeStamp length = track->length();
        const bool loops = loop.loopDuration > 0 && std::isfinite(loop.loopDuration) &&
                           (!loop.loopEnd || std::isfinite(*loop.loopEnd));
        const MusicTimeStamp end = loops ? loop.loopEnd.value_or(length) : length;
        const MusicTimeStamp loopStart = end - loop.loopDuration;
        if (loops) {
            out.loopStartFrame = frameOf(loopStart);
            out.loopEndFrame = frameOf(end);
            out.loopFrames = std::max<std::int64_t>(0, out.loopEndFrame - out.loopStartFrame);
            out.loops = std::max<std::int32_t>(0, loop.numberOfLoops);
        }
        // Events at the track's own end belong to it; a loop that ends earlier stops short of its end.
        auto inside = [&](MusicTimeStamp time) { return time < end || (time == end && end == length); };
        std::vector<Ordered> ordered;
        for (const auto& event : track->events()) {
            if (event.time < 0 || !inside(event.time)) continue;
            const auto frame = frameOf(event.time);
            if (const auto* note = std::get_if<MIDINoteMessage>(&event.data)) {
                if (note->note > 127 || note->velocity == 0) continue;
                const auto channel = static_cast<std::uint8_t>(note->channel & 0x0F);
                const MusicTimeStamp offBeat = std::min(end, event.time + std::max(0.0f, note->duration));
                const auto offFrame = std::max(frame, frameOf(offBeat));
                ordered.push_back({{frame,
                                    3,
                                    {static_cast<std::uint8_t>(0x90 | channel), note->note,
                                     static_cast<std::uint8_t>(std::min<int>(note->velocity, 127))}},
                                   false});
                ordered.push_back({{offFrame,
                                    3,
                                    {static_cast<std::uint8_t>(0x80 | channel), note->note,
                                     static_cast<std::uint8_t>(note->releaseVelocity & 0x7F)}},
                                   offFrame > frame});
            } else if (const auto* message = std::get_if<MIDIChannelMessage>(&event.data)) {
                if (message->status < 0x80 || message->status >= 0xF0) continue;
                const auto kind = message->status & 0xF0;
                const std::uint8_t size = kind == 0xC0 || kind == 0xD0 ? 2 : 3;
                ordered.push_back({{frame,
                                    size,
                                    {message->status, static_cast<std::uint8_t>(message->data1 & 0x7F),
                                     static_cast<std::uint8_t>(message->data2 & 0x7F)}},
                                   false});
            }
        }
        std::stable_sort(ordered.begin(), ordered.end(), [](const Ordered& a, const Ordered& b) {
            return a.message.frame < b.message.frame ||
                   (a.message.frame == b.message.frame && a.endsEarlier && !b.endsEarlier);
        });
        out.messages.reserve(ordered.size());
        for (const auto& entry : ordered)
            out.messages.push_back(entry.message);
        out.loopStartIndex = static_cast<std::size_t>(
            std::lower_bound(out.messages.begin(), out.messages.end(), out.loopStartFrame,
                             [](const Schedule::Message& m, std::int64_t f) { return m.frame < f; }) -
            out.messages.begin());
        schedule->tracks.push_back(std::move(out));
    }
    return schedule;
}

// Each cursor starts on the first message at or after the start, in the pass it falls in.
void MusicPlayer::placeCursors(Route& route) {
    for (const auto& track : route.schedule->tracks) {
        Route::Cursor cursor;
        std::int64_t local = route.startFrame;
        auto first = track.messages.begin();
        if (track.loopFrames > 0 && local >= track.loopEndFrame) {
            const std::int64_t into = local - track.loopEndFrame;
            cursor.pass = into / track.loopFrames + 1;
            local = track.loopStartFrame + into % track.loopFrames;
            first += static_cast<long>(track.loopStartIndex);
        }
        if (track.loops > 0 && cursor.pass >= track.loops)
            cursor.index = track.messages.size();
        else
            cursor.index = static_cast<std::size_t>(
                std::lower_bound(first, track.messages.end(), local,
                                 [](const Schedule::Message& m, std::int64_t f) { return m.frame < f; }) -
                track.messages.begin());
        route.cursors.push_back(cursor);
    }
}

// Hands every message due before `to` to `send`, with its frame, looping where the tracks loop.
// Used on the render thread: no lock, no allocation.
template <typename Send> void MusicPlayer::advance(Route& route, double to, Send&& send) {
    for (std::size_t t = 0; t < route.cursors.size(); ++t) {
        const auto& track = route.schedule->tracks[t];
        auto& cursor = route.cursors[t];
        while (true) {
            if (cursor.index >= track.messages.size()) {
                // A loop with nothing in it has nothing more to send, however long it runs.
                const bool more = track.loopFrames > 0 && track.loopStartIndex < track.messages.size() &&
                                  (track.loops == 0 || cursor.pass + 1 < track.loops);
                if (!more) break;
                ++cursor.pass;
                cursor.index = track.loopStartIndex;
                continue;
            }
            const auto& message = track.messages[cursor.index];
            const double at = static_cast<double>(message.frame + cursor.pass * track.loopFrames);
            if (at >= to) break;
            send(track, message, at);
            ++cursor.index;
        }
    }
    route.position.store(to, std::memory_order_relaxed);
}

void MusicPlayer::startRoutes() {
    if (!sequence_) return;
    clockStartedAt_ = clock_->now().timeIntervalSinceReferenceDate;
    hostStartedAt_ = hostTime();
    std::vector<AudioUnit*> units;
    for (std::uint32_t i = 0; i < sequence_->trackCount(); ++i)
        if (auto track = sequence_->indTrack(i).lock())
            if (auto* unit = track->destinationNode();
                unit && std::find(units.begin(), units.end(), unit) == units.end())
                units.push_back(unit);
    for (AudioUnit* unit : units) {
        auto route = std::make_unique<Route>();
        route->unit = unit;
        const double rate = unit->outputBusCount() ? unit->outputBus(0).format().sampleRate() : 0.0;
        route->sampleRate = rate > 0 ? rate : 44100.0;
        route->schedule = buildSchedule(
            [unit](const MusicTrack& track) { return track.destinationNode() == unit; }, route->sampleRate);
        route->sequence = sequence_;
        route->startFrame = framesAt(sequence_->secondsForBeats(startBeats_), route->sampleRate);
        route->position = static_cast<double>(route->startFrame);
        placeCursors(*route);
        Route* state = route.get();
        const double playRate = rate_;
        // Render thread: walks the cursors over the coming cycle; no lock, no allocation.
        route->token = unit->tokenByAddingRenderObserver([state, playRate](AudioUnitRenderActionFlags flags,
                                                                           const AudioTime& timestamp,
                                                                           AUAudioFrameCount frames,
                                                                           std::uint32_t) {
            if (!(flags & AudioUnitRenderAction::preRender)) return;
            const double from = state->position.load(std::memory_order_relaxed);
            if (timestamp.isHostTimeValid()) state->setAnchor(timestamp.hostTime(), from);
            const double to = from + frames * playRate;
            advance(*state, to, [&](const Schedule::Track&, const Schedule::Message& message, double at) {
                const auto offset =
                    static_cast<std::int64_t>(std::max(0.0, std::floor((at - from) / playRate)));
                state->unit->scheduleMIDIEvent(timestamp.sampleTime() + offset, 0,
                                               std::span<const std::uint8_t>(message.bytes, message.length));
            });
        });
        routes_.push_back(std::move(route));
    }
    startEndpointThread();
}

void MusicPlayer::setMIDIOutput(MIDIService* service, MIDIPortRef port, const Clock& clock) {
    const bool was = playing_;
    stop();
    midiService_ = service;
    midiPort_ = port;
    clock_ = &clock;
    if (was) start();
}

// Microseconds are the endpoint thread's frames.
constexpr double endpointFrameRate = 1e6;

void MusicPlayer::startEndpointThread() {
    if (!midiService_ || !sequence_) return;
    auto route = std::make_unique<Route>();
    route->sampleRate = endpointFrameRate;
    route->schedule = buildSchedule(
        [](const MusicTrack& track) {
            return !track.destinationNode() && track.destinationMIDIEndpoint() != 0;
        },
        endpointFrameRate);
    if (route->schedule->tracks.empty()) return;
    route->startFrame = framesAt(sequence_->secondsForBeats(startBeats_), endpointFrameRate);
    route->position = static_cast<double>(route->startFrame);
    placeCursors(*route);
    endpointRoute_ = std::move(route);
    endpointStop_ = false;
    endpointThread_ = std::thread([this, route = endpointRoute_.get(), playRate = rate_] {
        const double startedAt = clock_->now().timeIntervalSinceReferenceDate;
        const double startFrame = static_cast<double>(route->startFrame);
        std::unique_lock lock(endpointMutex_);
        while (!endpointStop_) {
            const double elapsed = clock_->now().timeIntervalSinceReferenceDate - startedAt;
            const double to = startFrame + std::max(0.0, elapsed) * endpointFrameRate * playRate + 1;
            advance(*route, to, [&](const Schedule::Track& track, const Schedule::Message& message, double) {
                const auto packets =
                    makePacketList(0, std::span<const std::uint8_t>(message.bytes, message.length));
                midiService_->send(midiPort_, track.endpoint, packets);
            });
            // A millisecond is finer than MIDI's own wire can tell apart.
            endpointWake_.wait_for(lock, std::chrono::milliseconds(1));
        }
    });
}

void MusicPlayer::stopEndpointThread() {
    if (!endpointThread_.joinable()) return;
    {
        std::lock_guard lock(endpointMutex_);
        endpointStop_ = true;
    }
    endpointWake_.notify_all();
    endpointThread_.join();
    endpointRoute_.reset();
}

void MusicPlayer::stopRoutes() {
    // Removal returns once the render thread has left the observer, so the state can go.
    for (auto& route : routes_)
        route->unit->removeRenderObserver(route->token);
    routes_.clear();
    stopEndpointThread();
}

MusicTimeStamp MusicPlayer::timeOfRoutes() const {
    if (!sequence_) return startBeats_;
    const Route* first = !routes_.empty() ? routes_.front().get() : endpointRoute_.get();
    if (!first) {
        // Nothing renders or sends the tracks, so the clock alone moves the position.
        const double elapsed = clock_->now().timeIntervalSinceReferenceDate - clockStartedAt_;
        return sequence_->beatsForSeconds(sequence_->secondsForBeats(startBeats_) +
                                          std::max(0.0, elapsed) * rate_);
    }
    const auto& route = *first;
    return sequence_->beatsForSeconds(route.position.load(std::memory_order_relaxed) / route.sampleRate);
}

std::pair<std::uint64_t, double> MusicPlayer::anchor() const {
    for (const auto& route : routes_)
        if (auto stamped = route->readAnchor()) return {stamped->first, stamped->second / route->sampleRate};
    // Until a unit renders a stamped period, the start stands for it.
    return {hostStartedAt_, sequence_->secondsForBeats(startBeats_)};
}

std::int32_t MusicPlayer::hostTimeForBeats(MusicTimeStamp beats, std::uint64_t& out) const {
    if (!playing_ || !sequence_) return kAudioToolboxErr_InvalidPlayerState;
    if (!std::isfinite(beats)) return kAudio_ParamError;
    const auto [host, seconds] = anchor();
    const double after = (sequence_->secondsForBeats(beats) - seconds) / rate_;
    const double hostSeconds = hostTimeToSeconds(host) + after;
    // The host clock starts at 0 and holds 64 bits of ticks.
    if (!(hostSeconds >= 0) || secondsToHostTime(hostSeconds) == std::numeric_limits<std::uint64_t>::max())
        return kAudio_ParamError;
    out = after >= 0 ? host + secondsToHostTime(after) : host - std::min(host, secondsToHostTime(-after));
    return noErr;
}

std::int32_t MusicPlayer::beatsForHostTime(std::uint64_t hostTime, MusicTimeStamp& out) const {
    if (!playing_ || !sequence_) return kAudioToolboxErr_InvalidPlayerState;
    const auto [host, seconds] = anchor();
    const double since =
        hostTime >= host ? hostTimeToSeconds(hostTime - host) : -hostTimeToSeconds(host - hostTime);
    out = sequence_->beatsForSeconds(seconds + since * rate_);
    return noErr;
}

void MusicPlayer::preroll() {}

void MusicPlayer::start() {
    if (playing_ || !sequence_) return;
    playing_ = true;
    startRoutes();
}

void MusicPlayer::stop() {
    if (!playing_) return;
    startBeats_ = timeOfRoutes();
    stopRoutes();
    playing_ = false;
}

MusicTimeStamp MusicPlayer::time() const {
    return playing_ ? timeOfRoutes() : startBeats_;
}

void MusicPlayer::setTime(MusicTimeStamp beats) {
    if (!std::isfinite(beats)) return;
    const bool was = playing_;
    stop();
    startBeats_ = beats;
    if (was) start();
}

std::int32_t MusicPlayer::setPlayRateScalar(double rate) {
    if (!(rate > 0) || !std::isfinite(rate)) return kAudioToolboxErr_InvalidPlayerState;
    const bool was = playing_;
    stop();
    rate_ = rate;
    if (was) start();
    return noErr;
}

} // namespace platform
