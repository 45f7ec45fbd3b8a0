#include "Source/karaoke/LyricsTiming.h"

#include "Source/karaoke/LyricsFile.h"
#include "Source/session/Transcription.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/Url.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <map>

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
double fileTimeOf(double seconds) {
    return double(std::llround(seconds * 100.0)) / 100.0;
}

int occurrenceIndex(const std::vector<LyricLine>& lines, int index) {
    int n = 0;
    for (int i = 0; i < index; ++i)
        n += lines[std::size_t(i)].text == lines[std::size_t(index)].text;
    return n;
}

} // namespace

LyricsTiming::LyricsTiming(std::string audioPath) : audioPath_(std::move(audioPath)) {
    load();
}

void LyricsTiming::load() {
    lines_.clear();
    file_.clear();
    stampedFileTimes_.clear();
    cueFileTimes_.clear();
    stamps_.clear();
    savedStamps_ = 0;
    refused_.clear();
    offset_ = 0.0;
    encoding_ = lrc::Encoding::utf8;
    lineEnd_ = "\n";
    const lrc::Beside beside = lrc::besideFiles(audioPath_);
    transcriptionPath_ = beside.transcription;
    const std::optional<std::string> found = lrc::findLrc(beside);
    lrcPath_ = found.value_or(beside.lrcToWrite);
    // Stamped before it is read: a write in between then shows as a change at the save.
    stamp_ = found ? platform::fileStamp(lrcPath_) : std::nullopt;
    if (found) {
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
        lrc::DecodedText decoded =
            lrc::decodeText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        encoding_ = decoded.encoding;
        const std::vector<lrc::TextLine> textLines = lrc::splitLines(decoded.text);
        // The offset holds for every line, wherever it stands.
        for (const lrc::TextLine& line : textLines) {
            const auto read = lrc::parseLine(line.text);
            if (read && read->kind == lrc::Line::Kind::idTag && read->tagName == "offset")
                offset_ = lrc::offsetSeconds(read->tagValue);
        }
        if (!textLines.empty() && !textLines.front().end.empty())
            lineEnd_ = std::string(textLines.front().end);
        for (const lrc::TextLine& line : textLines)
            addLine(line.text, line.end, FileLine::Origin::file);
    } else {
        const Transcription transcription(platform::Url::fileURLWithPath(audioPath_, false));
        // A cue without words (the silence before the first) is no line to sing.
        for (const auto& cue : transcription.segments)
            if (cue->text().find_first_not_of(" \t") != std::string::npos)
                addLine(cue->text(), lineEnd_, FileLine::Origin::transcription,
                        fileTimeOf(std::max(0.0, cue->time())));
    }
    baseline_ = render();
    changed();
}

void LyricsTiming::addLine(std::string_view text, std::string_view end, FileLine::Origin origin,
                           std::optional<double> cueTime) {
    FileLine fileLine{std::string(text), std::string(end), -1, origin};
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

std::string LyricsTiming::render() const {
    std::string text;
    for (const FileLine& line : file_) {
        if (line.lyric >= 0) {
            const std::size_t lyric = std::size_t(line.lyric);
            if (const auto& time = stampedFileTimes_[lyric] ? stampedFileTimes_[lyric] : cueFileTimes_[lyric])
                text += lrc::timeTag(*time);
        }
        text += line.written;
        text += line.end;
    }
    return text;
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
    const double fileTime = fileTimeOf(std::max(0.0, heardSeconds + offset_));
    stampedFileTimes_[std::size_t(next)] = fileTime;
    lines_[std::size_t(next)].time = fileTime - offset_;
    stamps_.push_back(next);
    changed();
    return true;
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

SaveResult LyricsTiming::save() {
    if (!refused_.empty()) return {SaveResult::Outcome::failed, refused_};
    if (!dirty_) return {SaveResult::Outcome::unchanged, {}};
    // One written meanwhile under another casing of the extension is the song's file from now on. Only
    // a song that had none can gain one: the folder is not listed at every save.
    if (!stamp_) {
        const std::optional<std::string> found = lrc::findLrc(lrc::besideFiles(audioPath_));
        if (found && *found != lrcPath_) return readAgain();
    }
    const std::string text = render();
    lrc::Encoding encoding = encoding_;
    const std::string encoded = lrc::encodeText(text, encoding);
    // Under the lock of a checked save, looked at again just before the rename: an editor's write at
    // any moment of the save is read again, never replaced.
    const auto saved =
        platform::saveFileChecked(lrcPath_, largestLyricsFileSize, [&](const platform::FoundFile& file) {
            if (file.stamp != stamp_ || file.unreadable) return platform::SaveChoice::leaving();
            return platform::SaveChoice::writing(platform::Bytes(encoded.begin(), encoded.end()));
        });
    if (!saved) {
        return {SaveResult::Outcome::failed,
                "The lyrics file " + fileName(lrcPath_) +
                    " could not be written: " + platform::fileErrorReason(saved.error()) + "."};
    }
    // Left only when the file was not the one read.
    if (saved->status == platform::CheckedSave::Status::left ||
        saved->status == platform::CheckedSave::Status::changedOnDisk)
        return readAgain();
    stamp_ = saved->stamp;
    savedStamps_ = stamps_.size();
    encoding_ = encoding;
    for (FileLine& line : file_)
        line.origin = FileLine::Origin::file;
    baseline_ = text;
    dirty_ = false;
    return {SaveResult::Outcome::written, {}};
}

SaveResult LyricsTiming::readAgain() {
    // The work done here goes on top of what is there now where it still fits: a stamp on its line if
    // that line is still there without a time, a pasted line if it is not there.
    struct Stamped {
        std::string text;
        int occurrence;
        double fileTime;
    };
    std::vector<Stamped> stamped;
    // Stamps a save wrote are the file's: what it says now of their lines stands.
    for (const int index : std::vector<int>(stamps_.begin() + std::ptrdiff_t(savedStamps_), stamps_.end()))
        stamped.push_back({lines_[std::size_t(index)].text, occurrenceIndex(lines_, index),
                           *stampedFileTimes_[std::size_t(index)]});
    std::vector<std::string> pasted;
    for (const FileLine& line : file_)
        if (line.origin == FileLine::Origin::pasted && line.lyric >= 0) pasted.push_back(line.written);
    load();
    std::map<std::string, int> present;
    for (const std::string& line : pasted) {
        const std::optional<lrc::Line> read = lrc::parseLine(line);
        const std::string text = read ? read->text : line;
        if (occurrence(lines_, text, present[text]++) < 0) addLine(line, lineEnd_, FileLine::Origin::pasted);
    }
    for (const Stamped& stamp : stamped) {
        const int index = occurrence(lines_, stamp.text, stamp.occurrence);
        if (index < 0 || !unstamped(std::size_t(index))) continue;
        stampedFileTimes_[std::size_t(index)] = stamp.fileTime;
        lines_[std::size_t(index)].time = stamp.fileTime - offset_;
        stamps_.push_back(index);
    }
    changed();
    return {SaveResult::Outcome::changedOnDisk,
            "The lyrics file " + fileName(lrcPath_) +
                " changed on disk since it was read: it was read again, and nothing was written."};
}

} // namespace vantle
