#pragma once
// The break between singers played out: the break rules told what the song does, and their steps
// carried out on the break music and the song. The song is started and ended through the caller's
// handlers (the window's transport in the program, the player itself offline). A player that is not
// over the node graph has no break music: its breaks are silent. Main thread only.

#include "Source/karaoke/BreakRules.h"
#include "Source/playback/BreakMusic.h"

#include <functional>
#include <memory>
#include <optional>

namespace vantle {

class ApplicationPlayer;

class BetweenSingers {
public:
    struct Handlers {
        // Starts the loaded song, as the play button does.
        std::function<void()> startSong;
        // The song's audio is over before its file: it is ended as at the file's end.
        std::function<void()> endSong;
    };

    // `opener` opens the break's tracks; null: the program's own worker.
    BetweenSingers(ApplicationPlayer& player, const platform::Clock& clock, Handlers handlers,
                   platform::DispatchQueue* opener = nullptr);

    BreakRules& rules() { return rules_; }
    // Null without break music.
    BreakMusic* music() { return music_.get(); }
    void setTracks(std::vector<std::string> paths);

    // The song's play started or its file ended (the player's own news).
    void songStarted();
    void songEnded();
    // Stopped before its end: no break, and the host may start the next singer.
    void songStopped() { rules_.songStopped(); }
    // The host's "start next singer": false while a song plays (nothing done).
    bool startNext();
    // Often: fades come to their end, and a song whose audio is over is ended.
    void tick();

private:
    void apply(const BreakRules::Step& step);

    ApplicationPlayer& player_;
    BreakRules rules_;
    std::unique_ptr<BreakMusic> music_;
    Handlers handlers_;
};

} // namespace vantle
