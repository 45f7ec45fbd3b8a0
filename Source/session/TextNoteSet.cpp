#include "Source/session/TextNoteSet.h"

#include "Source/session/FormatTime.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/TextFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>
#include <unordered_map>
#include <unordered_set>

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

std::string notesFileLine(const TextNote& note) {
    return formatTime(note.time(), 0, 2) + ' ' + notesFileLineText(note.text());
}

bool blankNotesLine(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

} // namespace

platform::Url companionTextURL(const platform::Url& audioURL, std::string_view suffix) {
    platform::Url stem = audioURL.deletingPathExtension();
    return stem.deletingLastPathComponent().appendingPathComponent(
        stem.lastPathComponent() + std::string(suffix), false);
}

namespace {

std::atomic<const platform::Clock*> textNoteSetClock{nullptr};

const platform::Clock& clockForNewSets() {
    const platform::Clock* clock = textNoteSetClock.load();
    return clock ? *clock : platform::Clock::system();
}

} // namespace

void TextNoteSet::setClockForNewSets(const platform::Clock* clock) {
    textNoteSetClock.store(clock);
}

TextNoteSet::TextNoteSet(platform::Url mp3URL) : TextNoteSet(std::move(mp3URL), clockForNewSets()) {}

TextNoteSet::TextNoteSet(platform::Url mp3URL, const platform::Clock& clock)
    : mp3URL_(std::move(mp3URL)), textURL_(companionTextURL(mp3URL_, ".txt")), clock_(&clock),
      quietFile_(textURL_.path()) {
    // Stamped before it is read: a write in between then shows as a change, and is never missed.
    const Stamp stamp = currentStamp();
    auto text = platform::readTextFile(textURL_.path(), largestFileSize);
    stamp_ = stamp;
    if (!text) {
        tooLarge_ = text.error().code == EFBIG;
        return;
    }
    std::vector<KnownNote> known;
    const std::vector<NotesLine> lines = linesOf(*text, known);
    adopt(lines, std::move(known), stamp);
}

TextNoteSet::Stamp TextNoteSet::currentStamp() const {
    return platform::fileStamp(textURL_.path());
}

bool TextNoteSet::emptied(const Stamp& stamp) const {
    return stamp && stamp->size == 0 && stamp_ && stamp_->size > 0;
}

bool TextNoteSet::waitedLongEnough() const {
    return waiting_ && clock_->now().timeIntervalSince(waitingSince_) >= settlingPatience;
}

bool TextNoteSet::quiet(const Stamp& stamp) {
    return quietFile_.quiet(stamp, stamp_, clock_->now(), settlingPatience);
}

