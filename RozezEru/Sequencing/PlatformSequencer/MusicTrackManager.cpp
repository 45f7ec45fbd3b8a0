#include "RozezEru/Sequencing/PlatformSequencer/MusicTrackManager.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Settings.h"
#include "RozezEru/MIDI/MIDIMessages.h"

#include <algorithm>

namespace rozezeru {

using platform::MusicEventType;

namespace {
const char* const noTrack = "internalMusicTrack does not exist";

Duration beatsAtSettingsRate(double beats) {
    return Duration(beats, 60.0);
}
} // namespace

void iterateMusicTrack(const platform::MusicTrackHandle& track, const MusicTrackEventHandler& handler) {
    auto iterator = platform::MusicEventIterator::make(track);
    if (!iterator) {
        Log(LogSite("iterateMusicTrack(_:midiEventHandler:)"), "Unable to create iterator");
        return;
    }
    while (auto event = iterator->eventInfo())
        if (!handler(*iterator, event->time, event->type(), event->data)) iterator->nextEvent();
}

std::shared_ptr<platform::MusicTrack> MusicTrackManager::working(const char* function) const {
    auto track = internalMusicTrack.lock();
    if (!track && function) Log(LogSite(function), noTrack);
    return track;
}

bool MusicTrackManager::isEmpty() const {
    if (!working("isEmpty")) return true;
    auto iterator = platform::MusicEventIterator::make(internalMusicTrack);
    if (!iterator) {
        Log(LogSite("isEmpty"), "Unable to create iterator in isEmpty");
        return true;
    }
    return !iterator->hasCurrentEvent();
}

Duration MusicTrackManager::length() const {
    auto track = working(nullptr);
    return beatsAtSettingsRate(track ? track->length() : 0.0);
}

Duration MusicTrackManager::initLength() const {
    auto track = initMusicTrack.lock();
    return beatsAtSettingsRate(track ? track->length() : 0.0);
}

void MusicTrackManager::setNode(platform::AudioUnit* node) {
    if (auto track = working(nullptr)) track->setDestinationNode(node);
}

void MusicTrackManager::setLoopInfo(const Duration& duration, std::int64_t loopCount) {
    auto track = working(nullptr);
    if (!track) return;
    // The record holds 32 bits; larger counts saturate rather than wrap.
    const auto count = static_cast<std::int32_t>(std::clamp<std::int64_t>(loopCount, INT32_MIN, INT32_MAX));
    track->setLoopInfo({duration.beats, count, std::nullopt});
}

void MusicTrackManager::setLengthProperty(const Duration& duration) {
    if (auto track = working(nullptr)) track->setLength(duration.beats);
}

void MusicTrackManager::setLength(const Duration& duration) {
    auto track = working("setLength(_:)");
    if (!track) return;
    const double end = duration.beats;
    // Events at or after the new end go and notes crossing it are cut, so nothing moves in time.
    if (isNotEmpty()) {
        iterateMusicTrack(internalMusicTrack, [&](platform::MusicEventIterator& it, double time,
                                                  MusicEventType, const platform::MusicEventData& data) {
            if (time >= end) {
                it.deleteEvent();
                return true;
            }
            if (const auto* note = std::get_if<platform::MIDINoteMessage>(&data);
                note && time + note->duration > end) {
                auto cut = *note;
                cut.releaseVelocity = 0;
                cut.duration = static_cast<float>(end - time);
                it.setEventInfo(cut);
            }
            return false;
        });
    }
    track->setLength(end);
}

void MusicTrackManager::clear() {
    clearMetaEvents();
    if (auto track = working(nullptr); track && isNotEmpty()) track->clear(0, length().beats);
}

void MusicTrackManager::clearMetaEvents() {
    clearHelper(MusicEventType::meta, "clearMetaEvents");
}

void MusicTrackManager::clearSysExEvents() {
    clearHelper(MusicEventType::midiRawData, "clearSysExEvents");
}

void MusicTrackManager::clearHelper(MusicEventType type, const std::string& caller) {
    if (!working("clearHelper(_:from:)")) return;
    if (!platform::MusicEventIterator::make(internalMusicTrack)) {
        Log(LogSite("clearHelper(_:from:)"), "Unable to create iterator in " + caller);
        return;
    }
    iterateMusicTrack(internalMusicTrack, [&](platform::MusicEventIterator& it, double,
                                              MusicEventType eventType, const platform::MusicEventData&) {
        if (eventType != type) return false;
        it.deleteEvent();
        return true;
    });
}

void MusicTrackManager::clearNote(std::uint8_t note) {
    if (!working("clearNote(_:)")) return;
    iterateMusicTrack(internalMusicTrack, [&](platform::MusicEventIterator& it, double, MusicEventType,
                                              const platform::MusicEventData& data) {
        const auto* message = std::get_if<platform::MIDINoteMessage>(&data);
        if (!message || message->note != note) return false;
        it.deleteEvent();
        return true;
    });
}

void MusicTrackManager::clearRange(const Duration& start, const Duration& duration) {
    auto track = working("clearRange(start:duration:)");
    if (track && isNotEmpty()) track->clear(start.beats, start.beats + duration.beats);
}

void MusicTrackManager::add(std::uint8_t noteNumber, std::uint8_t velocity, const Duration& position,
                            const Duration& duration, std::uint8_t channel) {
    if (auto track = working("add(noteNumber:velocity:position:duration:channel:)"))
        track->addEvent(position.beats, platform::MIDINoteMessage{channel, noteNumber, velocity, 0,
                                                                  static_cast<float>(duration.beats)});
}

void MusicTrackManager::add(const MIDINoteData& note) {
    add(note.noteNumber, note.velocity, note.position, note.duration, note.channel);
}

void MusicTrackManager::replaceNotes(const std::vector<MIDINoteData>& notes) {
    clearRange(beatsAtSettingsRate(0), length());
    for (const auto& note : notes)
        add(note);
}

void MusicTrackManager::addChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                                          const Duration& position, const char* function) {
    if (auto track = working(function))
        track->addEvent(position.beats, platform::MIDIChannelMessage{status, data1, data2, 0});
}

