#pragma once
// A time and a text: one timed note of an audio file, or one transcription cue. A reference
// object shared by std::shared_ptr and compared by identity (two notes with the same time and
// text are different notes). Main thread only.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class TextNote {
public:
    // A time that is not finite is stored as 0: such a time could neither be written nor shown.
    TextNote(double time, std::string text);
    TextNote(const TextNote&) = delete;
    TextNote& operator=(const TextNote&) = delete;

    // A notes-file line: the first "m:ss" time stamp anywhere in the line (whole seconds;
    // seconds of 60 and more are taken as they are) and, as the text, the rest of the line after
    // the stamp and the white space following it. Null when the line holds no time stamp or one
    // that does not fit.
    static std::shared_ptr<TextNote> fromNoteLine(std::string_view line);

    // A transcription cue: `text` as it is, started at the first "[h:]m:ss.f… -->" of the
    // timing line (any one character may separate seconds and fraction). Null when the timing
    // line holds no such stamp.
    static std::shared_ptr<TextNote> fromCue(std::string text, std::string_view cueLine);

    // At most this many characters of a note's text are shown on one line (a notice, the note
    // line, a tool tip); fitting and painting a whole file's worth of text would stall the window.
    static constexpr std::size_t shownCharacterLimit = 300;
    // A note is edited whole in the note line, so only up to this many characters; a longer one is
    // left to its notes file rather than cut by an edit.
    static constexpr std::size_t editableCharacterLimit = 10000;

    double time() const { return time_; }
    const std::string& text() const { return text_; }
    // The text as shown: whole when it has at most shownCharacterLimit characters, else that many
    // followed by "…". The stored text stays whole.
    std::string shownText() const;
    bool editable() const;
    void setText(std::string text) { text_ = std::move(text); }

private:
    double time_;
    std::string text_;
};

// The lines of a notes or transcription file: a line ends at LF, CR or CRLF, and the text after
// the last line end is the last line (empty when the text ends with a line end).
std::vector<std::string> splitTextLines(std::string_view text);

} // namespace vantle
