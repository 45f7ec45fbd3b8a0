#pragma once
// Timing a song's lyrics by ear: each line stamped with the heard time as it is sung, then written
// to <name>.lrc beside the song. Qt-free; one thread at a time: made where its reading may take a
// while (it reads up to 2 MiB and may list the song's folder) and used on the main thread.

#include "Source/karaoke/LrcText.h"
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
    // Loads <name>.lrc, else the lines of <name>.t.txt with their cues' times, else nothing.
    explicit LyricsTiming(std::string audioPath);

    // Every lyric line in file order (ID tags left out), with the times so far in heard seconds.
    const std::vector<LyricLine>& lines() const { return lines_; }
    // The first line without a time of its own; -1 when all are stamped. A line timed only by its
    // transcription cue counts as unstamped: its cue is a guess the host is there to correct, in order.
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
    // Writes the LRC file atomically through a checked save (platform::saveFileChecked): the stamped
    // lines get their times, every other byte of the file stays as written. A file changed outside
    // since it was read, up to the moment it would be replaced, is read again (the stamps made here
    // laid over it where their lines are still unstamped) and not written: changedOnDisk.
    SaveResult save();

    // Why the LRC file there is not read and never written over (too large, unreadable); empty
    // when it is not refused.
    const std::string& notice() const { return refused_; }

private:
    // A line of the file as written (without a time stamped here), or one to be added to it.
    struct FileLine {
        std::string written;
        std::string end;
        int lyric = -1; // index into lines_, -1 for a line that is no lyric line
        enum class Origin { file, transcription, pasted } origin = Origin::file;
    };

    void load();
    // After a change outside: the file read again, the stamps and pasted lines made here laid over it.
    SaveResult readAgain();
    void addLine(std::string_view text, std::string_view end, FileLine::Origin origin,
                 std::optional<double> cueTime = std::nullopt);
    bool unstamped(std::size_t lyric) const;
    std::string render() const;
    void changed();

    std::string audioPath_;
    std::string lrcPath_;
    std::string transcriptionPath_;
    std::vector<LyricLine> lines_;
    std::vector<FileLine> file_;
    std::vector<std::optional<double>> stampedFileTimes_; // per lyric line, the file time stamped here
    // Per lyric line, the time its transcription cue gave: written for a line left unstamped, so that
    // the first LRC file made from a transcription loses none of its times.
    std::vector<std::optional<double>> cueFileTimes_;
    std::vector<int> stamps_;     // lyric lines stamped here, in order
    std::size_t savedStamps_ = 0; // the first stamps_ that a save wrote: the file's from then on
    std::string baseline_;        // what render() gave as last read or written
    bool dirty_ = false;
    std::string lineEnd_ = "\n";
    std::optional<platform::FileStamp> stamp_; // of the LRC file as read; none: there was none
    double offset_ = 0.0;                      // seconds the file's times are ahead of heard times
    lrc::Encoding encoding_ = lrc::Encoding::utf8;
    std::string refused_;
};

} // namespace vantle
