#include "Source/session/TextNote.h"

#include "platform/foundation/Text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

namespace vantle {

namespace {

// The digit runs start where no digit precedes them and are possessive: the same first match as
// the plain "(\d+):(\d\d)\s*", without the quadratic search on long runs of digits.
constexpr std::string_view noteStampPattern = R"((?<!\d)(\d++):(\d\d)\s*+)";
constexpr std::string_view cueStampPattern = R"((?<!\d)(?:(\d++):)?(\d++):(\d\d).(\d++)\s*+-->)";

// ASCII decimal digits only: \d also matches other scripts' digits, which are no time stamp.
std::optional<std::int64_t> noteDecimal(std::string_view digits) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

} // namespace

TextNote::TextNote(double time, std::string text)
    : time_(std::isfinite(time) ? time : 0.0), text_(std::move(text)) {}

std::string TextNote::shownText() const {
    // Counted in code points: a cut never splits a UTF-8 sequence.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if ((static_cast<unsigned char>(text_[i]) & 0xC0) == 0x80) continue;
        if (characters++ == shownCharacterLimit) return text_.substr(0, i) + "…";
    }
    return text_;
}

bool TextNote::editable() const {
    std::size_t characters = 0;
    for (const char byte : text_)
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80 && ++characters > editableCharacterLimit)
            return false;
    return true;
}

std::shared_ptr<TextNote> TextNote::fromNoteLine(std::string_view line) {
    auto match = platform::firstMatch(noteStampPattern, line);
    if (!match || match->groups.size() < 3) return nullptr;
    auto minutes = noteDecimal(match->groups[1].text);
    auto seconds = noteDecimal(match->groups[2].text);
    if (!minutes || !seconds) return nullptr;
    std::int64_t total = 0;
    if (__builtin_mul_overflow(*minutes, 60, &total) || __builtin_add_overflow(total, *seconds, &total))
        return nullptr;
    if (total > (std::int64_t{1} << 53)) return nullptr; // beyond exact doubles
    return std::make_shared<TextNote>(static_cast<double>(total),
                                      std::string(line.substr(match->groups[0].end)));
}

std::shared_ptr<TextNote> TextNote::fromCue(std::string text, std::string_view cueLine) {
    auto match = platform::firstMatch(cueStampPattern, cueLine);
    if (!match || match->groups.size() < 5) return nullptr;
    std::int64_t wholeSeconds = 0;
    if (match->groups[1].matched()) {
        auto hours = noteDecimal(match->groups[1].text);
        if (!hours || __builtin_mul_overflow(*hours, 3600, &wholeSeconds)) return nullptr;
    }
    auto minutes = noteDecimal(match->groups[2].text);
    std::int64_t minuteSeconds = 0;
    if (!minutes || __builtin_mul_overflow(*minutes, 60, &minuteSeconds) ||
        __builtin_add_overflow(wholeSeconds, minuteSeconds, &wholeSeconds))
        return nullptr;
    // Seconds and fraction as one decimal number: ".5" is half a second, ".05" five hundredths.
    // Single precision, as cue times have always been read.
    const std::string secondsText = match->groups[3].text + "." + match->groups[4].text;
    float seconds = 0;
    auto [end, error] = std::from_chars(secondsText.data(), secondsText.data() + secondsText.size(), seconds);
    if (error != std::errc() || end != secondsText.data() + secondsText.size()) return nullptr;
    const float time = static_cast<float>(wholeSeconds) + seconds;
    if (!std::isfinite(time)) return nullptr;
    return std::make_shared<TextNote>(static_cast<double>(time), std::move(text));
}

std::vector<std::string> splitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

} // namespace vantle
