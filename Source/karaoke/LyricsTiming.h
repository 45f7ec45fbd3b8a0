#pragma once
// Timing a song's lyrics by ear: each line stamped with the heard time as it is sung, then written
// to <name>.lrc beside the song. Qt-free; main thread.

#include "Source/karaoke/Lyrics.h"
#include "platform/foundation/Files.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

struct SaveResult {
    enum class Outcome {
        written,       // the file holds the lines as timed here
        unchanged,     // nothing to write
        changedOnDisk, // the file changed outside since it was read: nothing written, read again
        failed,        // nothing written; `reason` says why
    };
    Outcome outcome = Outcome::unchanged;
    std::string reason;
    bool ok() const { return outcome == Outcome::written || outcome == Outcome::unchanged; }
};

class LyricsTiming {
public:
    // Loads <name>.lrc, else the lines of <name>.t.txt (untimed), else nothing.
    explicit LyricsTiming(std::string audioPath);

    // Every lyric line in file order (ID tags left out), with the times so far in heard seconds.
    const std::vector<LyricLine>& lines() const { return lines_; }
    // The first line without a time; -1 when all are stamped.
    int nextUnstamped() const;
    // Stamps nextUnstamped() with the heard time; false when there is none.
    bool stamp(double heardSeconds);
    // Takes back the last stamp made here; false when there is none.
    bool undoStamp();
    // Appends one untimed line per line of `text` (blank lines left out).
    void addPastedLines(std::string_view text);
    bool dirty() const;
    // The file written or to be written.
    const std::string& lrcPath() const { return lrcPath_; }
    // Writes the LRC file atomically: the stamped lines get their times, every other byte of the
    // file stays as written. A file changed outside since it was read is read again (the stamps made
    // here laid over it where their lines are still unstamped) and not written: changedOnDisk.
    SaveResult save();

    // One line of the file as written, with its end.
    struct FileLine {
        std::string text;
        std::string end;
        int lyric = -1; // index into lines_, -1 for a line that is not a lyric line
    };

private:
    void load();
    void adoptFile(std::string_view bytes);
    std::string fileText() const;

    std::string audioPath_;
    std::string lrcPath_;
    std::vector<LyricLine> lines_;
    std::vector<FileLine> file_;
    std::vector<int> stamps_;                   // lines stamped here, in order
    std::vector<std::optional<double>> saved_;  // the times as last read or written
    std::size_t savedLineCount_ = 0;
    std::optional<platform::FileStamp> stamp_;  // of the LRC file as read; none: there was none
    double offsetSeconds_ = 0.0;
    int encoding_ = 0;
    std::string refused_;                       // why the file there may not be written over
};

} // namespace vantle
