#pragma once
// The timed notes of one audio file, kept in a notes file beside it: the audio file's name with
// ".txt" replacing its last extension. The user may edit that file elsewhere at any time, so the set
// remembers the file as it last read or wrote it and lays its own changes over what is there now.
// Owned by one playlist entry; main thread only.

#include "Source/session/TextNote.h"
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

    // Reads the notes file at once. A missing, unreadable or undecodable file gives no notes,
    // silently; so do lines without a time stamp. The first line, the audio file's path, is
    // never read as a note. A file larger than largestFileSize gives no notes and sets tooLarge.
    explicit TextNoteSet(platform::Url mp3URL);
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

    // Writes the changes made to `notes` since the file was last read or written on top of the
    // file as it is now, atomically: a note added here becomes a line (formatTime of its time, a
    // blank, its text with tabs and line breaks as blanks) before the first later note, a note
    // edited here replaces its line, a note deleted here takes its line along; every other line,
    // with what was written there elsewhere meanwhile, stays as it is. A new file starts with the
    // audio file's path. An existing file whose first line is not this audio file's path (someone
    // else's text, another audio file's notes) is never replaced. A file left with nothing but
    // that path and blank lines is removed. Afterwards `notes` holds the notes of the file as
    // written. A failure prints "can't write <file URL>" and an empty line, leaves `altered` as
    // it was, and returns false.
    bool save();

    // When the notes file changed on disk since this set last read or wrote it (an editor saved
    // it), reads it again: its notes replace those read before, while the changes made here and
    // not yet saved stay on top. A note in both keeps its identity. True when `notes` changed.
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
    // Whether the notes file, read as `existing`, is ours to replace or remove.
    bool notesFileMayBeReplaced(const platform::Result<std::string>& existing,
                                const std::string& header) const;
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
};

// The file beside `audioURL` named after it, with `suffix` (".txt", ".t.txt") replacing its
// last extension.
platform::Url companionTextURL(const platform::Url& audioURL, std::string_view suffix);

} // namespace vantle
