#include "Source/session/Transcription.h"

#include "Source/session/TextNoteSet.h"
#include "platform/foundation/TextFile.h"

#include <algorithm>
#include <cerrno>

namespace vantle {

Transcription::Transcription(platform::Url mp3URL)
    : mp3URL_(std::move(mp3URL)), textURL_(companionTextURL(mp3URL_, ".t.txt")) {
    // Read on the main thread when its entry is shown: bounded like the notes beside the same song.
    auto text = platform::readTextFile(textURL_.path(), TextNoteSet::largestFileSize);
    if (!text) {
        tooLarge_ = text.error().code == EFBIG;
        return;
    }
    std::vector<std::string> lines = splitTextLines(*text);
    // Lines 3k and 3k + 1 are the text and the timing line of group k; the line after them is
    // not needed, so a file whose last timing line has no line end still gives its last cue.
    for (std::size_t line = 3; line + 1 < lines.size(); line += 3) {
        if (auto cue = TextNote::fromCue(std::move(lines[line]), lines[line + 1]))
            segments.push_back(std::move(cue));
    }
}

std::shared_ptr<TextNote> Transcription::segment(double at) const {
    for (auto it = segments.rbegin(); it != segments.rend(); ++it) {
        if ((*it)->time() <= at) return *it;
    }
    return nullptr;
}

std::ptrdiff_t Transcription::indexOf(const std::shared_ptr<TextNote>& cue) const {
    auto found = std::find(segments.begin(), segments.end(), cue);
    return found == segments.end() ? -1 : found - segments.begin();
}

std::shared_ptr<TextNote> Transcription::previousSegment(double at) const {
    if (auto current = segment(at)) {
        std::ptrdiff_t index = indexOf(current);
        if (index > 0) return segments[static_cast<std::size_t>(index) - 1];
    }
    return segments.empty() ? nullptr : segments.front();
}

std::shared_ptr<TextNote> Transcription::nextSegment(double at) const {
    if (auto current = segment(at)) {
        std::ptrdiff_t index = indexOf(current);
        if (index >= 0 && static_cast<std::size_t>(index) + 1 < segments.size())
            return segments[static_cast<std::size_t>(index) + 1];
    }
    return segments.empty() ? nullptr : segments.back();
}

} // namespace vantle
