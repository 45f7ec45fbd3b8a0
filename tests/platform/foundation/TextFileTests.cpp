#include "platform/foundation/Files.h"
#include "platform/foundation/TextFile.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

struct TextFileFolder : testsupport::TemporaryFolder {
    std::string write(const std::string& name, std::string_view bytes) const {
        std::string file = path + "/" + name;
        EXPECT_TRUE(writeFileAtomically(file, bytes).ok());
        return file;
    }
};

// "Grüße 𝄞\n": two-byte, and four-byte (a surrogate pair in UTF-16) characters.
const std::string sampleText = "Gr\u00FC\u00DFe \U0001D11E\n";

std::string utf16(bool bigEndian, bool withMark) {
    const char16_t units[] = {u'G', u'r', 0x00FC, 0x00DF, u'e', u' ', 0xD834, 0xDD1E, u'\n'};
    std::string bytes;
    auto put = [&](char16_t u) {
        char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    };
    if (withMark) put(0xFEFF);
    for (char16_t u : units)
        put(u);
    return bytes;
}

} // namespace

TEST(TextFile, ReadsUtf8WithOrWithoutMark) {
    TextFileFolder dir;
    EXPECT_EQ(readTextFile(dir.write("plain.txt", sampleText)).value(), sampleText);
    EXPECT_EQ(readTextFile(dir.write("bom.txt", "\xEF\xBB\xBF" + sampleText)).value(), sampleText);
    EXPECT_EQ(readTextFile(dir.write("bom-only.txt", "\xEF\xBB\xBF")).value(), "");
    EXPECT_EQ(readTextFile(dir.write("empty.txt", "")).value(), "");
    // Only the leading mark is an encoding mark; a later U+FEFF is text.
    EXPECT_EQ(readTextFile(dir.write("two.txt", "\xEF\xBB\xBF\xEF\xBB\xBFx")).value(), "\xEF\xBB\xBFx");
}

TEST(TextFile, ReadsUtf16WithMark) {
    TextFileFolder dir;
    EXPECT_EQ(readTextFile(dir.write("le.txt", utf16(false, true))).value(), sampleText);
    EXPECT_EQ(readTextFile(dir.write("be.txt", utf16(true, true))).value(), sampleText);
    EXPECT_EQ(readTextFile(dir.write("le-mark-only.txt", "\xFF\xFE")).value(), "");
    EXPECT_EQ(readTextFile(dir.write("be-mark-only.txt", "\xFE\xFF")).value(), "");

    // A trailing odd byte or a lone surrogate is an error, not a guess.
    EXPECT_FALSE(readTextFile(dir.write("odd.txt", utf16(false, true) + "x")).ok());
    const char lone[] = "\377\376a\0\64\330b\0";
    EXPECT_FALSE(readTextFile(dir.write("lone.txt", std::string_view(lone, 8))).ok());
}

TEST(TextFile, RejectsIllFormedUtf8AndMissingFiles) {
    TextFileFolder dir;
    for (std::string bad :
         {"caf\xE9", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ok \xE2\x82", "\xEF\xBB\xBF\xFF"}) {
        auto read = readTextFile(dir.write("bad.txt", bad));
        ASSERT_FALSE(read.ok()) << bad;
        EXPECT_NE(read.error().message.find("bad.txt"), std::string::npos);
    }
    EXPECT_FALSE(readTextFile(dir.path + "/missing.txt").ok());
    EXPECT_FALSE(readTextFile(dir.path).ok());
}

TEST(TextFile, WritesUtf8Atomically) {
    TextFileFolder dir;
    std::string file = dir.path + "/Song.txt";
    ASSERT_TRUE(writeTextFile(file, "/m/Song.mp3\n 1:05 tempo\n").ok());
    ASSERT_TRUE(writeTextFile(file, sampleText).ok());
    Bytes bytes = readFile(file).value();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), sampleText); // no byte-order mark

    // A path in a legacy encoding is written as U+FFFD, so the file stays readable.
    ASSERT_TRUE(writeTextFile(file, "/m/caf\xE9.mp3\n").ok());
    EXPECT_EQ(readTextFile(file).value(), "/m/caf\xEF\xBF\xBD.mp3\n");

    EXPECT_FALSE(writeTextFile(dir.path + "/no/such/folder/x.txt", "x").ok());
    EXPECT_EQ(readTextFile(file).value(), "/m/caf\xEF\xBF\xBD.mp3\n");
}
