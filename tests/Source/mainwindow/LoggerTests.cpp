// The listening log, line by line, in the US English locale (the tests run in UTC).

#include "Source/mainwindow/Logger.h"
#include "Source/session/AppState.h"
#include "Source/session/PlayerServices.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/TextFile.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/Clocks.h"
#include "tests/support/ConsoleCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;

TEST(Logger, WritesTheDiaryOfListening) {
    SessionTempFolder folder;
    const platform::Url url = folder.url("vantle.log.txt"), audio = writeSilentWav(folder.url("a.wav"), 1);
    testsupport::FakeClock clock(platform::Date::fromUnix(1'796'486'706.0)); // 2026-12-05 16:05:06
    // An entry at `path` of that length (none: not measurable), of which `heard` seconds were heard.
    auto log = [&](Logger& logger, const std::string& path, double heard,
                   std::optional<double> length = 100) {
        std::shared_ptr<PlaylistEntry> entry = PlaylistEntry::make(audio);
        entry->_url = platform::Url::fileURLWithPath(path);
        entry->_cachedDuration = length;
        entry->currentTimeRangeSet = heardSpans({{0, heard}});
        logger.logEntry(*entry);
    };
    {
        Logger first(url, clock, "en_US");
        first.log("-------------------------");
        log(first, "/Music/Salsa/song.mp3", 87.4);
        log(first, "/Music/Salsa/other.mp3", 9.6);
        log(first, "/Music/Salsa/quiet.mp3", 9.4);
        log(first, "/Music/Salsa/unmeasured.mp3", 50, std::nullopt);
        log(first, "/Music/Salsa/empty.mp3", 0, 0.0);
        log(first, "/Music/Tango/take.m4a", 100);
        log(first, "/Music/Tango/take.wav", 50);
        log(first, "/Music/Odd\nFolder/line\rbreak.mp3", 50);
        clock.advance(8 * 3600);
        first.log("after midnight");
    }
    Logger second(url, clock, "en_US");
    second.log("-------------------------");
    log(second, "/Music/Tango/take.m4a", 100);
    const std::vector<std::string> lines =
        platform::splittingAtControlCharacters(platform::readTextFile(url.path()).valueOr(std::string()));
    const std::string pm = "4:05:06\u202FPM ", am = "12:05:06\u202FAM ";
    EXPECT_THAT(lines,
                ElementsAre("Vantle Log", ": Dec 5, 2026", pm + "-------------------------",
                            "> /Music/Salsa/", pm + "87% song", pm + "10% other", "> /Music/Tango/",
                            pm + "100% take", pm + "50% take.wav", "> /Music/Odd\\nFolder/",
                            pm + "50% line\\rbreak", ": Dec 6, 2026", am + "after midnight", ": Dec 6, 2026",
                            am + "-------------------------", "> /Music/Tango/", am + "100% take", ""));

    // A log that went away is not made again; each line says so instead.
    std::filesystem::remove(url.path());
    testsupport::ScopedConsoleCapture console;
    second.log("lost");
    EXPECT_FALSE(platform::fileExists(url.path()));
    EXPECT_THAT(console.lines(), ElementsAre("Can't write to log"));
}

// One line per listening: a song left again without being played since, or one whose ranges the
// state file brings back from the run that logged them as it quit, gets no second line.
TEST(Logger, WritesNoSecondLineForAListeningAlreadyLogged) {
    SessionTempFolder folder;
    const platform::Url url = folder.url("vantle.log.txt"), audio = writeSilentWav(folder.url("a.wav"), 1);
    testsupport::FakeClock clock(platform::Date::fromUnix(1'796'486'706.0));
    Logger logger(url, clock, "en_US");
    auto songLines = [&] {
        const std::vector<std::string> lines =
            platform::splittingAtControlCharacters(platform::readTextFile(url.path()).valueOr(std::string()));
        std::vector<std::string> songs;
        for (const std::string& line : lines)
            if (const std::size_t at = line.find("% "); at != std::string::npos && at > 0)
                songs.push_back(line.substr(line.find_last_not_of("0123456789", at - 1) + 1));
        return songs;
    };
    std::shared_ptr<PlaylistEntry> song = PlaylistEntry::make(audio);
    song->_cachedDuration = 100;
    FakePlayer player;
    player.playerEntry = song;
    auto playedTo = [&](double time) {
        player.fileTime = time;
        recordPlayedRange(player);
    };
    playedTo(0);
    playedTo(40);
    logger.logEntry(*song);
    song->finishListening(clock);
    logger.logEntry(*song);
    EXPECT_THAT(songLines(), ElementsAre("40% a.wav")) << "left again unplayed";

    // Heard again, played on from where it was or started elsewhere: a new listening, with its line.
    playedTo(60);
    logger.logEntry(*song);
    logger.logEntry(*song);
    song->beginTimeRange(80);
    playedTo(90);
    logger.logEntry(*song);
    EXPECT_THAT(songLines(), ElementsAre("40% a.wav", "60% a.wav", "70% a.wav"));

    // The next start: the quit logged the song, and the state file brings its ranges back.
    AppState state;
    state.currentTimeRangeSet = song->currentTimeRangeSet;
    std::shared_ptr<PlaylistEntry> restored = PlaylistEntry::make(audio);
    restored->_cachedDuration = 100;
    state.restore(*restored);
    logger.logEntry(*restored);
    EXPECT_EQ(songLines().size(), 3u);
}

} // namespace
} // namespace vantle::testing
