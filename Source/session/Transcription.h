#pragma once
// The time-coded cues of one audio file, read once from the transcription file beside it (the
// audio file's name with ".t.txt" replacing its last extension) and looked up by playback time.
// Owned by one playlist entry; main thread only.

#include "Source/session/TextNote.h"
#include "platform/foundation/Url.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace vantle {

class Transcription {
public:
    static constexpr double preTrigger = 3.0;
    static constexpr double postTrigger = 3.0;

    // Reads the file at once: three header lines, then groups of three lines (the cue's text,
    // its timing line "[h:]m:ss.f --> …", a line not read). A last group may lack its third
    // line. A missing or unreadable file, or a group without a time stamp, gives no cue, silently;
    // a file larger than a notes file may be is not read at all and sets tooLarge.
    explicit Transcription(platform::Url mp3URL);
    Transcription(const Transcription&) = delete;
    Transcription& operator=(const Transcription&) = delete;

    const platform::Url& mp3URL() const { return mp3URL_; }
    const platform::Url& textURL() const { return textURL_; }
    bool tooLarge() const { return tooLarge_; }

    // The cues in file order.
    std::vector<std::shared_ptr<TextNote>> segments;
    bool altered = false;
    bool loaded = false;

    // The last cue (searching from the end) that starts at or before `at`, or null.
    std::shared_ptr<TextNote> segment(double at) const;
    // The cue before the current one; the first cue when none is current or the current one is
    // the first; null without cues.
    std::shared_ptr<TextNote> previousSegment(double at) const;
    // The cue after the current one; the last cue when none is current or the current one is
    // the last; null without cues.
    std::shared_ptr<TextNote> nextSegment(double at) const;

private:
    std::ptrdiff_t indexOf(const std::shared_ptr<TextNote>& cue) const;

    platform::Url mp3URL_;
    platform::Url textURL_;
    bool tooLarge_ = false;
};

} // namespace vantle
