#include "platform/foundation/DateFormat.h"

#include <memory>
#include <string>

#include <unicode/udat.h>
#include <unicode/unistr.h>

namespace platform {

namespace {

UDateFormatStyle icuDateStyle(DateFormatStyle style) {
    switch (style) {
    case DateFormatStyle::none:
        return UDAT_NONE;
    case DateFormatStyle::shortStyle:
        return UDAT_SHORT;
    case DateFormatStyle::medium:
        return UDAT_MEDIUM;
    case DateFormatStyle::longStyle:
        return UDAT_LONG;
    case DateFormatStyle::full:
        return UDAT_FULL;
    }
    return UDAT_NONE;
}

struct DateFormatCloser {
    void operator()(UDateFormat* format) const { udat_close(format); }
};

} // namespace

std::string formatDate(Date date, DateFormatStyle dateStyle, DateFormatStyle timeStyle,
                       std::string_view locale) {
    if (dateStyle == DateFormatStyle::none && timeStyle == DateFormatStyle::none) return {};
    const std::string localeId(locale);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UDateFormat, DateFormatCloser> format(
        udat_open(icuDateStyle(timeStyle), icuDateStyle(dateStyle),
                  localeId.empty() ? nullptr : localeId.c_str(), nullptr, -1, nullptr, -1, &status));
    if (U_FAILURE(status) || !format) return {};
    const UDate milliseconds = date.timeIntervalSince1970() * 1000.0;
    UChar buffer[128];
    status = U_ZERO_ERROR;
    const int32_t length = udat_format(format.get(), milliseconds, buffer, 128, nullptr, &status);
    icu::UnicodeString text;
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        UChar* wide = text.getBuffer(length + 1);
        udat_format(format.get(), milliseconds, wide, length + 1, nullptr, &status);
        text.releaseBuffer(length);
    } else {
        text.setTo(buffer, length);
    }
    if (U_FAILURE(status)) return {};
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace platform
