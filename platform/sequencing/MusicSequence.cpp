#include "platform/sequencing/MusicSequence.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace platform {

namespace {

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

MusicTimeStamp eventEnd(const MusicEvent& event) {
    if (const auto* note = std::get_if<MIDINoteMessage>(&event.data))
        return event.time + std::max(0.0, static_cast<double>(note->duration));
    return event.time;
}

// Both locks, once each when the tracks share a sequence.
struct PairLock {
    std::unique_lock<std::mutex> first, second;
    PairLock(std::mutex& a, std::mutex& b) {
        if (&a == &b) {
            first = std::unique_lock(a);
        } else {
            std::lock(a, b);
            first = std::unique_lock(a, std::adopt_lock);
            second = std::unique_lock(b, std::adopt_lock);
        }
    }
};

} // namespace

MusicEventType eventType(const MusicEventData& data) {
    return std::visit(Overloaded{[](const ExtendedTempoEvent&) { return MusicEventType::extendedTempo; },
                                 [](const MIDIMetaEvent&) { return MusicEventType::meta; },
                                 [](const MIDINoteMessage&) { return MusicEventType::midiNoteMessage; },
                                 [](const MIDIChannelMessage&) { return MusicEventType::midiChannelMessage; },
                                 [](const MIDIRawData&) { return MusicEventType::midiRawData; }},
                      data);
}

std::uint32_t eventDataSize(const MusicEventData& data) {
    return std::visit(
        Overloaded{
            [](const ExtendedTempoEvent&) { return 8u; },
            [](const MIDIMetaEvent& meta) { return 8u + static_cast<std::uint32_t>(meta.data.size()); },
            [](const MIDINoteMessage&) { return 8u; }, [](const MIDIChannelMessage&) { return 4u; },
            [](const MIDIRawData& raw) { return 4u + static_cast<std::uint32_t>(raw.data.size()); }},
        data);
}

// ---- MusicTrack

void MusicTrack::insertLocked(MusicTimeStamp time, MusicEventData data) {
    auto at = std::upper_bound(events_.begin(), events_.end(), time,
                               [](MusicTimeStamp t, const MusicEvent& event) { return t < event.time; });
    auto inserted = events_.insert(at, MusicEvent{time, std::move(data)});
    length_ = std::max(length_, eventEnd(*inserted));
}

std::size_t MusicTrack::eventCount() const {
    std::lock_guard lock(*mutex_);
    return events_.size();
}

std::vector<MusicEvent> MusicTrack::events() const {
    std::lock_guard lock(*mutex_);
    return events_;
}

void MusicTrack::addEvent(MusicTimeStamp time, MusicEventData data) {
    std::lock_guard lock(*mutex_);
    insertLocked(time, std::move(data));
}

void MusicTrack::clear(MusicTimeStamp start, MusicTimeStamp end) {
    std::lock_guard lock(*mutex_);
    std::erase_if(events_, [&](const MusicEvent& event) { return event.time >= start && event.time < end; });
}

MusicTimeStamp MusicTrack::length() const {
    std::lock_guard lock(*mutex_);
    return length_;
}

void MusicTrack::setLength(MusicTimeStamp beats) {
    std::lock_guard lock(*mutex_);
    length_ = beats;
}

MusicTrackLoopInfo MusicTrack::loopInfo() const {
    std::lock_guard lock(*mutex_);
    return loopInfo_;
}

void MusicTrack::setLoopInfo(MusicTrackLoopInfo info) {
    std::lock_guard lock(*mutex_);
    loopInfo_ = info;
}

AudioUnit* MusicTrack::destinationNode() const {
    std::lock_guard lock(*mutex_);
    return destinationNode_;
}

void MusicTrack::setDestinationNode(AudioUnit* unit) {
    std::lock_guard lock(*mutex_);
    destinationNode_ = unit;
}

std::uint32_t MusicTrack::destinationMIDIEndpoint() const {
    std::lock_guard lock(*mutex_);
    return destinationEndpoint_;
}