std::vector<TextNoteSet::NotesLine> TextNoteSet::linesOf(std::string_view text,
                                                         std::vector<KnownNote>& known) const {
    std::vector<std::string> split = splitTextLines(text);
    if (split.size() > 1 && split.back().empty()) split.pop_back(); // the last line's end
    // A line that is still a known note's line is that note, taken in file order: of two alike,
    // the first known is the first line.
    struct Candidates {
        std::vector<const KnownNote*> notes;
        std::size_t next = 0;
    };
    std::unordered_map<std::string_view, Candidates> byLine;
    for (const KnownNote& note : known_)
        byLine[note.line].notes.push_back(&note);
    known.clear();
    std::vector<NotesLine> lines;
    lines.reserve(split.size());
    for (std::size_t i = 1; i < split.size(); ++i) {
        NotesLine line{std::move(split[i]), nullptr};
        auto found = byLine.find(line.text);
        if (found != byLine.end() && found->second.next < found->second.notes.size()) {
            const KnownNote& note = *found->second.notes[found->second.next++];
            line.note = note.note;
            known.push_back(note);
        } else if ((line.note = TextNote::fromNoteLine(line.text))) {
            known.push_back({line.note, line.text, line.note->text()});
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool TextNoteSet::applyChanges(std::vector<NotesLine>& lines) const {
    std::unordered_map<const TextNote*, const KnownNote*> known;
    for (const KnownNote& note : known_)
        known.emplace(note.note.get(), &note);
    std::unordered_set<const TextNote*> kept;
    for (const auto& note : notes)
        kept.insert(note.get());
    bool changed = false;
    std::unordered_set<const TextNote*> placed;
    std::vector<NotesLine> result;
    result.reserve(lines.size() + 1);
    for (NotesLine& line : lines) {
        if (auto was = line.note ? known.find(line.note.get()) : known.end(); was != known.end()) {
            if (!kept.count(line.note.get())) {
                changed = true; // deleted here
                continue;
            }
            if (line.note->text() != was->second->text) {
                line.text = notesFileLine(*line.note);
                changed = true;
            }
        }
        if (line.note) placed.insert(line.note.get());
        result.push_back(std::move(line));
    }
    for (const auto& note : notes) {
        if (!note || placed.count(note.get())) continue;
        // A known note whose line is gone or was rewritten elsewhere: the file's word stands, unless
        // the note was edited here too, and then what was typed here is kept beside it.
        if (auto was = known.find(note.get()); was != known.end() && note->text() == was->second->text)
            continue;
        auto later = std::find_if(result.begin(), result.end(), [&](const NotesLine& line) {
            return line.note && line.note->time() > note->time();
        });
        result.insert(later, NotesLine{notesFileLine(*note), note});
        placed.insert(note.get());
        changed = true;
    }
    lines = std::move(result);
    return changed;
}

void TextNoteSet::adopt(const std::vector<NotesLine>& lines, std::vector<KnownNote> known,
                        const Stamp& stamp) {
    notes.clear();
    for (const NotesLine& line : lines)
        if (line.note) notes.push_back(line.note);
    known_ = std::move(known);
    stamp_ = stamp;
    tooLarge_ = false;
}

TextNoteSet::SaveResult TextNoteSet::save() {
    const std::string header = notesFileLineText(mp3URL_.path());
    const std::string& path = textURL_.path();
    using Status = SaveResult::Status;
    SaveResult result;
    // What the save found and made of it, for the set to take once the file holds it.
    std::vector<NotesLine> lines;
    std::vector<KnownNote> known;
    const platform::Result<platform::CheckedSave> saved =
        platform::saveFileChecked(path, largestFileSize, [&](const platform::FoundFile& found) {
            auto refuse = [&](Status status, std::string reason) {
                result = SaveResult{status, std::move(reason)};
                return platform::SaveChoice::leaving();
            };
            // A file that never settles is written on top of once the save has waited long enough;
            // an emptied one only once it has stayed empty that long.
            if (!quiet(found.stamp) && (!waitedLongEnough() || emptied(found.stamp)))
                return refuse(Status::waiting, {});
            if (found.unreadable) {
                // A file too large to read is no one's to replace: it stays as it is.
                if (found.unreadable->code == EFBIG) {
                    tooLarge_ = true;
                    return refuse(Status::failed, "the file is larger than " +
                                                      std::to_string(largestFileSize >> 20) +
                                                      " MB, more than Vantle reads");
                }
                return refuse(Status::failed, platform::fileErrorReason(*found.unreadable));
            }
            platform::Result<std::string> existing =
                platform::textFromFileBytes(path, found.bytes.data(), found.bytes.size());
            if (!existing) return refuse(Status::failed, "the file is not UTF-8 or UTF-16 text");
            const std::size_t lineEnd = existing->find_first_of("\r\n");
            if (!existing->empty() && std::string_view(*existing).substr(0, lineEnd) != header)
                return refuse(Status::failed, "the file's first line names another file, not this song");
            // Read again whatever was written there since: only this set's own changes go on top.
            lines = linesOf(*existing, known);
            if (!applyChanges(lines)) return platform::SaveChoice::leaving();
            if (std::all_of(lines.begin(), lines.end(),
                            [](const NotesLine& line) { return blankNotesLine(line.text); })) {
                // No notes, no file: the last note deleted takes its file with it, but never a line
                // written there elsewhere. An empty file of someone else's stays.
                lines.clear();
                known.clear();
                return existing->empty() ? platform::SaveChoice::leaving() : platform::SaveChoice::removing();
            }
            std::string output = header + "\n";
            known.clear();
            for (const NotesLine& line : lines) {
                output += line.text;
                output += '\n';
                if (line.note) known.push_back({line.note, line.text, line.note->text()});
            }
            // The reader's bound holds for what is written too: a larger file would show no notes.
            if (output.size() > largestFileSize)
                return refuse(Status::failed, "the notes would take more than " +
                                                  std::to_string(largestFileSize >> 20) +
                                                  " MB, more than Vantle reads back");
            return platform::SaveChoice::writing(platform::Bytes(output.begin(), output.end()));
        });
    if (!saved) result = SaveResult{Status::failed, platform::fileErrorReason(saved.error())};
    if (result.status == Status::written) {
        switch (saved->status) {
        case platform::CheckedSave::Status::changedOnDisk:
            // Written elsewhere while this save was made: taken up once it is quiet.
            (void)quiet(saved->stamp);
            result.status = Status::waiting;
            break;
        case platform::CheckedSave::Status::removed:
            adopt({}, {}, std::nullopt);
            break;
        default:
            adopt(lines, std::move(known), saved->stamp);
            break;
        }
    }
    switch (result.status) {
    case Status::written:
        altered = false;
        waiting_ = false;
        break;
    case Status::waiting:
        altered = true;
        if (!waiting_) waitingSince_ = clock_->now();
        waiting_ = true;
        break;
    case Status::failed:
        // Said once: a later save, not the display's next look at the file, tries again.
        waiting_ = false;
        platform::consolePrint("can't write " + textURL_.absoluteString() + ": " + result.reason);
        break;
    }
    return result;
}

TextNoteSet::SaveResult TextNoteSet::saveBeforeLeaving() {
    if (!altered) {
        leavingSince_.reset();
        return {};
    }
    using Status = SaveResult::Status;
    const platform::Date now = clock_->now();
    if (!leavingSince_) leavingSince_ = now;
    SaveResult result = save();
    // A clock set back meanwhile ends the wait too: it must not hold a close for good.
    const double waited = now.timeIntervalSince(*leavingSince_);
    if (result.status == Status::waiting && waited >= 0 && waited < leavingPatience) return result;
    leavingSince_.reset();
    if (result.status == Status::written) return result;
    if (result.status == Status::waiting) {
        result = {Status::failed, "it was still being written elsewhere after " +
                                      std::to_string(int(leavingPatience)) + " seconds"};
        platform::consolePrint("can't write " + textURL_.absoluteString() + ": " + result.reason);
    }
    logUnwritten();
    return result;
}

void TextNoteSet::logUnwritten() const {
    std::unordered_set<const TextNote*> kept;
    for (const auto& note : notes)
        kept.insert(note.get());
    std::unordered_map<const TextNote*, const KnownNote*> known;
    for (const KnownNote& note : known_) {
        known.emplace(note.note.get(), &note);
        if (!kept.count(note.note.get()))
            platform::consolePrint("not written to " + textURL_.path() + ": deleted " + note.line);
    }
    for (const auto& note : notes) {
        const auto was = known.find(note.get());
        if (was == known.end() || note->text() != was->second->text)
            platform::consolePrint("not written to " + textURL_.path() + ": " + notesFileLine(*note));
    }
}

bool TextNoteSet::readAgainIfChanged(bool onceSettled) {
    const Stamp stamp = currentStamp();
    if (waiting_ && (quiet(stamp) || waitedLongEnough())) {
        const std::vector<std::shared_ptr<TextNote>> before = notes;
        save();
        return notes != before;
    }
    if (stamp == stamp_) return false;
    if (onceSettled && stamp && stamp->size > settledReadSize && stamp != unsettled_) {
        unsettled_ = stamp;
        return false;
    }
    // Half written, perhaps: what is shown stays until the file is quiet.
    if (!quiet(stamp) || (unreadable_ && *unreadable_ == stamp)) return false;
    const platform::Result<std::string> text = platform::readTextFile(textURL_.path(), largestFileSize);
    if (!text && text.error().code == EFBIG) {
        // What was shown stays, with the changes made here, until the file is small enough to read
        // again; meanwhile no save writes over it.
        stamp_ = stamp;
        tooLarge_ = true;
        return false;
    }
    // A file there that cannot be read (no permission, cut inside a character), or that was written
    // while it was read, says nothing of the notes: neither they nor the changes made here go.
    if (currentStamp() != stamp) return false;
    if (!text && stamp) {
        unreadable_ = stamp;
        return false;
    }
    // A file that is gone holds no notes, as when the set was made.
    std::vector<KnownNote> known;
    std::vector<NotesLine> lines = linesOf(text ? std::string_view(*text) : std::string_view(), known);
    applyChanges(lines);
    const std::vector<std::shared_ptr<TextNote>> before = notes;
    adopt(lines, std::move(known), stamp);
    return notes != before;
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
