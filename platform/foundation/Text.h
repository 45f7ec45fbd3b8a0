#pragma once
// Unicode text services: regular expressions, case mapping, trimming, UTF-8 checks. Any thread.
//
// Texts are UTF-8. Offsets are byte offsets into the given text. Invalid UTF-8 never crashes
// anything: regular expressions and case mapping see each bad sequence as U+FFFD.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One match of a regular expression; groups[0] is the whole match, then one entry per group.
struct RegexMatch {
    static constexpr std::size_t npos = std::string::npos;
    struct Group {
        std::size_t begin = npos; // npos when the group took no part in the match
        std::size_t end = npos;
        std::string text; // "" when the group took no part in the match
        bool matched() const { return begin != npos; }
    };
    std::vector<Group> groups;
};

// All matches, left to right, without overlap, with the platform's (ICU) pattern syntax and no
// options. A pattern that does not compile gives no matches. Compiled patterns are cached. A search
// gets work linear in the text's length: one that backtracks beyond it ends with the matches found
// so far, so that no text read from a file can stall the program.
std::vector<RegexMatch> regexMatches(std::string_view pattern, std::string_view text);
std::optional<RegexMatch> firstMatch(std::string_view pattern, std::string_view text);
// For every match the texts of groups[0..n]: the whole match first, then each group.
std::vector<std::vector<std::string>> captureGroups(std::string_view pattern, std::string_view text);

// Full Unicode case mapping in the root locale ("ÉCOLE" → "école", final sigma included).
std::string lowercased(std::string_view text);
std::string uppercased(std::string_view text);
// Case-folded, canonically normalised containment; an empty needle is never contained.
bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle);

// Drops Unicode white space and line ends (tab, LF, CR, NEL, U+2028, no-break space, ...) at
// both ends.
std::string trimmingWhitespace(std::string_view text);
// Splits at every control or format character (general categories Cc and Cf). Each one ends a
// line, so "a\r\nb" gives "a", "", "b", and the text after the last one is the last line.
std::vector<std::string> splittingAtControlCharacters(std::string_view text);

// Well-formed UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool isValidUtf8(std::string_view text);
// The text with every ill-formed sequence replaced by U+FFFD.
std::string replacingInvalidUtf8(std::string_view text);
// The text as one line that still says what it holds: tab, line feed and carriage return written
// "\t", "\n" and "\r", every other control character (C0, DEL, C1), the line and paragraph
// separators and the bidirectional embeddings, overrides and isolates (U+202A-U+202E, U+2066-U+2069)
// written "\u" and four upper-case hex digits ("\u001B", "\u2028", "\u202E"). Whatever a file name
// holds, shown this way it never breaks a line, fakes another one, shows its text in another order or
// sends a terminal a command.
// Ill-formed sequences are kept as they are (a text widget shows them as U+FFFD; text printed as
// bytes escapes them as well: printableLine).
std::string escapingControlCharacters(std::string_view text);
// The text with every byte of an ill-formed sequence written as "\xNN" (upper-case hex): still
// UTF-8, and a file name in another encoding can be told from its neighbours.
std::string escapingInvalidUtf8(std::string_view text);
// The text as one line of well-formed UTF-8 to print or write to a file: ill-formed bytes and
// control characters escaped as the two functions above do.
std::string printableLine(std::string_view text);

} // namespace platform
