#include "Source/karaoke/LyricsTiming.h"

#include "Source/karaoke/LyricsFile.h"
#include "Source/session/Transcription.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/Url.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <map>
#include <thread>

namespace vantle {

namespace {

std::string fileName(const std::string& path) {
    return "\u201C" +
           platform::escapingControlCharacters(
               platform::Url::fileURLWithPath(path, false).lastPathComponent()) +
           "\u201D";
}

// The n-th lyric line (0-based) whose text is `text`; -1 when there are fewer.
int occurrence(const std::vector<LyricLine>& lines, const std::string& text, int n) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].text == text && n-- == 0) return int(i);
    }
    return -1;
}

// A time as an LRC file writes it, to the hundredth: what is shown is what the file will say.
double roundedFileTime(double seconds) {
    return double(std::llround(seconds * 100.0)) / 100.0;
}

int occurrenceIndex(const std::vector<LyricLine>& lines, int index) {
    int n = 0;
    for (int i = 0; i < index; ++i)
        n += lines[std::size_t(i)].text == lines[std::size_t(index)].text;
    return n;
}

std::atomic<const platform::Clock*> lyricsTimingClock{nullptr};

} // namespace

LyricsTiming::LyricsTiming(std::string audioPath)
    : LyricsTiming(std::move(audioPath),
                   lyricsTimingClock.load() ? *lyricsTimingClock.load() : platform::Clock::system()) {}

LyricsTiming::LyricsTiming(std::string audioPath, const platform::Clock& clock)
    : audioPath_(std::move(audioPath)), clock_(&clock) {
    load();
}

void LyricsTiming::setClockForNewTimings(const platform::Clock* clock) {
    lyricsTimingClock.store(clock);
}

