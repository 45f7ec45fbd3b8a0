#include "Source/karaoke/Lyrics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace vantle {

namespace {

// A last line has no next line to end its wipe: it is sung over this long.
constexpr double lastLineSeconds = 5.0;
// Times computed from a file's decimal fractions land a rounding error off the value they stand for.
constexpr double timeSlack = 1e-9;

bool sung(const LyricLine& line) {
    return !line.text.empty();
}

// The byte ends of a text's characters: a base character with the marks that combine with it.
std::vector<int> characterEnds(std::string_view text) {
    std::vector<int> ends;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    bool joined = false;
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        const int8_t type = c < 0 ? int8_t(U_UNASSIGNED) : u_charType(c);
        const bool combines = type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK ||
                              type == U_COMBINING_SPACING_MARK || c == 0x200D;
        if (!ends.empty() && (combines || joined)) {
            ends.back() = i;
        } else {
            ends.push_back(i);
        }
        joined = c == 0x200D; // a zero-width joiner holds the next character to this one
    }
    return ends;
}

// Characters of `ends` (whole and a part) lit in [fromByte, toByte) as t goes from start to end.
double litCharacters(const std::vector<int>& ends, int fromByte, int toByte, double start, double end,
                     double t) {
    const auto first = std::upper_bound(ends.begin(), ends.end(), fromByte) - ends.begin();
    const auto last = std::upper_bound(ends.begin(), ends.end(), toByte) - ends.begin();
    const auto count = double(last - first);
    if (t >= end || end <= start) return count;
    return std::clamp((t - start) / (end - start), 0.0, 1.0) * count;
}

} // namespace

int Lyrics::lineAt(double t) const {
    const auto later =
        std::upper_bound(lines.begin(), lines.end(), t,
                         [](double time, const LyricLine& line) { return time < line.time.value_or(0.0); });
    return int(later - lines.begin()) - 1;
}

std::optional<double> Lyrics::nextLineTime(double t) const {
    // A break's blank line is no place to jump to: the next sung line is.
    for (std::size_t i = std::size_t(lineAt(t) + 1); i < lines.size(); ++i) {
        if (sung(lines[i])) return lines[i].time;
    }
    return std::nullopt;
}

std::optional<double> Lyrics::previousLineTime(double t) const {
    int current = lineAt(t);
    while (current >= 0 && !sung(lines[std::size_t(current)]))
        --current;
    for (int i = current - 1; i >= 0; --i) {
        if (sung(lines[std::size_t(i)])) return lines[std::size_t(i)].time;
    }
    for (const LyricLine& line : lines) {
        if (sung(line)) return line.time;
    }
    return std::nullopt;
}

LyricsMoment lyricsMomentAt(const Lyrics& lyrics, double t) {
    LyricsMoment moment;
    const auto& lines = lyrics.lines;
    moment.line = lyrics.lineAt(t);
    if (moment.line >= 0) {
        const LyricLine& line = lines[std::size_t(moment.line)];
        const double start = line.time.value_or(0.0);
        const std::size_t next = std::size_t(moment.line) + 1;
        const double end = next < lines.size() ? lines[next].time.value_or(start)
                           : line.wordsEnd     ? *line.wordsEnd
                                               : start + lastLineSeconds;
        const std::vector<int> ends = characterEnds(line.text);
        const int size = int(line.text.size());
        double lit = 0.0;
        if (line.words.empty()) {
            lit = litCharacters(ends, 0, size, start, end, t);
        } else {
            // Each word is wiped from its own time to the next word's; text before the first word
            // from the line's time to the first word's.
            int wordsSize = 0;
            for (const LyricWord& word : line.words)
                wordsSize += int(word.text.size());
            const int prefix = std::max(0, size - wordsSize);
            lit = litCharacters(ends, 0, prefix, start, line.words.front().start, t);
            int from = prefix;
            for (std::size_t i = 0; i < line.words.size(); ++i) {
                const LyricWord& word = line.words[i];
                if (t < word.start) break;
                const double wordEnd = i + 1 < line.words.size() ? line.words[i + 1].start
                                       : line.wordsEnd           ? *line.wordsEnd
                                                                 : end;
                const int to = std::min(size, from + int(word.text.size()));
                lit += litCharacters(ends, from, to, word.start, wordEnd, t);
                from = to;
            }
        }
        // Word starts and ends from a careless file may cross; what is lit never shrinks below zero.
        const double whole = std::floor(lit + timeSlack);
        moment.litFraction = ends.empty() ? 0.0 : std::clamp(lit / double(ends.size()), 0.0, 1.0);
        const auto wholeCharacters = std::size_t(std::clamp(whole, 0.0, double(ends.size())));
        moment.litBytes = wholeCharacters == 0 ? 0 : ends[wholeCharacters - 1];
    }

    // The countdown: before the first sung line, and before a sung line after a long break.
    std::size_t coming = std::size_t(moment.line + 1);
    while (coming < lines.size() && !sung(lines[coming]))
        ++coming;
    if (coming >= lines.size()) return moment;
    const double due = lines[coming].time.value_or(0.0);
    int previous = int(coming) - 1;
    std::optional<double> breakStart;
    for (; previous >= 0; --previous) {
        const LyricLine& line = lines[std::size_t(previous)];
        if (!sung(line)) {
            breakStart = line.time; // the earliest blank line after the last sung one
            continue;
        }
        if (!breakStart) {
            breakStart = line.wordsEnd         ? *line.wordsEnd
                         : !line.words.empty() ? line.words.back().start
                                               : line.time.value_or(0.0);
        }
        break;
    }
    const bool counted = previous < 0 || due - *breakStart >= LyricsMoment::breakSeconds - timeSlack;
    const double left = due - t;
    if (counted && left > 0.0 && left <= 3.0 + timeSlack)
        moment.countdownDots = int(std::ceil(left - timeSlack));
    return moment;
}

} // namespace vantle
