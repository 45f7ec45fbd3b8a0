#pragma once
// When the break music between singers plays: it fades in as a singer's song ends, fades out when the
// host starts the next singer, and the song starts once it is gone, so that it never plays over a
// singer. A song's end never starts the next one. Qt-free; main thread, times from the injected clock.

#include "platform/foundation/Clock.h"

#include <optional>

namespace vantle {

class BreakRules {
public:
    enum class Phase { song, ended, fadingIn, breakMusic, fadingOut };

    // What the caller does now with the music and the song.
    struct Step {
        enum class Music { keep, fadeIn, fadeOut, pause };
        Music music = Music::keep;
        // The length of the fade asked for.
        double seconds = 0;
        // The song's audio is over before its file: end it now, as at the file's end.
        bool endSong = false;
        // Start the loaded song (at its own key and tempo).
        bool startSong = false;
        friend bool operator==(const Step&, const Step&) = default;
    };

    // Fading in reaches −20 dBFS in a fifth of this for music at −6 dBFS.
    static constexpr double fadeInSeconds = 1.0;
    static constexpr double defaultFadeOutSeconds = 2.0;

    explicit BreakRules(const platform::Clock& clock = platform::Clock::system());

    Phase phase() const { return phase_; }
    // Without music the break is silent, and the host's start starts the song at once; music gone in a
    // break leaves it silent.
    void setHasMusic(bool hasMusic);
    double fadeOutSeconds() const { return fadeOut_; }
    void setFadeOutSeconds(double seconds);

    // The loaded song plays (started by anyone, its play button too): whatever music there is stops at once.
    Step songStarted();
    // Where the loaded song's audio falls silent or fades for good, in its own seconds (nullopt: at its
    // file's end only).
    void setSongAudioEnd(std::optional<double> seconds) { audioEnd_ = seconds; }
    // The song's file played to its end, or it was stopped there.
    Step songEnded();
    // The song was stopped before its end: no break, and the host's start starts the next at once.
    void songStopped();
    // The host starts the next singer. Nothing while a song plays: only a song's end makes a break.
    Step hostStartsNext();
    // Called often (each frame or render cycle): fades come to their end, and a playing song whose
    // audio is over at `heard` seconds ends.
    Step tick(std::optional<double> heard = std::nullopt);

private:
    double elapsed() const;

    const platform::Clock& clock_;
    Phase phase_ = Phase::ended;
    bool hasMusic_ = false;
    double fadeOut_ = defaultFadeOutSeconds;
    std::optional<double> audioEnd_;
    platform::Date since_;
};

} // namespace vantle