void LyricsTiming::load() {
    const lrc::Beside beside = lrc::besideFiles(audioPath_);
    const std::optional<std::string> found = lrc::findLrc(beside);
    lrcPath_ = found.value_or(beside.lrcToWrite);
    quiet_ = QuietFile(lrcPath_);
    // Stamped before it is read: a write in between then shows as a change at the save.
    stamp_ = found ? platform::fileStamp(lrcPath_) : std::nullopt;
    // An editor's save half done (the file cut to nothing, not yet written again) is not the lyrics.
    settling_ = found && !quiet_.quiet(stamp_, std::nullopt, clock_->now());
    if (found && !settling_) {
        const auto bytes = platform::readFile(lrcPath_, largestLyricsFileSize);
        if (!bytes) {
            refused_ = bytes.error().code == EFBIG
                           ? "The lyrics file " + fileName(lrcPath_) +
                                 " is larger than 2 MiB; it is not read or written."
                           : "The lyrics file " + fileName(lrcPath_) +
                                 " could not be read: " + platform::fileErrorReason(bytes.error()) + ".";
            baseline_ = render();
            changed();
            return;
        }
        const std::string_view file(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        encoding_ = lrc::decodeText(file).encoding;
        struct Read {
            std::string text, end;
            std::string_view bytes;
        };
        std::vector<Read> read;
        for (const lrc::TextLine& line :
             lrc::splitEncodedLines(file.substr(lrc::markOf(encoding_).size()), encoding_))
            read.push_back(
                {lrc::decodeAs(line.text, encoding_), lrc::decodeAs(line.end, encoding_), line.text});
        // The offset holds for every line, wherever it stands.
        for (const Read& line : read) {
            const auto parsed = lrc::parseLine(line.text);
            if (parsed && parsed->kind == lrc::Line::Kind::idTag && parsed->tagName == "offset")
                offset_ = lrc::offsetSeconds(parsed->tagValue);
        }
        if (!read.empty() && !read.front().end.empty()) lineEnd_ = read.front().end;
        for (const Read& line : read)
            addLine(line.text, line.end, FileLine::Origin::file, std::nullopt, line.bytes);
    } else if (!found) {
        const Transcription transcription(platform::Url::fileURLWithPath(audioPath_, false));
        // A cue without words (the silence before the first) is no line to sing.
        for (const auto& cue : transcription.segments)
            if (cue->text().find_first_not_of(" \t") != std::string::npos)
                addLine(cue->text(), lineEnd_, FileLine::Origin::transcription,
                        roundedFileTime(std::max(0.0, cue->time())));
    }
    baseline_ = render();
    changed();
}

void LyricsTiming::addLine(std::string_view text, std::string_view end, FileLine::Origin origin,
                           std::optional<double> cueTime, std::string_view bytes) {
    FileLine fileLine{std::string(text), std::string(bytes), std::string(end), -1, origin};
    const std::optional<lrc::Line> read = lrc::parseLine(text);
    const bool lyric = read && (read->kind == lrc::Line::Kind::timed ||
                                (read->kind == lrc::Line::Kind::untimed && !read->text.empty()));
    // Lines that are not the file's own come without a line's end of the file: they get it.
    if (origin != FileLine::Origin::file && !file_.empty() && file_.back().end.empty())
        file_.back().end = lineEnd_;
    if (lyric) {
        fileLine.lyric = int(lines_.size());
        LyricLine line;
        if (!read->times.empty()) line.time = read->times.front() - offset_;
        // A time written in the line itself stands over its cue's.
        const bool cued = cueTime && read->times.empty();
        if (cued) line.time = *cueTime - offset_;
        line.text = read->text;
        for (const auto& [start, word] : read->words)
            line.words.push_back({start - offset_, word});
        if (read->wordsEnd) line.wordsEnd = *read->wordsEnd - offset_;
        lines_.push_back(std::move(line));
        stampedFileTimes_.push_back(std::nullopt);
        cueFileTimes_.push_back(cued ? cueTime : std::nullopt);
    }
    file_.push_back(std::move(fileLine));
}

std::optional<double> LyricsTiming::fileTimeOf(const FileLine& line) const {
    if (line.lyric < 0) return std::nullopt;
    const std::size_t lyric = std::size_t(line.lyric);
    return stampedFileTimes_[lyric] ? stampedFileTimes_[lyric] : cueFileTimes_[lyric];
}

std::string LyricsTiming::render(lrc::Encoding& encoding) const {
    encoding = encoding_;
    // A line of the file keeps its bytes as read, whatever they are: only a time is put before it.
    std::string bytes(lrc::markOf(encoding_));
    bool held = true;
    for (const FileLine& line : file_) {
        const std::optional<double> time = fileTimeOf(line);
        std::optional<std::string> text =
            line.origin == FileLine::Origin::file ? line.bytes : lrc::encodePiece(line.written, encoding_);
        if (!(held = text.has_value())) break;
        bytes += *lrc::encodePiece(time ? lrc::timeTag(*time) : std::string(), encoding_);
        bytes += *text;
        bytes += *lrc::encodePiece(line.end, encoding_);
    }
    if (held) return bytes;
    // A line added here that Latin-1 cannot hold: the whole file becomes UTF-8.
    encoding = lrc::Encoding::utf8;
    bytes.clear();
    for (const FileLine& line : file_) {
        if (const std::optional<double> time = fileTimeOf(line)) bytes += lrc::timeTag(*time);
        bytes += line.written;
        bytes += line.end;
    }
    return bytes;
}

std::string LyricsTiming::render() const {
    lrc::Encoding encoding = encoding_;
    return render(encoding);
}

void LyricsTiming::changed() {
    dirty_ = refused_.empty() && render() != baseline_;
}

bool LyricsTiming::unstamped(std::size_t lyric) const {
    return !lines_[lyric].time || (cueFileTimes_[lyric] && !stampedFileTimes_[lyric]);
}

int LyricsTiming::nextUnstamped() const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (unstamped(i)) return int(i);
    return -1;
}

bool LyricsTiming::stamp(double heardSeconds) {
    const int next = nextUnstamped();
    if (next < 0 || !std::isfinite(heardSeconds)) return false;
    // The time as it will be written and read back: what is shown is what the file will say.
    const double fileTime = roundedFileTime(std::max(0.0, heardSeconds + offset_));
    stampedFileTimes_[std::size_t(next)] = fileTime;
    lines_[std::size_t(next)].time = fileTime - offset_;
    stamps_.push_back(next);
    changed();
    return true;
}

std::optional<double> LyricsTiming::lastStampEarlierThan() const {
    if (stamps_.empty()) return std::nullopt;
    const int last = stamps_.back();
    for (int above = last - 1; above >= 0; --above) {
        const std::optional<double>& time = lines_[std::size_t(above)].time;
        if (!time) continue;
        if (*time > *lines_[std::size_t(last)].time) return time;
        break;
    }
    return std::nullopt;
}

