#include "RozezEru/Internals/TitleCase.h"

namespace rozezeru {

namespace {

bool titleCaseIsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool titleCaseIsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

bool titleCaseIsLower(char c) {
    return c >= 'a' && c <= 'z';
}

} // namespace

std::string titleCasedFromCamelCase(std::string_view text) {
    std::string spaced;
    spaced.reserve(text.size() * 2);
    for (char c : text) {
        if (titleCaseIsUpper(c)) spaced += ' ';
        spaced += c;
    }

    std::string_view trimmed = spaced;
    while (!trimmed.empty() && titleCaseIsSpace(trimmed.front()))
        trimmed.remove_prefix(1);
    while (!trimmed.empty() && titleCaseIsSpace(trimmed.back()))
        trimmed.remove_suffix(1);

    std::string result;
    result.reserve(trimmed.size());
    bool wordStart = true;
    for (char c : trimmed) {
        if (titleCaseIsSpace(c)) {
            wordStart = true;
        } else if (wordStart) {
            wordStart = false;
            if (titleCaseIsLower(c)) c = static_cast<char>(c - 'a' + 'A');
        } else if (titleCaseIsUpper(c)) {
            c = static_cast<char>(c - 'A' + 'a');
        }
        result += c;
    }
    return result;
}

} // namespace rozezeru
