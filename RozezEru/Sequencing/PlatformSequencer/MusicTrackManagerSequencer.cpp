// The members of MusicTrackManager that reach into its own sequencer: making it, keeping the initial
// track in its sequence, and refusing to reroute while it plays. They have a file of their own so
// that the manager's edits do not depend on PlatformSequencer, which holds its managers.
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Sequencing/PlatformSequencer/MusicTrackManager.h"
#include "RozezEru/Sequencing/PlatformSequencer/PlatformSequencer.h"

namespace rozezeru {

MusicTrackManager::MusicTrackManager(std::string name_)
    : name(std::move(name_)), sequencer(PlatformSequencer::make()) {
    if (!sequencer->sequence) return;
    internalMusicTrack = sequencer->sequence->newTrack();
    initMusicTrack = sequencer->sequence->newTrack();
    if (auto track = internalMusicTrack.lock())
        track->addEvent(0, platform::MIDIMetaEvent{3, std::vector<std::uint8_t>(name.begin(), name.end())});
}

MusicTrackManager::MusicTrackManager(platform::MusicTrackHandle musicTrack, std::string name_)
    : internalMusicTrack(std::move(musicTrack)), name(std::move(name_)),
      sequencer(PlatformSequencer::make()) {
    // A track that already holds events (a loaded file's) keeps its own name, if any.
    if (auto track = internalMusicTrack.lock(); track && track->eventCount() == 0)
        track->addEvent(0, platform::MIDIMetaEvent{3, std::vector<std::uint8_t>(name.begin(), name.end())});
    initSequence();
}

MusicTrackManager::MusicTrackManager(platform::MusicTrackHandle musicTrack,
                                     std::shared_ptr<PlatformSequencer> owner)
    : internalMusicTrack(std::move(musicTrack)), sequencer(std::move(owner)) {
    initSequence();
}

void MusicTrackManager::initSequence() {
    if (!sequencer || !sequencer->sequence) {
        Log(LogSite("initSequence()"), "Sequence is nil");
        return;
    }
    initMusicTrack = sequencer->sequence->newTrack();
    if (!internalMusicTrack.expired() && !initMusicTrack.expired())
        platform::musicTrackMerge(internalMusicTrack, 0, length().beats, initMusicTrack, 0);
}

void MusicTrackManager::setMIDIOutput(std::uint32_t endpoint) {
    auto track = working(nullptr);
    if (!track) return;
    if (sequencer && sequencer->isPlaying()) {
        Log(LogSite("setMIDIOutput(_:)"), "🛑 Error: InvalidPlayerState. Please stop any sequencer "
                                          "playback before performing this operation.");
        return;
    }
    track->setDestinationMIDIEndpoint(endpoint);
}

} // namespace rozezeru