void MusicTrack::setDestinationMIDIEndpoint(std::uint32_t endpoint) {
    std::lock_guard lock(*mutex_);
    destinationEndpoint_ = endpoint;
}

std::int32_t MusicTrack::copyEvents(const MusicTrackHandle& sourceHandle, MusicTimeStamp start,
                                    MusicTimeStamp end, const MusicTrackHandle& destinationHandle,
                                    MusicTimeStamp at, bool insert) {
    auto source = sourceHandle.lock();
    auto destination = destinationHandle.lock();
    if (!source || !destination) return kAudioToolboxErr_TrackNotFound;
    PairLock lock(*source->mutex_, *destination->mutex_);
    std::vector<MusicEvent> copied;
    for (const auto& event : source->events_)
        if (event.time >= start && event.time < end) copied.push_back(event);
    if (insert && end > start) {
        for (auto& event : destination->events_)
            if (event.time >= at) event.time += end - start;
        if (destination->length_ >= at) destination->length_ += end - start;
    }
    for (auto& event : copied)
        destination->insertLocked(event.time - start + at, std::move(event.data));
    return noErr;
}

std::int32_t musicTrackCopyInsert(const MusicTrackHandle& source, MusicTimeStamp start, MusicTimeStamp end,
                                  const MusicTrackHandle& destination, MusicTimeStamp at) {
    return MusicTrack::copyEvents(source, start, end, destination, at, true);
}

std::int32_t musicTrackMerge(const MusicTrackHandle& source, MusicTimeStamp start, MusicTimeStamp end,
                             const MusicTrackHandle& destination, MusicTimeStamp at) {
    return MusicTrack::copyEvents(source, start, end, destination, at, false);
}

// ---- MusicEventIterator

std::optional<MusicEventIterator> MusicEventIterator::make(const MusicTrackHandle& track) {
    auto strong = track.lock();
    if (!strong) return std::nullopt;
    return MusicEventIterator(std::move(strong));
}

bool MusicEventIterator::hasCurrentEvent() const {
    std::lock_guard lock(*track_->mutex_);
    return index_ < track_->events_.size();
}

bool MusicEventIterator::hasPreviousEvent() const {
    std::lock_guard lock(*track_->mutex_);
    return index_ > 0 && !track_->events_.empty();
}

bool MusicEventIterator::hasNextEvent() const {
    std::lock_guard lock(*track_->mutex_);
    return index_ + 1 < track_->events_.size();
}

std::optional<MusicEvent> MusicEventIterator::eventInfo() const {
    std::lock_guard lock(*track_->mutex_);
    if (index_ >= track_->events_.size()) return std::nullopt;
    return track_->events_[index_];
}

void MusicEventIterator::nextEvent() {
    std::lock_guard lock(*track_->mutex_);
    if (index_ < track_->events_.size()) ++index_;
}

void MusicEventIterator::previousEvent() {
    std::lock_guard lock(*track_->mutex_);
    index_ = std::min(index_, track_->events_.size());
    if (index_ > 0) --index_;
}

void MusicEventIterator::seek(MusicTimeStamp time) {
    std::lock_guard lock(*track_->mutex_);
    const auto& events = track_->events_;
    index_ = static_cast<std::size_t>(
        std::lower_bound(events.begin(), events.end(), time,
                         [](const MusicEvent& event, MusicTimeStamp t) { return event.time < t; }) -
        events.begin());
}

void MusicEventIterator::deleteEvent() {
    std::lock_guard lock(*track_->mutex_);
    if (index_ < track_->events_.size())
        track_->events_.erase(track_->events_.begin() + static_cast<long>(index_));
}

void MusicEventIterator::setEventInfo(MusicEventData data) {
    std::lock_guard lock(*track_->mutex_);
    if (index_ < track_->events_.size()) track_->events_[index_].data = std::move(data);
}

// ---- MusicSequence

MusicSequence::MusicSequence()
    : mutex_(std::make_shared<std::mutex>()), tempoTrack_(new MusicTrack(mutex_)) {}