bool LyricsTiming::undoStamp() {
    if (stamps_.empty()) return false;
    const int last = stamps_.back();
    stamps_.pop_back();
    savedStamps_ = std::min(savedStamps_, stamps_.size());
    stampedFileTimes_[std::size_t(last)].reset();
    // Back to what the line had before: its cue's time, if it came with one.
    const std::optional<double>& cue = cueFileTimes_[std::size_t(last)];
    lines_[std::size_t(last)].time = cue ? std::optional<double>(*cue - offset_) : std::nullopt;
    changed();
    return true;
}

void LyricsTiming::addPastedLines(std::string_view text) {
    const std::string clean = platform::replacingInvalidUtf8(text);
    for (const lrc::TextLine& line : lrc::splitLines(clean)) {
        const std::string_view trimmed = line.text;
        if (trimmed.find_first_not_of(" \t") == std::string_view::npos) continue;
        addLine(trimmed, lineEnd_, FileLine::Origin::pasted);
    }
    changed();
}

bool LyricsTiming::dirty() const {
    return dirty_;
}

std::string LyricsTiming::stampLine(int lyric) const {
    const std::optional<double>& time = stampedFileTimes_[std::size_t(lyric)];
    return (time ? lrc::timeTag(*time) : std::string()) + lines_[std::size_t(lyric)].text;
}

std::vector<std::string> LyricsTiming::unsavedStamps() const {
    std::vector<std::string> unsaved;
    for (std::size_t i = savedStamps_; i < stamps_.size(); ++i)
        unsaved.push_back(stampLine(stamps_[i]));
    for (const FileLine& line : file_)
        if (line.origin == FileLine::Origin::pasted && line.lyric >= 0 &&
            !stampedFileTimes_[std::size_t(line.lyric)])
            unsaved.push_back(line.written);
    return unsaved;
}

SaveResult LyricsTiming::save() {
    if (!refused_.empty()) return {SaveResult::Outcome::failed, refused_};
    if (!dirty_) return {SaveResult::Outcome::unchanged, {}};
    // Never read, so never to be written over: read now, with what was done here laid over it.
    if (settling_) return readAgain();
    // One written meanwhile under another casing of the extension is the song's file from now on. Only
    // a song that had none can gain one: the folder is not listed at every save.
    if (!stamp_) {
        const std::optional<std::string> found = lrc::findLrc(lrc::besideFiles(audioPath_));
        if (found && *found != lrcPath_) return readAgain();
    }
    lrc::Encoding encoding = encoding_;
    const std::string encoded = render(encoding);
    // The reader's bound holds for what is written too: a larger file would show no lyrics.
    if (encoded.size() > largestLyricsFileSize)
        return {SaveResult::Outcome::failed, "The lyrics file " + fileName(lrcPath_) +
                                                 " would be larger than 2 MiB with these times, more than "
                                                 "Vantle reads back: nothing was written."};
    bool settling = false;
    std::optional<platform::Error> unreadable;
    // Under the lock of a checked save, looked at again just before the rename: an editor's write at
    // any moment of the save is read again, never replaced.
    const auto saved =
        platform::saveFileChecked(lrcPath_, largestLyricsFileSize, [&](const platform::FoundFile& file) {
            if (file.unreadable) {
                unreadable = file.unreadable;
                return platform::SaveChoice::leaving();
            }
            if (file.stamp != stamp_) {
                settling = !quiet_.quiet(file.stamp, stamp_, clock_->now());
                return platform::SaveChoice::leaving();
            }
            return platform::SaveChoice::writing(platform::Bytes(encoded.begin(), encoded.end()));
        });
    // Something there that is no file to read (a folder, a file gone unreadable) is not written over.
    if (!saved || unreadable) {
        return {SaveResult::Outcome::failed,
                "The lyrics file " + fileName(lrcPath_) + " could not be written: " +
                    platform::fileErrorReason(saved ? *unreadable : saved.error()) + "."};
    }
    if (settling)
        return {SaveResult::Outcome::waiting,
                "The lyrics file " + fileName(lrcPath_) + " is being written by another program."};
    // Left only when the file was not the one read.
    if (saved->status == platform::CheckedSave::Status::left ||
        saved->status == platform::CheckedSave::Status::changedOnDisk)
        return readAgain();
    stamp_ = saved->stamp;
    savedStamps_ = stamps_.size();
    for (FileLine& line : file_) {
        // The bytes written are the file's from now on.
        if (line.origin != FileLine::Origin::file || encoding != encoding_)
            line.bytes = *lrc::encodePiece(line.written, encoding);
        line.origin = FileLine::Origin::file;
    }
    encoding_ = encoding;
    baseline_ = encoded;
    dirty_ = false;
    return {SaveResult::Outcome::written, {}};
}

