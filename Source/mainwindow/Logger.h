#pragma once
// The listening log: a text file that only grows, with a line when the main window starts and one
// for every entry left after a fair part of it was heard, grouped under date and folder lines.
// Main thread only.

#include "Source/mainwindow/MainViewParts.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Url.h"

#include <string>
#include <string_view>

namespace platform {
class Clock;
}

namespace vantle {

class Logger final : public ListeningLog {
public:
    // "com.fennorastudio.vantle.log.txt" in the state folder ($XDG_STATE_HOME/com.fennorastudio.Vantle).
    static platform::Url defaultLocation();

    // Creates the file with its title line when there is none; an existing file is kept as it is.
    // Dates and times are written in the locale's medium styles (empty: the user's locale).
    explicit Logger(platform::Url url, const platform::Clock& clock, std::string locale = {});

    // A line stamped with the time, after a date line when the day differs from the last one
    // written.
    void log(std::string_view text) override;
    // The share of the file its current listening covers, in whole percent; nothing below 10 % or
    // when the file cannot be measured. A folder line first when the folder is not the last one
    // written.
    void logEntry(PlaylistEntry& entry) override;
    std::optional<platform::Url> url() const override { return url_; }

private:
    // Opens the existing file, adds the text at its end and closes it again.
    void append(std::string_view text);
    void logDate(platform::Date date);

    std::string prevDate_;
    std::string lastDir_;
    platform::Url url_;
    const platform::Clock& clock_;
    std::string locale_;
};

} // namespace vantle
