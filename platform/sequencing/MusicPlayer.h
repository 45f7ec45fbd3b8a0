#pragma once
// Plays a MusicSequence into the audio units its tracks are routed to, sample-accurately: the
// sequence is turned into a schedule of frames when play starts, and a pre-render observer on each
// destination unit hands the events due in the coming cycle to the unit's MIDI input. Stands for
// the original platform's music player.
//
// Control calls from one thread (normally the main thread). Edits to the sequence apply the next
// time the player starts or moves. The destination units must outlive the playback.

#include "platform/audio/AudioUnit.h"
#include "platform/foundation/Clock.h"
#include "platform/midi/MIDIService.h"
#include "platform/sequencing/MusicSequence.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

class MusicPlayer {
public:
    MusicPlayer();
    ~MusicPlayer();
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    void setSequence(MusicSequence* sequence);
    // Routes a track; nothing routes it nowhere. Takes effect at once while playing.
    void setDestination(const MusicTrackHandle& track, AudioUnit* unit);

    // Where tracks routed to a MIDI endpoint (and to no audio unit) are sent: through `port` of
    // `service`, timed by `clock` on a thread of the player's. The service must outlive the player.
    void setMIDIOutput(MIDIService* service, MIDIPortRef port, const Clock& clock = Clock::system());
    // The clock that moves a player none of whose tracks is routed to a unit (the endpoint thread's
    // too). Takes effect at the next start.
    void setClock(const Clock& clock) { clock_ = &clock; }

    void preroll();
    void start();
    void stop();
    bool isPlaying() const { return playing_; }
    // Beats from the start of the sequence; not wrapped by looping. A player with no unit to render
    // its tracks moves on its clock.
    MusicTimeStamp time() const;
    void setTime(MusicTimeStamp beats);
    double playRateScalar() const { return rate_; }
    // Rates not above 0 or not finite are refused.
    std::int32_t setPlayRateScalar(double rate);
    // The host time (platform::hostTime()) at which a beat plays, and the other way round, on the
    // tempo map and the rate, from the latest render period of a destination unit (or the start).
    // kAudioToolboxErr_InvalidPlayerState while stopped; kAudio_ParamError for a time the host clock
    // cannot hold or a beat that is not a number.
    std::int32_t hostTimeForBeats(MusicTimeStamp beats, std::uint64_t& hostTime) const;
    std::int32_t beatsForHostTime(std::uint64_t hostTime, MusicTimeStamp& beats) const;

private:
    struct Schedule;
    struct Route;
    std::shared_ptr<Schedule> buildSchedule(const std::function<bool(const MusicTrack&)>& plays,
                                            double rate) const;
    void startEndpointThread();
    void stopEndpointThread();
    void startRoutes();
    static void placeCursors(Route& route);
    template <typename Send> static void advance(Route& route, double to, Send&& send);
    void stopRoutes();
    MusicTimeStamp timeOfRoutes() const;
    // A host time and the sequence's seconds that played at it.
    std::pair<std::uint64_t, double> anchor() const;

    MusicSequence* sequence_ = nullptr;
    std::vector<std::unique_ptr<Route>> routes_;
    MIDIService* midiService_ = nullptr;
    MIDIPortRef midiPort_ = 0;
    const Clock* clock_ = &Clock::system();
    std::unique_ptr<Route> endpointRoute_;
    std::thread endpointThread_;
    std::mutex endpointMutex_;
    std::condition_variable endpointWake_;
    bool endpointStop_ = false;
    bool playing_ = false;
    MusicTimeStamp startBeats_ = 0; // where the next start begins, and where a stopped player stands
    double rate_ = 1.0;
    double clockStartedAt_ = 0;       // the clock's seconds at the latest start of the routes
    std::uint64_t hostStartedAt_ = 0; // the host time then
};

} // namespace platform
