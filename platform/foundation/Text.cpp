#include "platform/foundation/Text.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace platform {

namespace {

constexpr char textReplacementCharacter[] = "\xEF\xBF\xBD";

// Decodes the code point at i and advances i; negative for an ill-formed sequence, after which i
// stands behind its maximal subpart.
UChar32 textNextCodePoint(std::string_view text, std::int64_t& i) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    auto length = static_cast<std::int64_t>(text.size());
    UChar32 c;
    U8_NEXT(s, i, length, c);
    return c;
}

// UTF-16 for ICU, with the byte offset of every UTF-16 unit (plus one for the end) so that
// match positions map back to the UTF-8 text.
struct TextUtf16 {
    icu::UnicodeString string;
    std::vector<std::size_t> byteOffsets;
};

TextUtf16 textToUtf16(std::string_view text) {
    TextUtf16 out;
    out.byteOffsets.reserve(text.size() + 1);
    std::int64_t i = 0;
    auto length = static_cast<std::int64_t>(text.size());
    while (i < length) {
        std::size_t begin = static_cast<std::size_t>(i);
        UChar32 c = textNextCodePoint(text, i);
        if (c < 0) c = 0xFFFD;
        out.string.append(c);
        out.byteOffsets.push_back(begin);
        if (U16_LENGTH(c) == 2) out.byteOffsets.push_back(begin);
    }
    out.byteOffsets.push_back(text.size());
    return out;
}

std::string textToUtf8(const icu::UnicodeString& string) {
    std::string out;
    string.toUTF8String(out);
    return out;
}

icu::UnicodeString textFromUtf8(std::string_view text) {
    // ICU strings hold at most 2^31 units; no text of this program comes near that.
    auto length = static_cast<int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), length));
}

// Compiled patterns, shared by all threads: a RegexPattern is immutable and hands out
// independent matchers. Patterns that do not compile are cached as null.
std::shared_ptr<const icu::RegexPattern> textCompiledPattern(std::string_view pattern) {
    static std::mutex mutex;
    static std::unordered_map<std::string, std::shared_ptr<const icu::RegexPattern>> cache;
    std::string key(pattern);
    {
        std::lock_guard lock(mutex);
        if (auto it = cache.find(key); it != cache.end()) return it->second;
    }
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::shared_ptr<const icu::RegexPattern> compiled(
        icu::RegexPattern::compile(textFromUtf8(pattern), 0, parseError, status));
    if (U_FAILURE(status)) compiled.reset();
    std::lock_guard lock(mutex);
    // Patterns are program constants; the bound only guards against a caller that builds them.
    if (cache.size() >= 256) cache.clear();
    cache.emplace(std::move(key), compiled);
    return compiled;
}

// The engine's time limit counts its own steps in units of 10,000, not the clock's time, so the
// bound is the same on every machine. Searches with a linear pattern take a few steps per unit of
// text; a fixed allowance lets short texts backtrack freely.
std::int32_t textMatchStepLimit(std::size_t utf16Units) {
    constexpr std::size_t baseUnits = 100;
    constexpr std::size_t stepsPerTextUnit = 64;
    return static_cast<std::int32_t>(baseUnits + utf16Units * stepsPerTextUnit / 10000);
}

// The engine's backtracking stack holds a frame per unit that a loop inside an optional group has
// taken; the default of 8 MB ends a search within a run of some 100,000 digits. The step limit
// bounds the work, so the stack may grow with the text.
std::int32_t textMatchStackLimit(std::size_t utf16Units) {
    constexpr std::size_t defaultBytes = 8 << 20;
    constexpr std::size_t mostBytes = 1 << 30;
    return static_cast<std::int32_t>(std::clamp<std::size_t>(utf16Units * 128, defaultBytes, mostBytes));
}

std::vector<RegexMatch> textMatches(std::string_view pattern, std::string_view text, bool firstOnly) {
    std::vector<RegexMatch> matches;
    if (text.size() > static_cast<std::size_t>(INT32_MAX / 2)) return matches;
    std::shared_ptr<const icu::RegexPattern> compiled = textCompiledPattern(pattern);
    if (!compiled) return matches;
    TextUtf16 input = textToUtf16(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(input.string, status));
    if (U_FAILURE(status) || !matcher) return matches;
    const auto units = static_cast<std::size_t>(input.string.length());
    matcher->setTimeLimit(textMatchStepLimit(units), status);
    matcher->setStackLimit(textMatchStackLimit(units), status);
    int32_t groupCount = matcher->groupCount();
    while (matcher->find(status) && U_SUCCESS(status)) {
        RegexMatch match;
        match.groups.resize(static_cast<std::size_t>(groupCount) + 1);
        for (int32_t g = 0; g <= groupCount; ++g) {
            int32_t start = matcher->start(g, status);
            int32_t end = matcher->end(g, status);
            if (U_FAILURE(status)) return matches;
            if (start < 0 || end < start) continue;
            RegexMatch::Group& group = match.groups[static_cast<std::size_t>(g)];
            group.begin = input.byteOffsets[static_cast<std::size_t>(start)];
            group.end = input.byteOffsets[static_cast<std::size_t>(end)];
            group.text = std::string(text.substr(group.begin, group.end - group.begin));
        }
        matches.push_back(std::move(match));
        if (firstOnly) break;
    }
    return matches;
}

} // namespace