SaveResult LyricsTiming::saveBeforeLeaving(const Pause& pause) {
    const platform::Date start = clock_->now();
    SaveResult result = save();
    int setAside = result.setAside;
    bool readAgain = result.readAgain;
    // A file an editor is writing is quiet again within a moment; a reading again is written at once.
    // Counted too: a clock set back meanwhile must not hold the timing for ever.
    constexpr double step = 0.1;
    for (int tries = 0; tries < int(2 * leavingPatience / step); ++tries) {
        if (result.outcome == SaveResult::Outcome::waiting) {
            if (clock_->now().timeIntervalSince(start) >= leavingPatience) break;
            if (pause)
                pause(step);
            else
                std::this_thread::sleep_for(std::chrono::duration<double>(step));
        } else if (result.outcome != SaveResult::Outcome::changedOnDisk) {
            break;
        }
        result = save();
        setAside += result.setAside;
        readAgain = readAgain || result.readAgain;
    }
    result.setAside = setAside;
    result.readAgain = readAgain;
    if (result.ok()) return result;
    platform::consolePrint("can't write " + lrcPath_ + ": " + result.reason);
    for (const std::string& line : unsavedStamps())
        platform::consolePrint("not written to " + lrcPath_ + ": " + line);
    return result;
}

SaveResult LyricsTiming::readAgain() {
    LyricsTiming fresh(audioPath_, *clock_);
    if (fresh.settling())
        return {SaveResult::Outcome::waiting,
                "The lyrics file " + fileName(lrcPath_) + " is being written by another program."};
    // The work done here goes on top of what is there now where it still fits: a stamp on its line if
    // that line is still there without a time, a pasted line if it is not there.
    std::map<std::string, int> present;
    for (const FileLine& line : file_) {
        if (line.origin != FileLine::Origin::pasted || line.lyric < 0) continue;
        const std::optional<lrc::Line> read = lrc::parseLine(line.written);
        const std::string text = read ? read->text : line.written;
        if (occurrence(fresh.lines_, text, present[text]++) < 0)
            fresh.addLine(line.written, fresh.lineEnd_, FileLine::Origin::pasted);
    }
    fresh.setAside_ = std::move(setAside_);
    int setAside = 0;
    // Stamps a save wrote are the file's: what it says now of their lines stands.
    for (std::size_t i = savedStamps_; i < stamps_.size(); ++i) {
        const int stamped = stamps_[i];
        const LyricLine& line = lines_[std::size_t(stamped)];
        const int index = occurrence(fresh.lines_, line.text, occurrenceIndex(lines_, stamped));
        if (index < 0 || !fresh.unstamped(std::size_t(index))) {
            // Its line was changed or timed there: kept aside, with its time, for the user to place.
            fresh.setAside_.push_back(stampLine(stamped));
            ++setAside;
            continue;
        }
        const double fileTime = *stampedFileTimes_[std::size_t(stamped)];
        fresh.stampedFileTimes_[std::size_t(index)] = fileTime;
        fresh.lines_[std::size_t(index)].time = fileTime - fresh.offset_;
        fresh.stamps_.push_back(index);
    }
    fresh.changed();
    *this = std::move(fresh);
    std::string reason = "The lyrics file " + fileName(lrcPath_) +
                         " changed on disk since it was read: it was read again, and nothing was written.";
    if (setAside > 0)
        reason +=
            " " + std::to_string(setAside) +
            (setAside == 1 ? " stamp found no line in it and is" : " stamps found no line in it and are") +
            " kept at the end of the list.";
    return {SaveResult::Outcome::changedOnDisk, std::move(reason), setAside, true};
}

} // namespace vantle
