#include "platform/foundation/FloatText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <system_error>

namespace platform {

namespace {

template <typename F> std::string formatFloatText(F value, F exponentAbove) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";

    // Shortest round-trip digits in the form [-]d[.ddd]e±XX, which is already the exponent
    // notation wanted.
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string scientific(buffer, result.ptr);

    std::size_t e = scientific.find('e');
    int exponent = std::atoi(scientific.c_str() + e + 1);
    if (exponent < -4 || std::fabs(value) > exponentAbove) return scientific;

    bool negative = scientific[0] == '-';
    std::string digits;
    for (std::size_t i = negative ? 1 : 0; i < e; ++i) {
        if (scientific[i] != '.') digits.push_back(scientific[i]);
    }

    std::string text = negative ? "-" : "";
    if (exponent < 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
        return text;
    }
    std::size_t integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
        text += digits;
        text.append(integerDigits - digits.size(), '0');
        text += ".0";
    } else {
        text.append(digits, 0, integerDigits);
        text += '.';
        text.append(digits, integerDigits);
    }
    return text;
}

bool isFloatTextSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

std::string floatText(double value) {
    return formatFloatText(value, 0x1.0p53);
}

std::string floatText(float value) {
    return formatFloatText(value, 0x1.0p24f);
}

std::optional<double> parseFloat(std::string_view text) {
    while (!text.empty() && isFloatTextSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isFloatTextSpace(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;

    double value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ptr != text.data() + text.size()) return std::nullopt;
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here; strtod gives the rounded infinity or zero.
        // The text was accepted as a whole, so it holds no locale-dependent characters.
        static locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", nullptr);
        if (!cLocale) return std::nullopt;
        std::string copy(text);
        return ::strtod_l(copy.c_str(), nullptr, cLocale);
    }
    if (result.ec != std::errc()) return std::nullopt;
    return value;
}

} // namespace platform
