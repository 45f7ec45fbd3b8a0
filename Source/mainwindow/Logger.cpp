#include "Source/mainwindow/Logger.h"

#include "Source/session/AppState.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/DateFormat.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace vantle {

namespace {

constexpr std::string_view loggerFileName = "com.fennorastudio.vantle.log.txt";
constexpr std::string_view loggerFailure = "Can't write to log";

std::string withoutSuffix(std::string text, std::string_view suffix) {
    if (text.ends_with(suffix)) text.erase(text.size() - suffix.size());
    return text;
}

} // namespace

platform::Url Logger::defaultLocation() {
    return platform::Url::fileURLWithPath(appStateDirectory() + "/" + std::string(loggerFileName), false);
}

Logger::Logger(platform::Url url, const platform::Clock& clock, std::string locale)
    : url_(std::move(url)), clock_(clock), locale_(std::move(locale)) {
    if (platform::fileExists(url_.path())) return;
    if (!platform::writeFileAtomically(url_.path(), std::string_view("Vantle Log\n")))
        platform::consolePrint(loggerFailure);
}

void Logger::append(std::string_view text) {
    // Never creates the file: one removed while the program runs stays away until the next start.
    const int file = ::open(url_.path().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (file < 0) {
        platform::consolePrint(loggerFailure);
        return;
    }
    const char* data = text.data();
    std::size_t left = text.size();
    bool failed = false;
    while (left > 0) {
        const ssize_t written = ::write(file, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failed = true;
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::close(file) != 0) failed = true;
    if (failed) platform::consolePrint(loggerFailure);
}

void Logger::logDate(platform::Date date) {
    std::string text = platform::formatDate(date, platform::DateFormatStyle::medium,
                                            platform::DateFormatStyle::none, locale_);
    if (text == prevDate_) return;
    prevDate_ = text;
    append(": " + text + "\n");
}

void Logger::log(std::string_view text) {
    const platform::Date now = clock_.now();
    logDate(now);
    const std::string time = platform::formatDate(now, platform::DateFormatStyle::none,
                                                  platform::DateFormatStyle::medium, locale_);
    // A file name may hold line breaks or other control characters; a line stays one line.
    append(time + " " + platform::printableLine(text) + "\n");
}

void Logger::logEntry(PlaylistEntry& entry) {
    // A file that cannot be measured, or has no length, was not heard in any share.
    if (entry.listeningLogged) return;
    const std::optional<double> duration = entry.duration();
    if (!duration || !(*duration > 0)) return;
    if (!entry.currentTimeRangeSet) entry.currentTimeRangeSet = std::make_shared<TimeRangeSet>();
    const auto percent =
        static_cast<long long>(entry.coveredFraction(*entry.currentTimeRangeSet) * 100 + 0.5);
    if (percent < 10) return;

    const std::string path = entry._url.path();
    const std::string name = entry._url.lastPathComponent();
    const std::string folder =
        !name.empty() && path.ends_with(name) ? path.substr(0, path.size() - name.size()) : path;
    if (folder != lastDir_) {
        lastDir_ = folder;
        append("> " + platform::printableLine(folder) + "\n");
    }
    log(std::to_string(percent) + "% " + withoutSuffix(withoutSuffix(name, ".mp3"), ".m4a"));
    entry.listeningLogged = true;
}

} // namespace vantle
