#include "Source/session/TextNoteSet.h"

#include "Source/session/FormatTime.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/TextFile.h"

#include <cerrno>
#include <string>

namespace vantle {

namespace {

// One line of the notes file: the characters that would break or split the line become blanks,
// and ill-formed UTF-8 (a legacy path) reads as it will be written.
std::string notesFileLineText(std::string_view text) {
    std::string line = platform::replacingInvalidUtf8(text);
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            out += ' ';
        } else if (line.compare(i, 2, "\xC2\x85") == 0) { // NEXT LINE
            out += ' ';
            i += 1;
        } else if (line.compare(i, 3, "\xE2\x80\xA8") == 0 || line.compare(i, 3, "\xE2\x80\xA9") == 0) {
            out += ' '; // LINE SEPARATOR, PARAGRAPH SEPARATOR
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

platform::Url companionTextURL(const platform::Url& audioURL, std::string_view suffix) {
    platform::Url stem = audioURL.deletingPathExtension();
    return stem.deletingLastPathComponent().appendingPathComponent(
        stem.lastPathComponent() + std::string(suffix), false);
}

TextNoteSet::TextNoteSet(platform::Url mp3URL)
    : mp3URL_(std::move(mp3URL)), textURL_(companionTextURL(mp3URL_, ".txt")) {
    auto text = platform::readTextFile(textURL_.path(), largestFileSize);
    if (!text) {
        tooLarge_ = text.error().code == EFBIG;
        return;
    }
    std::vector<std::string> lines = splitTextLines(*text);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (auto note = TextNote::fromNoteLine(lines[i])) notes.push_back(std::move(note));
    }
}

bool TextNoteSet::notesFileMayBeReplaced(const platform::Result<std::string>& existing,
                                         const std::string& header) const {
    if (!existing) return !platform::fileExists(textURL_.path());
    if (existing->empty()) return true;
    const std::size_t lineEnd = existing->find_first_of("\r\n");
    return std::string_view(*existing).substr(0, lineEnd) == header;
}

void TextNoteSet::save() {
    const std::string header = notesFileLineText(mp3URL_.path());
    const std::string& path = textURL_.path();
    // A file too large to read is no one's to replace: it stays as it is.
    const platform::Result<std::string> existing = platform::readTextFile(path, largestFileSize);
    const bool mayReplace = notesFileMayBeReplaced(existing, header);
    bool written = false;
    if (mayReplace && notes.empty()) {
        // No notes, no file: a note begun and abandoned leaves nothing beside the song, and the
        // last note deleted takes its file with it. An empty file of someone else's stays.
        const bool ours = existing && !existing->empty();
        written = !ours || platform::removeItem(path).ok();
    } else if (mayReplace) {
        std::string output = header + "\n";
        for (const auto& note : notes) {
            output += formatTime(note->time(), 0, 2);
            output += ' ';
            output += notesFileLineText(note->text());
            output += '\n';
        }
        written = platform::writeTextFile(path, output).ok();
    }
    if (written) {
        altered = false;
    } else {
        platform::consolePrint("can't write " + textURL_.absoluteString());
        platform::consolePrint("");
    }
}

std::size_t TextNoteSet::insertionIndex(double time) const {
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (notes[i]->time() > time) return i;
    }
    return notes.size();
}

std::shared_ptr<TextNote> TextNoteSet::note(double near) const {
    for (const auto& candidate : notes) {
        if (candidate->time() - preTrigger < near && near < candidate->time() + postTrigger) return candidate;
    }
    return nullptr;
}

} // namespace vantle
