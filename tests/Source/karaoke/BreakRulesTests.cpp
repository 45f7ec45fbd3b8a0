// The break between singers as a script of what happens, with the clock moved by the script: the music
// fades in at a song's end and out at the host's start, the song starts only when the host starts it and
// the music is gone, and never while music plays.

#include "Source/karaoke/BreakRules.h"
#include "Source/karaoke/SongTail.h"
#include "tests/support/Clocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using vantle::BreakRules;
using Phase = BreakRules::Phase;
using Step = BreakRules::Step;
using Music = Step::Music;

struct Event {
    const char* what;
    double at; // seconds on the script's clock
    std::function<Step(BreakRules&)> act;
    Step step;
    Phase after;
};

Step started(BreakRules& rules) {
    return rules.songStarted();
}
Step ended(BreakRules& rules) {
    return rules.songEnded();
}
Step host(BreakRules& rules) {
    return rules.hostStartsNext();
}
Step tick(BreakRules& rules) {
    return rules.tick();
}
std::function<Step(BreakRules&)> heard(double seconds) {
    return [seconds](BreakRules& rules) { return rules.tick(seconds); };
}

const Step none{};
const Step fadeIn{Music::fadeIn, BreakRules::fadeInSeconds};
const Step fadeOut{Music::fadeOut, BreakRules::defaultFadeOutSeconds};
const Step startAfterFade{Music::pause, 0, false, true};
const Step startAtOnce{Music::keep, 0, false, true};

struct Script {
    const char* name;
    bool music;
    std::optional<double> audioEnd;
    std::vector<Event> events;
};

} // namespace

TEST(BreakRulesTest, AnEveningOfEndsAndStarts) {
    const std::vector<Script> scripts = {
        {"a song's end brings the music, the host's start takes it and starts the song",
         true,
         std::nullopt,
         {{"song plays", 0, started, none, Phase::song},
          {"host presses during the song", 10, host, none, Phase::song},
          {"file ends", 180, ended, fadeIn, Phase::fadingIn},
          {"the same end told twice", 180.1, ended, none, Phase::fadingIn},
          {"fade not over", 180.9, tick, none, Phase::fadingIn},
          {"fade over", 181, tick, none, Phase::breakMusic},
          {"the break goes on without end", 400, tick, none, Phase::breakMusic},
          {"host starts", 400, host, fadeOut, Phase::fadingOut},
          {"host presses again", 400.5, host, none, Phase::fadingOut},
          {"fading out", 401.9, tick, none, Phase::fadingOut},
          {"faded: the song starts", 402, tick, startAfterFade, Phase::song},
          {"song plays", 402, started, none, Phase::song}}},
        {"the host starts while the music still fades in",
         true,
         std::nullopt,
         {{"song plays", 0, started, none, Phase::song},
          {"file ends", 60, ended, fadeIn, Phase::fadingIn},
          {"host starts at once", 60.3, host, fadeOut, Phase::fadingOut},
          {"faded", 62.3, tick, startAfterFade, Phase::song}}},
        {"a song started by its play button silences the music at once",
         true,
         std::nullopt,
         {{"song plays", 0, started, none, Phase::song},
          {"file ends", 60, ended, fadeIn, Phase::fadingIn},
          {"play pressed", 70, started, Step{Music::pause}, Phase::song},
          {"a tick in the song does nothing", 70.1, tick, none, Phase::song}}},
        {"without music the break is silent and the start is at once",
         false,
         std::nullopt,
         {{"song plays", 0, started, none, Phase::song},
          {"file ends", 60, ended, none, Phase::ended},
          {"ticks", 70, tick, none, Phase::ended},
          {"host starts", 80, host, startAtOnce, Phase::song}}},
        {"a song whose audio is over before its file ends there",
         true,
         170.0,
         {{"song plays", 0, started, none, Phase::song},
          {"before the audio's end", 169.9, heard(169.9), none, Phase::song},
          {"the audio's end", 170, heard(170.0), Step{Music::fadeIn, BreakRules::fadeInSeconds, true},
           Phase::fadingIn},
          {"then the file's end", 171, ended, none, Phase::fadingIn}}},
    };
    for (const Script& script : scripts) {
        testsupport::FakeClock clock;
        BreakRules rules(clock);
        rules.setHasMusic(script.music);
        rules.setSongAudioEnd(script.audioEnd);
        double now = 0;
        for (const Event& event : script.events) {
            clock.advance(event.at - now);
            now = event.at;
            const Step step = event.act(rules);
            EXPECT_EQ(step.music, event.step.music) << script.name << ": " << event.what;
            EXPECT_DOUBLE_EQ(step.seconds, event.step.seconds) << script.name << ": " << event.what;
            EXPECT_EQ(step.endSong, event.step.endSong) << script.name << ": " << event.what;
            EXPECT_EQ(step.startSong, event.step.startSong) << script.name << ": " << event.what;
            EXPECT_EQ(rules.phase(), event.after) << script.name << ": " << event.what;
        }
    }
}