MusicSequence::~MusicSequence() = default;

MusicTrackHandle MusicSequence::newTrack() {
    std::lock_guard lock(*mutex_);
    tracks_.push_back(std::shared_ptr<MusicTrack>(new MusicTrack(mutex_)));
    return tracks_.back();
}

std::int32_t MusicSequence::disposeTrack(const MusicTrackHandle& track) {
    auto strong = track.lock();
    std::lock_guard lock(*mutex_);
    auto found = std::find(tracks_.begin(), tracks_.end(), strong);
    if (!strong || found == tracks_.end()) return kAudioToolboxErr_TrackNotFound;
    tracks_.erase(found);
    return noErr;
}

std::uint32_t MusicSequence::trackCount() const {
    std::lock_guard lock(*mutex_);
    return static_cast<std::uint32_t>(tracks_.size());
}

MusicTrackHandle MusicSequence::indTrack(std::uint32_t index) const {
    std::lock_guard lock(*mutex_);
    if (index >= tracks_.size()) return {};
    return tracks_[index];
}

std::optional<std::uint32_t> MusicSequence::trackIndex(const MusicTrackHandle& track) const {
    auto strong = track.lock();
    std::lock_guard lock(*mutex_);
    auto found = std::find(tracks_.begin(), tracks_.end(), strong);
    if (!strong || found == tracks_.end()) return std::nullopt;
    return static_cast<std::uint32_t>(found - tracks_.begin());
}

std::vector<std::pair<MusicTimeStamp, double>> MusicSequence::tempoMap() const {
    std::vector<std::pair<MusicTimeStamp, double>> map;
    {
        std::lock_guard lock(*mutex_);
        for (const auto& event : tempoTrack_->events_)
            if (const auto* tempo = std::get_if<ExtendedTempoEvent>(&event.data))
                if (tempo->bpm > 0 && std::isfinite(tempo->bpm)) map.emplace_back(event.time, tempo->bpm);
    }
    // A later event at the same beat wins.
    std::vector<std::pair<MusicTimeStamp, double>> unique;
    for (const auto& entry : map) {
        if (!unique.empty() && unique.back().first == entry.first)
            unique.back() = entry;
        else
            unique.push_back(entry);
    }
    if (unique.empty() || unique.front().first > 0) unique.insert(unique.begin(), {0.0, 120.0});
    return unique;
}

double MusicSequence::secondsForBeats(MusicTimeStamp beats) const {
    const auto map = tempoMap();
    if (beats <= map.front().first) return beats * 60.0 / map.front().second;
    double seconds = map.front().first * 60.0 / map.front().second;
    for (std::size_t i = 0; i < map.size(); ++i) {
        const double segmentEnd = i + 1 < map.size() ? std::min(beats, map[i + 1].first) : beats;
        seconds += (segmentEnd - map[i].first) * 60.0 / map[i].second;
        if (segmentEnd >= beats) break;
    }
    return seconds;
}

MusicTimeStamp MusicSequence::beatsForSeconds(double seconds) const {
    const auto map = tempoMap();
    double elapsed = map.front().first * 60.0 / map.front().second;
    if (seconds <= elapsed) return seconds * map.front().second / 60.0;
    for (std::size_t i = 0; i < map.size(); ++i) {
        if (i + 1 < map.size()) {
            const double segment = (map[i + 1].first - map[i].first) * 60.0 / map[i].second;
            if (elapsed + segment < seconds) {
                elapsed += segment;
                continue;
            }
        }
        return map[i].first + (seconds - elapsed) * map[i].second / 60.0;
    }
    return 0;
}

std::uint16_t MusicSequence::timeResolution() const {
    std::lock_guard lock(*mutex_);
    return timeResolution_;
}

void MusicSequence::clearLocked() {
    timeResolution_ = 480;
    tracks_.clear();
    tempoTrack_->events_.clear();
    tempoTrack_->length_ = 0;
}

} // namespace platform
