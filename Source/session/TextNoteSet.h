#pragma once
// The timed notes of one audio file, kept in a notes file beside it: the audio file's name with
// ".txt" replacing its last extension. The user may edit that file elsewhere at any time, so the set
// remembers the file as it last read or wrote it and lays its own changes over what is there now.
// Owned by one playlist entry; main thread only.

#include "Source/session/QuietFile.h"
#include "Source/session/TextNote.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class TextNoteSet {
public:
    // Seconds before and after a note's time within which it counts as near.
    static constexpr double preTrigger = 3.0;
    static constexpr double postTrigger = 3.0;

    // A notes file larger than this is not read: it would hold far more notes than anyone writes
    // by hand, and reading it would hold up the window.
    static constexpr std::uint64_t largestFileSize = std::uint64_t(2) << 20;

    // A notes file written less than this long ago may be an editor's half-done save (truncated and
    // not yet written again): it is neither read as the truth nor written over until it has been
    // quiet that long.
    static constexpr double quietSeconds = QuietFile::quietSeconds;

    // A save that has waited this long for a file that never stays quiet (a sync client, an editor's
    // autosave) goes ahead: it lays its changes on top of the file as it is then, as it does over any
    // change made elsewhere, the checked save still never writing over a write made while it saves.
    // A file that was emptied (as an editor does before writing it again) is taken for an empty file
    // only once it has stayed so this long: until then neither what it held nor what was typed here
    // goes.
    static constexpr double settlingPatience = 3.0;

    // Reads the notes file at once. A missing, unreadable or undecodable file gives no notes,
    // silently; so do lines without a time stamp. The first line, the audio file's path, is
    // never read as a note. A file larger than largestFileSize gives no notes and sets tooLarge.
    // `clock` tells how long ago the file was written (its change time) and how long it has stayed
    // as it is; by default that of setClockForNewSets.
    explicit TextNoteSet(platform::Url mp3URL);
    TextNoteSet(platform::Url mp3URL, const platform::Clock& clock);
    // The clock of the sets made from now on (null: the system's). For tests that write notes files
    // and expect them read at once.
    static void setClockForNewSets(const platform::Clock* clock);
    TextNoteSet(const TextNoteSet&) = delete;
    TextNoteSet& operator=(const TextNoteSet&) = delete;

    const platform::Url& mp3URL() const { return mp3URL_; }
    const platform::Url& textURL() const { return textURL_; }

    // In list order; callers insert at insertionIndex(for:) and remove by identity.
    std::vector<std::shared_ptr<TextNote>> notes;
    // Set by the callers that add or delete a note; cleared by a successful save().
    bool altered = false;
    bool loaded = false;
    // The notes file was refused for its size: its notes are not here, and it is never written
    // over or removed (save() fails).
    bool tooLarge() const { return tooLarge_; }

    struct SaveResult {
        enum class Status {
            written, // the file holds the notes (or needed no change)
            waiting, // the file is being written elsewhere: the changes stay here, and go on top of
                     // it once it has been quiet a moment (readAgainIfChanged or the next save)
            failed,
        };
        Status status = Status::written;
        // Why a save failed, as a phrase ("permission denied", "it is larger than 2 MB …").
        std::string reason;
        explicit operator bool() const { return status == Status::written; }
    };

    // Writes the changes made to `notes` since the file was last read or written on top of the
    // file as it is now, atomically: a note added here becomes a line (formatTime of its time, a
    // blank, its text with tabs and line breaks as blanks) before the first later note, a note
    // edited here replaces its line, a note deleted here takes its line along; every other line,
    // with what was written there elsewhere meanwhile, stays as it is. A new file starts with the
    // audio file's path. An existing file whose first line is not this audio file's path (someone
    // else's text, another audio file's notes) is never replaced. A file left with nothing but
    // that path and blank lines is removed. Afterwards `notes` holds the notes of the file as
    // written. The file is read and written under the lock of a checked save and looked at again
    // just before it is replaced or removed (platform::saveFileChecked): a write from elsewhere in
    // between makes the save wait, never lost. A file that changed less than quietSeconds ago is
    // waited for too. A file the result would make larger than largestFileSize is not written: it
    // would no longer be read. A failure prints "can't write <file URL>: <reason>" and leaves
    // `altered` as it was; a save that waits sets it, so that a later save writes the changes.
    SaveResult save();

    // A save waits for the file to settle (SaveResult::Status::waiting): the window says so.
    bool waitingForFile() const { return waiting_; }

    // The longest a save made before the set goes waits for its file: past settlingPatience, so that a
    // file that keeps changing is written on top of, short enough for a song change or a quit.
    static constexpr double leavingPatience = settlingPatience + 2.0;
    // One try of the save for a set about to go (its song left, its session closed, the program
    // quitting) while changes made here are not saved yet; the caller tries again on later turns of
    // its loop while it answers waiting, never holding the thread. A file that keeps changing is
    // written on top of after settlingPatience. A file still not written once leavingPatience has
    // passed since the first try fails the save ("it was still being written elsewhere after …");
    // at a failure the changes not written are printed (logUnwritten).
    SaveResult saveBeforeLeaving();
    // Prints each change made here and not yet written with the file's name ("not written to <file>:
    // <line>", a deletion as "deleted <line>"), so that what was typed is never only in memory.
    void logUnwritten() const;

    // When the notes file changed on disk since this set last read or wrote it (an editor saved
    // it), reads it again: its notes replace those read before, while the changes made here and
    // not yet saved stay on top. A note in both keeps its identity. True when `notes` changed.
    // A file written less than quietSeconds ago, one that cannot be read, or one written while it
    // was read is not taken: what is shown stays, with the changes made here, and the file is
    // looked at again at a later call. A save that waited is made once the file is quiet.
    // With `onceSettled`, for a caller that asks many times a second, a file larger than
    // settledReadSize is read only when it is as it was at the call before: one that a writer keeps
    // changing is not read and parsed again at every call.
    bool readAgainIfChanged(bool onceSettled = false);
    static constexpr std::uint64_t settledReadSize = std::uint64_t(64) << 10;

    // The index of the first note later than `time`, or the number of notes.
    std::size_t insertionIndex(double time) const;

    // The first note within (time − preTrigger, time + postTrigger) of `near`, or null.
    std::shared_ptr<TextNote> note(double near) const;

