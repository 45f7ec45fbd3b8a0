#include "platform/foundation/TextFile.h"

#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"

#include <cstdint>

#include <unicode/ustring.h>
#include <unicode/utypes.h>

namespace platform {

namespace {

Error textFileError(const std::string& path, const std::string& why) {
    return Error::make("platform.textfile", "cannot read \"" + path + "\" as text: " + why);
}

Result<std::string> textFileFromUtf16(const std::string& path, const std::uint8_t* bytes, std::size_t size,
                                      bool bigEndian) {
    if (size % 2 != 0) return textFileError(path, "truncated UTF-16");
    if (size / 2 > static_cast<std::size_t>(INT32_MAX / 3)) return textFileError(path, "file too large");
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint8_t first = bytes[2 * i], second = bytes[2 * i + 1];
        units[i] = static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    auto unitCount = static_cast<int32_t>(units.size());
    std::string out(units.size() * 3, '\0');
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    // Fails on unpaired surrogates rather than substituting them.
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &written, units.data(), unitCount, &status);
    if (U_FAILURE(status)) return textFileError(path, "ill-formed UTF-16");
    out.resize(static_cast<std::size_t>(written));
    return out;
}

} // namespace

Result<std::string> readTextFile(const std::string& path) {
    return readTextFile(path, readFileSizeLimit);
}

Result<std::string> readTextFile(const std::string& path, std::uint64_t sizeLimit) {
    Result<Bytes> read = readFile(path, sizeLimit);
    if (!read) return read.error();
    return textFromFileBytes(path, read->data(), read->size());
}

Result<std::string> textFromFileBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE)
        return textFileFromUtf16(path, data + 2, size - 2, false);
    if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF)
        return textFileFromUtf16(path, data + 2, size - 2, true);
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        size -= 3;
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    if (!isValidUtf8(text)) return textFileError(path, "not UTF-8");
    return text;
}

Result<void> writeTextFile(const std::string& path, std::string_view text) {
    if (isValidUtf8(text)) return writeFileAtomically(path, text);
    return writeFileAtomically(path, std::string_view(replacingInvalidUtf8(text)));
}

} // namespace platform
