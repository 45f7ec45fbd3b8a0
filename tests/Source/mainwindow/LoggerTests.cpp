// The listening log, line by line, in the US English locale (the tests run in UTC).

#include "Source/mainwindow/Logger.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "tests/Source/session/SessionFakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;

TEST(Logger, WritesTheDiaryOfListening) {
    SessionTempFolder folder;
    const platform::Url url = platform::Url::fileURLWithPath(folder.file("vantle.log.txt"));
    const platform::Url audio = writeSilentWav(platform::Url::fileURLWithPath(folder.file("a.wav")), 1);
    // 2026-12-05 16:05:06 UTC.
    platform::FakeClock clock(platform::Date::fromUnix(1'796'486'706.0));
    // An entry at `path`, 100 s long, of which `heard` seconds were heard.
    auto entry = [&](const std::string& path, double heard, std::optional<double> length = 100.0) {
        std::shared_ptr<PlaylistEntry> made = PlaylistEntry::make(audio);
        made->_url = platform::Url::fileURLWithPath(path);
        made->_cachedDuration = length;
        made->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
        made->currentTimeRangeSet->ranges = {{0, heard}};
        return made;
    };
    auto lines = [&] {
        const platform::Bytes bytes = platform::readFile(url.path()).valueOr(platform::Bytes{});
        std::vector<std::string> result;
        std::string text(bytes.begin(), bytes.end()), line;
        for (char c : text) {
            if (c != '\n') {
                line += c;
                continue;
            }
            result.push_back(line);
            line.clear();
        }
        EXPECT_TRUE(line.empty()) << "every line ends with a line feed";
        return result;
    };

    {
        Logger log(url, clock, "en_US");
        log.log("-------------------------");
        for (auto [path, heard, length] : std::vector<std::tuple<std::string, double, std::optional<double>>>{
                 {"/Music/Salsa/song.mp3", 87.4, 100.0},
                 {"/Music/Salsa/other.mp3", 9.6, 100.0},
                 {"/Music/Salsa/quiet.mp3", 9.4, 100.0},
                 {"/Music/Salsa/unmeasured.mp3", 50, std::nullopt},
                 {"/Music/Salsa/empty.mp3", 0, 0.0},
                 {"/Music/Tango/take.m4a", 100, 100.0},
                 {"/Music/Tango/take.wav", 50, 100.0},
                 {"/Music/Odd\nFolder/line\rbreak.mp3", 50, 100.0}})
            log.logEntry(*entry(path, heard, length));
        // Past midnight the next line comes under a new date.
        clock.advance(8 * 3600);
        log.log("late");
    }
    // A second run writes its date line again, and the folder of its first entry.
    Logger again(url, clock, "en_US");
    again.log("-------------------------");
    again.logEntry(*entry("/Music/Tango/take.m4a", 100));
    EXPECT_THAT(lines(), ElementsAre("Vantle Log", ": Dec 5, 2026", "4:05:06\u202FPM -------------------------",
                                     "> /Music/Salsa/", "4:05:06\u202FPM 87% song", "4:05:06\u202FPM 10% other",
                                     "> /Music/Tango/", "4:05:06\u202FPM 100% take", "4:05:06\u202FPM 50% take.wav",
                                     "> /Music/Odd\uFFFDFolder/", "4:05:06\u202FPM 50% line\uFFFDbreak",
                                     ": Dec 6, 2026", "12:05:06\u202FAM late", ": Dec 6, 2026",
                                     "12:05:06\u202FAM -------------------------", "> /Music/Tango/",
                                     "12:05:06\u202FAM 100% take"));

    // A log that went away is not made again; each line says so instead.
    ASSERT_TRUE(std::filesystem::remove(url.path()));
    platform::ScopedConsoleCapture console;
    again.log("lost");
    EXPECT_FALSE(platform::fileExists(url.path()));
    EXPECT_THAT(console.lines(), ElementsAre("Can't write to log"));
}

} // namespace
} // namespace vantle::testing