// The fade out is the host's to set; none starts the song at once; a playlist emptied in the break ends it.
TEST(BreakRulesTest, FadeOutLengthAndMusicGone) {
    testsupport::FakeClock clock;
    BreakRules rules(clock);
    rules.setHasMusic(true);
    rules.setFadeOutSeconds(0.0);
    rules.songStarted();
    rules.songEnded();
    const Step step = rules.hostStartsNext();
    EXPECT_TRUE(step.startSong);
    EXPECT_EQ(rules.phase(), Phase::song);

    rules.setFadeOutSeconds(5.0);
    rules.songEnded();
    EXPECT_EQ(rules.hostStartsNext().seconds, 5.0);
    rules.songStarted();
    rules.songEnded();
    rules.setHasMusic(false);
    EXPECT_EQ(rules.phase(), Phase::ended);
    EXPECT_TRUE(rules.hostStartsNext().startSong);

    // A song the host stopped halfway makes no break, and does not hold the next singer back.
    rules.setHasMusic(true);
    rules.songStopped();
    EXPECT_EQ(rules.phase(), Phase::ended);
    EXPECT_TRUE(rules.hostStartsNext().startSong);
}

// The quiet end of a song: silence, or a fade 30 dB under its loud level, to the very end.
TEST(SongTailTest, TheQuietStretchAtTheEnd) {
    auto windows = [](std::initializer_list<std::pair<int, double>> runs) {
        std::vector<float> peaks;
        for (auto [count, dbfs] : runs)
            for (int i = 0; i < count; ++i)
                peaks.push_back(dbfs <= -200 ? 0.0f : float(std::pow(10.0, dbfs / 20.0)));
        return peaks;
    };
    const struct {
        const char* name;
        std::vector<float> peaks;
        std::optional<double> quietFrom;
    } cases[] = {
        {"music to the end", windows({{100, -6}}), std::nullopt},
        {"silence after the music", windows({{100, -6}, {40, -300}}), 10.0 + 100 * 0.05},
        {"a pause inside the song is not its end", windows({{40, -6}, {20, -300}, {40, -6}, {10, -300}}),
         10.0 + 100 * 0.05},
        {"a fade 30 dB down counts as over", windows({{100, -6}, {10, -20}, {10, -40}, {20, -45}}),
         10.0 + 110 * 0.05},
        {"a quiet song's soft ending still plays", windows({{100, -30}, {10, -45}}), std::nullopt},
        {"nothing read", {}, std::nullopt},
        {"no sound at all: the file's end stands", windows({{100, -300}}), std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<double> found = vantle::SongTail::quietFrom(c.peaks, 10.0);
        ASSERT_EQ(found.has_value(), c.quietFrom.has_value()) << c.name;
        if (found) {
            EXPECT_NEAR(*found, *c.quietFrom, 1e-9) << c.name;
        }
    }
}
