#include "Source/karaoke/LyricsFile.h"

#include "Source/karaoke/LrcText.h"
#include "Source/session/Transcription.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/Url.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace vantle {

namespace {

std::string shownPath(const std::string& path) {
    return "\u201C" + platform::escapingControlCharacters(path) + "\u201D";
}

std::string tooLargeNotice(const std::string& path) {
    return "The lyrics file " + shownPath(path) + " is larger than 2 MiB and was not read.";
}

std::string unreadableNotice(const std::string& path, const platform::Error& error) {
    return "The lyrics file " + shownPath(path) + " could not be read: " + platform::fileErrorReason(error) +
           ".";
}

void addNotice(std::string& notice, const std::string& more) {
    notice += notice.empty() ? more : " " + more;
}

std::optional<Lyrics> lyricsOfTranscription(const std::string& audioPath, const std::string& path,
                                            std::string& notice) {
    if (!platform::fileExists(path)) return std::nullopt;
    const Transcription transcription(platform::Url::fileURLWithPath(audioPath, false));
    if (transcription.tooLarge()) {
        addNotice(notice, tooLargeNotice(path));
        return std::nullopt;
    }
    if (transcription.segments.empty()) {
        // Said only when it could not be read at all; a file without cues is no news.
        auto bytes = platform::readFile(path, largestLyricsFileSize);
        if (!bytes) addNotice(notice, unreadableNotice(path, bytes.error()));
        return std::nullopt;
    }
    Lyrics lyrics;
    lyrics.source = Lyrics::Source::transcription;
    lyrics.path = path;
    for (const auto& cue : transcription.segments)
        lyrics.lines.push_back({cue->time(), cue->text(), {}, {}});
    std::stable_sort(lyrics.lines.begin(), lyrics.lines.end(),
                     [](const LyricLine& a, const LyricLine& b) { return *a.time < *b.time; });
    return lyrics;
}

} // namespace

std::optional<Lyrics> parseLrc(std::string_view bytes) {
    const lrc::DecodedText decoded = lrc::decodeText(bytes);
    Lyrics lyrics;
    lyrics.source = Lyrics::Source::lrc;
    struct Timed {
        double fileTime;
        const lrc::Line* line;
    };
    std::vector<lrc::Line> read;
    for (const lrc::TextLine& textLine : lrc::splitLines(decoded.text)) {
        if (auto line = lrc::parseLine(textLine.text)) read.push_back(std::move(*line));
    }
    std::vector<Timed> timed;
    bool any = false;
    // Each time of a line copies it: a line of many times and a long text would take far more memory than
    // the file's few bytes, so the copies stop at a bound and the rest are left out.
    std::uint64_t held = 0;
    for (const lrc::Line& line : read) {
        switch (line.kind) {
        case lrc::Line::Kind::blank:
            break;
        case lrc::Line::Kind::idTag:
            lyrics.tags[line.tagName] = line.tagValue;
            any = true;
            break;
        case lrc::Line::Kind::timed: {
            std::uint64_t copy = sizeof(LyricLine) + line.text.size() + line.words.size() * sizeof(LyricWord);
            for (const auto& word : line.words)
                copy += word.second.size();
            for (const double time : line.times) {
                if (held + copy > largestLyricsHeld) {
                    lyrics.shortened = true;
                    break;
                }
                held += copy;
                timed.push_back({time, &line});
            }
            any = true;
            break;
        }
        case lrc::Line::Kind::untimed:
            lyrics.untimed.push_back({std::nullopt, line.text, {}, {}});
            any = true;
            break;
        }
    }
    if (!any) return std::nullopt;
    // A positive offset shows every line that much earlier, wherever the tag stands in the file.
    const auto offset = lyrics.tags.find("offset");
    const double shift = offset == lyrics.tags.end() ? 0.0 : lrc::offsetSeconds(offset->second);
    std::stable_sort(timed.begin(), timed.end(),
                     [](const Timed& a, const Timed& b) { return a.fileTime < b.fileTime; });
    lyrics.lines.reserve(timed.size());
    for (const Timed& entry : timed) {
        LyricLine line{entry.fileTime - shift, entry.line->text, {}, {}};
        // Word times are of the line's first singing; a repeat of the line moves them along with it.
        const double moved = entry.fileTime - entry.line->times.front() - shift;
        for (const auto& [start, text] : entry.line->words)
            line.words.push_back({start + moved, text});
        if (entry.line->wordsEnd) line.wordsEnd = *entry.line->wordsEnd + moved;
        lyrics.lines.push_back(std::move(line));
    }
    return lyrics;
}