std::vector<RegexMatch> regexMatches(std::string_view pattern, std::string_view text) {
    return textMatches(pattern, text, false);
}

std::optional<RegexMatch> firstMatch(std::string_view pattern, std::string_view text) {
    std::vector<RegexMatch> matches = textMatches(pattern, text, true);
    if (matches.empty()) return std::nullopt;
    return std::move(matches.front());
}

std::vector<std::vector<std::string>> captureGroups(std::string_view pattern, std::string_view text) {
    std::vector<std::vector<std::string>> result;
    for (RegexMatch& match : textMatches(pattern, text, false)) {
        std::vector<std::string> texts;
        texts.reserve(match.groups.size());
        for (RegexMatch::Group& group : match.groups)
            texts.push_back(std::move(group.text));
        result.push_back(std::move(texts));
    }
    return result;
}

std::string lowercased(std::string_view text) {
    return textToUtf8(textFromUtf8(text).toLower(icu::Locale::getRoot()));
}

std::string uppercased(std::string_view text) {
    return textToUtf8(textFromUtf8(text).toUpper(icu::Locale::getRoot()));
}

bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return false;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return false;
    auto prepare = [&](std::string_view text) {
        return nfc->normalize(textFromUtf8(text).foldCase(U_FOLD_CASE_DEFAULT), status);
    };
    icu::UnicodeString h = prepare(haystack);
    icu::UnicodeString n = prepare(needle);
    if (U_FAILURE(status)) return false;
    return h.indexOf(n) >= 0;
}

std::string trimmingWhitespace(std::string_view text) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    auto length = static_cast<std::int64_t>(text.size());
    std::int64_t begin = 0;
    while (begin < length) {
        std::int64_t next = begin;
        UChar32 c = textNextCodePoint(text, next);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        begin = next;
    }
    std::int64_t end = length;
    while (end > begin) {
        // Back up over continuation bytes to the lead byte of the last sequence.
        std::int64_t previous = end - 1;
        while (previous > begin && end - previous < 4 && (s[previous] & 0xC0) == 0x80)
            --previous;
        std::int64_t next = previous;
        UChar32 c = textNextCodePoint(text, next);
        if (c < 0 || next != end || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return std::string(text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

std::vector<std::string> splittingAtControlCharacters(std::string_view text) {
    std::vector<std::string> lines;
    std::int64_t i = 0;
    auto length = static_cast<std::int64_t>(text.size());
    std::size_t lineStart = 0;
    while (i < length) {
        auto begin = static_cast<std::size_t>(i);
        UChar32 c = textNextCodePoint(text, i);
        if (c < 0) continue;
        int8_t type = u_charType(c);
        if (type == U_CONTROL_CHAR || type == U_FORMAT_CHAR) {
            lines.emplace_back(text.substr(lineStart, begin - lineStart));
            lineStart = static_cast<std::size_t>(i);
        }
    }
    lines.emplace_back(text.substr(lineStart));
    return lines;
}

bool isValidUtf8(std::string_view text) {
    std::int64_t i = 0;
    auto length = static_cast<std::int64_t>(text.size());
    while (i < length) {
        if (textNextCodePoint(text, i) < 0) return false;
    }
    return true;
}

std::string replacingInvalidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::int64_t i = 0;
    auto length = static_cast<std::int64_t>(text.size());
    while (i < length) {
        auto begin = static_cast<std::size_t>(i);
        if (textNextCodePoint(text, i) < 0)
            out += textReplacementCharacter;
        else
            out.append(text.substr(begin, static_cast<std::size_t>(i) - begin));
    }
    return out;
}

std::string escapingControlCharacters(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    // Most lines are plain ASCII text: they go out as they came.
    if (std::none_of(text.begin(), text.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 || byte >= 0x7F;
        }))
        return std::string(text);
    std::string out;
    out.reserve(text.size() + 16);
    std::int64_t i = 0;
    auto length = static_cast<std::int64_t>(text.size());
    while (i < length) {
        auto begin = static_cast<std::size_t>(i);
        const UChar32 c = textNextCodePoint(text, i);
        if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if ((c >= 0 && c < 0x20) || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
                   (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(c >> shift) & 0x0f];
        } else {
            out.append(text.substr(begin, static_cast<std::size_t>(i) - begin));
        }
    }
    return out;
}

std::string escapingInvalidUtf8(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    std::int64_t i = 0;
    auto length = static_cast<std::int64_t>(text.size());
    while (i < length) {
        auto begin = static_cast<std::size_t>(i);
        const bool valid = textNextCodePoint(text, i) >= 0;
        for (std::size_t b = begin; b < static_cast<std::size_t>(i); ++b) {
            if (valid) {
                out += text[b];
                continue;
            }
            const auto byte = static_cast<unsigned char>(text[b]);
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0x0f];
        }
    }
    return out;
}

std::string printableLine(std::string_view text) {
    return escapingControlCharacters(escapingInvalidUtf8(text));
}

} // namespace platform
