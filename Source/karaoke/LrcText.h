#pragma once
// The pieces of the LRC form shared by the reader and the timing: the text of the file's bytes, its
// lines with their ends, one line read, a time written, and the files beside a song. Any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantle::lrc {

// How the bytes of a file were text, so that a file written back keeps its form.
enum class Encoding { utf8, utf8WithMark, utf16LittleEndian, utf16BigEndian, latin1 };

struct DecodedText {
    std::string text; // UTF-8
    Encoding encoding = Encoding::utf8;
};
// UTF-8 with or without a byte-order mark, UTF-16 with one (an unpaired surrogate read as U+FFFD),
// else Latin-1: bytes that are not well-formed UTF-8 are each one character.
DecodedText decodeText(std::string_view bytes);
// The text in `encoding`, mark included; a text that Latin-1 cannot hold is written as UTF-8, and
// `encoding` says so.
std::string encodeText(std::string_view utf8, Encoding& encoding);

// The mark `encoding` writes before the text: none for UTF-8 without one and Latin-1.
std::string_view markOf(Encoding encoding);
// UTF-8 text in `encoding`, without the mark; none when Latin-1 cannot hold it.
std::optional<std::string> encodePiece(std::string_view utf8, Encoding encoding);
// The bytes of one line (no mark) in `encoding` as UTF-8, read as decodeText reads a whole file.
std::string decodeAs(std::string_view bytes, Encoding encoding);

struct TextLine {
    std::string_view text;
    std::string_view end; // "\n", "\r\n", "\r" or "" for a last line without an end
};
// Every line, the last one too when it is empty only if it has no end: "a\n" is one line.
std::vector<TextLine> splitLines(std::string_view text);
// The same of a file's bytes after its mark, in `encoding`: each line's bytes and its end's bytes as
// written (in UTF-16 a last odd byte stays with the last line).
std::vector<TextLine> splitEncodedLines(std::string_view bytes, Encoding encoding);

// One line of an LRC file, read.
struct Line {
    enum class Kind {
        blank,   // nothing but white space
        idTag,   // [name:value]
        timed,   // one or more time tags, then the text (perhaps empty: a break)
        untimed, // text without a time
    };
    Kind kind = Kind::blank;
    std::vector<double> times;                         // file seconds, offset not applied
    std::string tagName;                               // lower case
    std::string tagValue;                              // as written
    std::string text;                                  // word-time tags removed, trimmed
    std::vector<std::pair<double, std::string>> words; // file seconds and the word's text
    std::optional<double> wordsEnd;
};
// None for a line that does not parse: a time tag that is no time, an ID tag followed by more.
std::optional<Line> parseLine(std::string_view line);

// "m:ss", "mm:ss.x", "mm:ss.xx", "mm:ss.xxx", "mm:ss:xx", as seconds; none for anything else.
std::optional<double> parseTime(std::string_view text);
// "[mm:ss.xx]" of a time in seconds (at least 0), rounded to the hundredth.
std::string timeTag(double seconds);
// The offset tag's milliseconds ("+500", "-250", "120"), as seconds to subtract from file times.
double offsetSeconds(std::string_view value);

// The song's files: <name>.lrc as found (the extension in any case), <name>.t.txt, and <name>.lrc in
// lower case for a file still to be written.
struct Beside {
    std::string folder;
    std::string lrcToWrite;
    std::string transcription;
};
Beside besideFiles(const std::string& audioPath);
// The LRC file there now; the lower-case name first, then any other case. A look at a folder lists at
// most a bounded number of its entries.
std::optional<std::string> findLrc(const Beside& beside);

} // namespace vantle::lrc