void MusicTrackManager::addController(std::uint8_t controller, std::uint8_t value, const Duration& position,
                                      std::uint8_t channel) {
    addChannelMessage(static_cast<std::uint8_t>(0xB0 | (channel & 0x0F)), controller, value, position,
                      "addController(_:value:position:channel:)");
}

void MusicTrackManager::addAftertouch(std::uint8_t noteNumber, std::uint8_t pressure,
                                      const Duration& position, std::uint8_t channel) {
    addChannelMessage(static_cast<std::uint8_t>(0xA0 | (channel & 0x0F)), noteNumber, pressure, position,
                      "addAftertouch(_:pressure:position:channel:)");
}

void MusicTrackManager::addChannelAftertouch(std::uint8_t pressure, const Duration& position,
                                             std::uint8_t channel) {
    addChannelMessage(static_cast<std::uint8_t>(0xD0 | (channel & 0x0F)), pressure, 0, position,
                      "addChannelAftertouch(pressure:position:channel:)");
}

void MusicTrackManager::addPitchBend(int value, const Duration& position, std::uint8_t channel) {
    // Wrapping the high bits would turn a slight down-bend into the full up-bend.
    const int clamped = std::clamp(value, 0, 16383);
    addChannelMessage(static_cast<std::uint8_t>(0xE0 | (channel & 0x0F)),
                      static_cast<std::uint8_t>(clamped & 0x7F), static_cast<std::uint8_t>(clamped >> 7),
                      position, "addPitchBend(_:position:channel:)");
}

void MusicTrackManager::addPitchBendCenter(const Duration& position, std::uint8_t channel) {
    addPitchBend(8192, position, channel);
}

void MusicTrackManager::addSysEx(const std::vector<std::uint8_t>& data, const Duration& position) {
    if (auto track = working("addSysEx(_:position:)"))
        track->addEvent(position.beats, platform::MIDIRawData{data});
}

std::vector<MIDINoteData> MusicTrackManager::getMIDINoteData() const {
    std::vector<MIDINoteData> notes;
    if (!working("getMIDINoteData()")) return notes;
    iterateMusicTrack(internalMusicTrack, [&](platform::MusicEventIterator&, double time, MusicEventType,
                                              const platform::MusicEventData& data) {
        if (const auto* note = std::get_if<platform::MIDINoteMessage>(&data))
            notes.push_back({note->note, note->velocity, note->channel, beatsAtSettingsRate(note->duration),
                             beatsAtSettingsRate(time)});
        return false;
    });
    return notes;
}

