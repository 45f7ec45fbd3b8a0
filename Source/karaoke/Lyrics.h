#pragma once
// A song's lyrics as lines timed in heard seconds, and what is lit at a heard time. Plain data: any
// thread, no Qt, so that the panel and the singers' screen draw exactly what is tested here.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

struct LyricWord {
    double start = 0.0; // heard seconds, the file's offset applied
    std::string text;   // UTF-8; the words of a line, joined, are the end of its text
};

struct LyricLine {
    std::optional<double> time;     // heard seconds with the file's offset applied; nullopt: untimed
    std::string text;               // UTF-8, word-time tags removed
    std::vector<LyricWord> words;   // empty unless the file gave word times
    std::optional<double> wordsEnd; // a trailing <time> ending the last word
};

struct Lyrics {
    enum class Source { none, lrc, transcription };
    Source source = Source::none;
    std::string path;                        // the file read
    std::vector<LyricLine> lines;            // timed lines sorted by time (stable), blank timed lines kept
    std::vector<LyricLine> untimed;          // lines without a time, in file order
    std::map<std::string, std::string> tags; // ti ar al by length offset ... as written
    bool shortened = false;                  // repeats of lines left out beyond what can be held

    // The index of the latest timed line started at t, -1 if none.
    int lineAt(double t) const;
    // The start of the first line later than the one lit at t (of the first line before any is
    // lit); nullopt when there is none, so that a jump has nowhere to go rather than to 0.
    std::optional<double> nextLineTime(double t) const;
    // The start of the line before the one lit at t; the first line's start while the first line
    // or none is lit; nullopt without timed lines.
    std::optional<double> previousLineTime(double t) const;
};

// What the panel and the singers' screen draw at heard time t.
struct LyricsMoment {
    int line = -1;            // lit line (index into lines), -1 before the first
    double litFraction = 0.0; // 0..1 of the lit line's characters already sung: by word times where
                              // given, else linear from the line's time to the next line's time
    int litBytes = 0;         // the whole characters of litFraction, as a byte offset into the text
    int countdownDots = 0;    // 3, 2, 1 in the last three seconds before the first sung line or before a
                              // line following a break of at least breakSeconds; 0 otherwise
    static constexpr double breakSeconds = 10.0;
};

LyricsMoment lyricsMomentAt(const Lyrics& lyrics, double t);

} // namespace vantle