private:
    // A note of the file as last read or written: its line there and its text then. A note whose
    // text differs now was edited here; one no longer in `notes` was deleted here.
    struct KnownNote {
        std::shared_ptr<TextNote> note;
        std::string line;
        std::string text;
    };
    // None while no file is there.
    using Stamp = std::optional<platform::FileStamp>;
    // A line after the first, with the note it holds (null for a line that holds none).
    struct NotesLine {
        std::string text;
        std::shared_ptr<TextNote> note;
    };

    Stamp currentStamp() const;
    // Whether the file, now stamped so, may be taken as what it says: not written since this set
    // knew it, or left as it is for quietSeconds (settlingPatience when it was emptied).
    bool quiet(const Stamp& stamp);
    // The file, stamped so, is empty where it held something when this set last read or wrote it.
    bool emptied(const Stamp& stamp) const;
    // A save has waited settlingPatience for the file.
    bool waitedLongEnough() const;
    // The lines of `text` after the first; a line that is still that of a known note holds that
    // note. `known` receives the notes of `text` as they are to be remembered.
    std::vector<NotesLine> linesOf(std::string_view text, std::vector<KnownNote>& known) const;
    // Lays the changes made to `notes` since known_ over `lines`; false when there were none.
    bool applyChanges(std::vector<NotesLine>& lines) const;
    // `notes` becomes the notes of `lines`, and known_ the file's notes.
    void adopt(const std::vector<NotesLine>& lines, std::vector<KnownNote> known, const Stamp& stamp);

    platform::Url mp3URL_;
    platform::Url textURL_;
    bool tooLarge_ = false;
    std::vector<KnownNote> known_;
    Stamp stamp_;
    // The large file's stamp at the last settled call that did not read it.
    Stamp unsettled_;
    const platform::Clock* clock_;
    // The first try of a save before leaving that still waits.
    std::optional<platform::Date> leavingSince_;
    QuietFile quietFile_;
    // A file that could not be read, not to be tried again until it changes.
    std::optional<Stamp> unreadable_;
    // A save waited for the file to be quiet, since then.
    bool waiting_ = false;
    platform::Date waitingSince_;
};

// The file beside `audioURL` named after it, with `suffix` (".txt", ".t.txt") replacing its
// last extension.
platform::Url companionTextURL(const platform::Url& audioURL, std::string_view suffix);

} // namespace vantle