namespace {

// The lyrics of the files beside a song, its LRC file already looked for.
LyricsReadResult readLyricsFound(const std::string& audioPath, const lrc::Beside& beside,
                                 const std::optional<std::string>& lrcPath) {
    LyricsReadResult result;
    result.lookedFor = {lrcPath.value_or(beside.lrcToWrite), beside.transcription};
    if (lrcPath) {
        auto bytes = platform::readFile(*lrcPath, largestLyricsFileSize);
        if (!bytes) {
            addNotice(result.notice, bytes.error().code == EFBIG ? tooLargeNotice(*lrcPath)
                                                                 : unreadableNotice(*lrcPath, bytes.error()));
        } else if (auto lyrics = parseLrc(
                       std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()))) {
            lyrics->path = *lrcPath;
            if (lyrics->shortened)
                addNotice(result.notice, "The lyrics file " + shownPath(*lrcPath) +
                                             " repeats its lines more often than can be shown; the last "
                                             "repeats are left out.");
            result.lyrics = std::move(lyrics);
            return result;
        }
    }
    result.lyrics = lyricsOfTranscription(audioPath, beside.transcription, result.notice);
    return result;
}

} // namespace

LyricsReadResult readLyricsBeside(const std::string& audioPath) {
    const lrc::Beside beside = lrc::besideFiles(audioPath);
    return readLyricsFound(audioPath, beside, lrc::findLrc(beside));
}

// The loader's side shared with the reads it started.
struct LyricsLoader::State {
    // Main thread only.
    Delivery delivery;
    bool alive = true;

    std::mutex mutex;
    std::uint64_t generation = 0; // of the song asked for last
    bool looking = false;         // a read or look is under way
    // What the files beside the song were when they were last read: a change in any is read again.
    struct Seen {
        std::optional<platform::FileStamp> folder, lrc, transcription;
        std::optional<std::string> lrcPath;
        bool operator==(const Seen&) const = default;
    };
    std::optional<Seen> seen;
};

namespace {

using LoaderState = LyricsLoader::State;

// Runs on the global queue: reads when asked to or when the files differ from what was read.
void look(const std::shared_ptr<LoaderState>& state, std::uint64_t generation, std::string audioPath,
          bool read) {
    const lrc::Beside beside = lrc::besideFiles(audioPath);
    std::optional<LoaderState::Seen> before;
    {
        std::lock_guard lock(state->mutex);
        if (state->generation == generation) before = state->seen;
    }
    LoaderState::Seen now;
    now.folder = platform::fileStamp(beside.folder);
    // The folder is listed only when its names may have changed.
    now.lrcPath = before && before->folder == now.folder ? before->lrcPath : lrc::findLrc(beside);
    if (now.lrcPath) now.lrc = platform::fileStamp(*now.lrcPath);
    now.transcription = platform::fileStamp(beside.transcription);
    const bool changed = !before || now.lrcPath != before->lrcPath || now.lrc != before->lrc ||
                         now.transcription != before->transcription;
    std::optional<LyricsReadResult> result;
    if (read || changed)
        // Stamped before: a write meanwhile is seen next time. The LRC file just looked for is the one
        // read, so the folder is not listed a second time.
        result = readLyricsFound(audioPath, beside, now.lrcPath);
    // Handed over before the next look may start, so that a result never arrives after a later one.
    if (result) {
        platform::mainQueue().async([state, generation, result = std::move(*result)] {
            bool current;
            {
                std::lock_guard lock(state->mutex);
                current = state->generation == generation;
            }
            if (state->alive && current && state->delivery) state->delivery(result);
        });
    }
    std::lock_guard lock(state->mutex);
    if (state->generation == generation) {
        state->seen = now;
        state->looking = false;
    }
}

} // namespace

LyricsLoader::LyricsLoader(Delivery delivery) : state_(std::make_shared<State>()) {
    state_->delivery = std::move(delivery);
}

LyricsLoader::~LyricsLoader() {
    state_->alive = false;
    state_->delivery = nullptr;
}

void LyricsLoader::load(const std::string& audioPath) {
    audioPath_ = audioPath;
    std::uint64_t generation;
    {
        std::lock_guard lock(state_->mutex);
        generation = ++state_->generation;
        state_->seen.reset();
        state_->looking = !audioPath.empty();
    }
    if (audioPath.empty()) return;
    platform::globalQueue().async(
        [state = state_, generation, audioPath] { look(state, generation, audioPath, true); });
}

bool LyricsLoader::poll() {
    if (audioPath_.empty()) return false;
    std::uint64_t generation;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->looking || !state_->seen) return false;
        state_->looking = true;
        generation = state_->generation;
    }
    platform::globalQueue().async(
        [state = state_, generation, audioPath = audioPath_] { look(state, generation, audioPath, false); });
    return true;
}

} // namespace vantle
