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

    void preroll();
    void start();
    void stop();
    bool isPlaying() const { return playing_; }
    // Beats from the start of the sequence; not wrapped by looping.
    MusicTimeStamp time() const;
    void setTime(MusicTimeStamp beats);
    double playRateScalar() const { return rate_; }
    // Rates not above 0 or not finite are refused.
    std::int32_t setPlayRateScalar(double rate);

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
};

} // namespace platform
