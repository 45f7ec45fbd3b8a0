#pragma once
// Timing a song's lyrics by ear: each line stamped with the heard time as it is sung, then written
// to <name>.lrc beside the song. Qt-free; one thread at a time: it reads up to 2 MiB, may list the
// song's folder and waits for the folder's lock, so it is made and saved off the window's thread and
// handed to it in between.

#include "Source/karaoke/LrcText.h"
#include "Source/karaoke/Lyrics.h"
#include "Source/session/QuietFile.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Files.h"

#include <functional>
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
        waiting,       // the file was written elsewhere less than a second ago: nothing written yet
        failed,        // nothing written; `reason` says why
    };
    Outcome outcome = Outcome::unchanged;
    std::string reason;
    // Of a reading again: the stamps made here whose lines the changed file no longer has untimed.
    // They are kept aside (LyricsTiming::setAside()).
    int setAside = 0;
    // The file was read again on the way: what was written (or not) is its new text.
    bool readAgain = false;
    bool ok() const { return outcome == Outcome::written || outcome == Outcome::unchanged; }
};

class LyricsTiming {
public:
    // Loads <name>.lrc, else the lines of <name>.t.txt with their cues' times, else nothing. An LRC
    // file written less than QuietFile::quietSeconds ago by `clock` is not read: settling().
    explicit LyricsTiming(std::string audioPath);
    LyricsTiming(std::string audioPath, const platform::Clock& clock);
    // The clock of the timings made from now on (null: the system's). For tests that write a lyrics
    // file and expect it read at once.
    static void setClockForNewTimings(const platform::Clock* clock);

    // The LRC file was being written elsewhere (an editor's save under way): nothing was read, and a
    // timing made a moment later reads it.
    bool settling() const { return settling_; }

    // Every lyric line in file order (ID tags left out), with the times so far in heard seconds.
    const std::vector<LyricLine>& lines() const { return lines_; }
    // The first line without a time of its own; -1 when all are stamped. A line timed only by its
    // transcription cue counts as unstamped: its cue is a guess the host is there to correct, in order.
    int nextUnstamped() const;
    // Stamps nextUnstamped() with the heard time; false when there is none.
    bool stamp(double heardSeconds);
    // When the last stamp is earlier than the closest timed line above it (an untimed line between
    // 0:30 and 0:45 stamped at 0:01), that line's time in heard seconds.
    std::optional<double> lastStampEarlierThan() const;
    // Whether the line's time was stamped here (and not yet taken back).
    bool stampedHere(std::size_t lyric) const { return stampedFileTimes_[lyric].has_value(); }
    // Takes back the last stamp made here; false when there is none.
    bool undoStamp();
    // Appends one untimed line per line of `text` (blank lines left out).
    void addPastedLines(std::string_view text);
    bool dirty() const;
    // The song, and the file written or to be written.
    const std::string& audioPath() const { return audioPath_; }
    const std::string& lrcPath() const { return lrcPath_; }
    // Writes the LRC file atomically through a checked save (platform::saveFileChecked): the stamped
    // lines get their times, every other byte of the file stays as written. A file changed outside
    // since it was read, up to the moment it would be replaced, is read again (the stamps made here
    // laid over it where their lines are still unstamped) and not written: changedOnDisk. A file
    // written elsewhere less than a second ago is left until quiet: waiting.
    SaveResult save();
    // How a save before the timing goes lets time pass while the file settles (null: the thread
    // sleeps). For tests, with a clock they move.
    using Pause = std::function<void(double seconds)>;
    // The longest the save before the timing goes waits for a file being written elsewhere.
    static constexpr double leavingPatience = 2.0;
    // The save for a timing about to go (its song left, the window closed, the program quitting): a
    // file that is being written is waited for (leavingPatience at most), a reading again is written
    // at once with the stamps laid over it. Whatever is still not written is printed with the reason
    // ("not written to <file>: [00:12.34]line"), so that no stamp is only in memory.
    SaveResult saveBeforeLeaving(const Pause& pause = {});

    // Stamps that found no line when the file was read again after a change outside (their line's
    // text changed, or it was timed there meanwhile), as LRC lines with their times: "[00:12.34]text".
    // Kept for as long as the timing, for the user to take back by hand.
    const std::vector<std::string>& setAside() const { return setAside_; }
    // The stamps not yet written, as LRC lines.
    std::vector<std::string> unsavedStamps() const;

    // The LRC file as it was read or last written; none while there was none.
    const std::optional<platform::FileStamp>& fileStamp() const { return stamp_; }

    // Why the LRC file there is not read and never written over (too large, unreadable); empty
    // when it is not refused.
    const std::string& notice() const { return refused_; }

private:
    // A line of the file as written (without a time stamped here), or one to be added to it.
    struct FileLine {
        std::string written; // as UTF-8 text
        std::string bytes;   // a file line's bytes as read: written back untouched
        std::string end;
        int lyric = -1; // index into lines_, -1 for a line that is no lyric line
        enum class Origin { file, transcription, pasted } origin = Origin::file;
    };

    void load();
    // After a change outside: the file read again, the stamps and pasted lines made here laid over it.
    SaveResult readAgain();
    void addLine(std::string_view text, std::string_view end, FileLine::Origin origin,
                 std::optional<double> cueTime = std::nullopt, std::string_view bytes = {});
    bool unstamped(std::size_t lyric) const;
    std::optional<double> fileTimeOf(const FileLine& line) const;
    // The file's bytes; `encoding` becomes UTF-8 when Latin-1 cannot hold a line added here.
    std::string render(lrc::Encoding& encoding) const;
    std::string render() const;
    void changed();
    std::string stampLine(int lyric) const;

    std::string audioPath_;
    const platform::Clock* clock_;
    std::string lrcPath_;
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
    bool settling_ = false;
    std::string lineEnd_ = "\n";
    std::optional<platform::FileStamp> stamp_; // of the LRC file as read; none: there was none
    double offset_ = 0.0;                      // seconds the file's times are ahead of heard times
    lrc::Encoding encoding_ = lrc::Encoding::utf8;
    std::string refused_;
    std::vector<std::string> setAside_;
    QuietFile quiet_{std::string()};
};

} // namespace vantle