void MusicTrackManager::copyAndMergeTo(MusicTrackManager& other) const {
    if (internalMusicTrack.expired() || other.internalMusicTrack.expired()) {
        Log(LogSite("copyAndMergeTo(musicTrack:)"), noTrack);
        return;
    }
    platform::musicTrackMerge(internalMusicTrack, 0, length().beats, other.internalMusicTrack, 0);
}

std::shared_ptr<MusicTrackManager> MusicTrackManager::duplicate() const {
    auto copy = std::make_shared<MusicTrackManager>("Unnamed");
    if (internalMusicTrack.expired() || copy->internalMusicTrack.expired()) return nullptr;
    platform::musicTrackMerge(internalMusicTrack, 0, length().beats, copy->internalMusicTrack, 0);
    return copy;
}

void MusicTrackManager::restoreInitialState() {
    const double initial = initLength().beats;
    clear();
    auto initTrack = initMusicTrack.lock();
    if (!initTrack || internalMusicTrack.expired()) return;
    setLength(initLength());
    initTrack->setLength(initial);
    platform::musicTrackMerge(initMusicTrack, 0, length().beats, internalMusicTrack, 0);
}

std::optional<std::vector<PlatformMIDIEvent>>
MusicTrackManager::getRawEventData(std::optional<MusicEventType> type) const {
    auto track = internalMusicTrack.lock();
    if (!track) {
        Log(LogSite("getRawEventData(ofType:)"), "debug failed - track doesn't exist");
        return std::nullopt;
    }
    std::vector<PlatformMIDIEvent> out;
    for (auto& event : track->events())
        if (!type || event.type() == *type)
            out.push_back({event.time, event.type(), event.data, platform::eventDataSize(event.data)});
    return out;
}

std::vector<MIDIProgramChangeEvent> MusicTrackManager::programChangeEvents() const {
    std::vector<MIDIProgramChangeEvent> out;
    for (const auto& record : getRawEventData(std::nullopt).value_or(std::vector<PlatformMIDIEvent>{}))
        if (const auto* message =
                record.data ? std::get_if<platform::MIDIChannelMessage>(&*record.data) : nullptr)
            if ((message->status & 0xF0) == 0xC0)
                out.push_back(
                    {record.time, static_cast<std::uint8_t>(message->status & 0x0F), message->data1});
    return out;
}

void MusicTrackManager::debug() const {
    const auto records = getRawEventData(std::nullopt);
    if (!records) return;
    const LogSite site("debug()");
    for (const auto& record : *records) {
        if (!record.data) continue;
        const std::string time = platform::floatText(record.time);
        std::visit(
            [&](const auto& data) {
                using R = std::decay_t<decltype(data)>;
                if constexpr (std::is_same_v<R, platform::MIDIMetaEvent>) {
                    Log(site, "MIDI Meta @ " + time + " - size: " + std::to_string(data.data.size()) +
                                  " - type: " + std::to_string(data.metaEventType) + " - data: " +
                                  (data.data.empty() ? std::string("0") : std::to_string(data.data[0])));
                } else if constexpr (std::is_same_v<R, platform::MIDIChannelMessage>) {
                    const int nibble = data.status >> 4;
                    if (nibble == 0xC) {
                        Log(site, "MIDI Program Change @ " + time +
                                      " - program: " + std::to_string(data.data1) +
                                      " - channel: " + std::to_string(data.status & 0x0F));
                    } else if (auto status = midiStatusTypeFromRawValue(nibble)) {
                        Log(site, "MIDI Channel Message @" + time + " data1:" + std::to_string(data.data1) +
                                      " data2:" + std::to_string(data.data2) +
                                      " status:" + std::string(caseName(*status)));
                    }
                } else if constexpr (std::is_same_v<R, platform::MIDINoteMessage>) {
                    Log(site, "MIDI Note @:" + time + " note:" + std::to_string(data.note) +
                                  " velocity:" + std::to_string(data.velocity) +
                                  " duration:" + platform::floatText(data.duration) +
                                  " channel:" + std::to_string(data.channel));
                } else {
                    Log(site, "MIDI Event @ " + time);
                }
            },
            *record.data);
    }
}

} // namespace rozezeru
