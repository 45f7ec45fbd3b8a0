#include "Source/mainwindow/WindowTitle.h"

#include "platform/foundation/Text.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace vantle {

std::string mainWindowTitle(const std::optional<platform::Url>& session, const std::string& version,
                            platform::Date buildDate, bool unsavedChanges) {
    std::string name = "Vantle";
    if (session && !session->isEmpty()) {
        name = session->lastPathComponent();
        constexpr std::string_view extension = ".vantle";
        if (name.size() >= extension.size() &&
            name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
            name.erase(name.size() - extension.size());
        // A title is one line, whatever the file is called.
        name = platform::escapingControlCharacters(name);
    }
    if (unsavedChanges) name += "*";
    const bool testBuild = !version.empty() && ((version.back() >= 'a' && version.back() <= 'z') ||
                                                (version.back() >= 'A' && version.back() <= 'Z'));
    if (!testBuild) return name;
    return name + " " + version + " " + dateDescription(buildDate);
}

std::string dateDescription(platform::Date date) {
    const double seconds = std::floor(date.timeIntervalSince1970());
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (!gmtime_r(&time, &parts)) return {};
    char text[40];
    const int length =
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d +0000", parts.tm_year + 1900,
                      parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

} // namespace vantle
