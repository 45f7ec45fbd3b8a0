#pragma once
// The timed notes of one audio file, kept in a notes file beside it: the audio file's name with
// ".txt" replacing its last extension. Owned by one playlist entry; main thread only.

#include "Source/session/TextNote.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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

    // Writes the whole notes file atomically: the audio file's path, then one line per note
    // (formatTime of its time, a blank, its text with tabs and line breaks as blanks). An
    // existing file whose first line is not this audio file's path (someone else's text, another
    // audio file's notes) is never replaced. Without notes nothing is written and our own file is
    // removed. A failure prints "can't write <file URL>" and an
    // empty line and leaves `altered` as it was.
    void save();

    // The index of the first note later than `time`, or the number of notes.
    std::size_t insertionIndex(double time) const;

    // The first note within (time − preTrigger, time + postTrigger) of `near`, or null.
    std::shared_ptr<TextNote> note(double near) const;

private:
    // Whether the notes file, read as `existing`, is ours to replace or remove.
    bool notesFileMayBeReplaced(const platform::Result<std::string>& existing,
                                const std::string& header) const;

    platform::Url mp3URL_;
    platform::Url textURL_;
    bool tooLarge_ = false;
};

// The file beside `audioURL` named after it, with `suffix` (".txt", ".t.txt") replacing its
// last extension.
platform::Url companionTextURL(const platform::Url& audioURL, std::string_view suffix);

} // namespace vantle
