// MP3s whose info header states less than the file holds (takes joined end to end): the whole stream is
// read, its length estimated at once and counted on request.

#include "AudioFileFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace platform;

namespace {

constexpr int joinedRate = 44100;
constexpr std::int64_t firstFrames = 2 * joinedRate, secondFrames = 3 * joinedRate;

// A quiet take of 2 s joined to a loud one of 3 s; the first take alone as "first.mp3".
struct JoinedTakes {
    explicit JoinedTakes(const fixtures::TempFolder& dir)
        : first(fixtures::tone(firstFrames, 2, joinedRate, 0.1f)),
          second(fixtures::tone(secondFrames, 2, joinedRate, 0.5f)),
          path(testsupport::writeJoinedMp3(dir.file("joined.mp3"), {first, second})),
          firstPath(dir.file("first.mp3")) {
        written =
            !path.empty() && fixtures::writeWithSndfile(firstPath, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
                                                        first, joinedRate);
    }
    fixtures::Channels first, second;
    std::string path, firstPath;
    bool written = false;
};

std::unique_ptr<AudioFile> openOrFail(const std::string& path) {
    auto opened = AudioFile::openForReading(path);
    EXPECT_TRUE(opened.ok()) << opened.error().message;
    return opened ? std::move(opened.value()) : nullptr;
}

double levelOf(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

} // namespace

TEST(AudioFileJoinedMp3, TheWholeStreamIsReadAndItsLengthIsEstimatedThenCounted) {
    fixtures::TempFolder dir;
    JoinedTakes takes(dir);
    ASSERT_TRUE(takes.written);

    auto estimated = openOrFail(takes.path), readOn = openOrFail(takes.path);
    ASSERT_TRUE(estimated && readOn);
    EXPECT_FALSE(estimated->isLengthExact());
    const std::int64_t whole = firstFrames + secondFrames;
    EXPECT_NEAR(double(estimated->length()), double(whole), 0.1 * double(whole))
        << "from the size, not the header";

    // The first take reads as it does alone: the encoder's delay is dropped as libsndfile drops it.
    auto alone = openOrFail(takes.firstPath);
    ASSERT_TRUE(alone);
    EXPECT_TRUE(alone->isLengthExact());
    const fixtures::Channels firstAlone = fixtures::readToEnd(*alone);
    ASSERT_EQ(std::int64_t(firstAlone[0].size()), firstFrames);
    auto head = PcmBuffer::make(estimated->processingFormat(), std::uint32_t(firstFrames));
    ASSERT_TRUE(estimated->read(*head).ok());
    ASSERT_EQ(head->frameLength(), std::uint32_t(firstFrames));
    for (std::uint32_t c = 0; c < 2; ++c)
        for (std::uint32_t i = 0; i < head->frameLength(); ++i)
            ASSERT_EQ(head->channel(c)[i], firstAlone[c][i]) << "channel " << c << " frame " << i;

    // Counted on a reader of its own; every later open of the unchanged file knows the count at once.
    auto counter = estimated->openAgain();
    ASSERT_TRUE(counter.ok()) << counter.error().message;
    ASSERT_TRUE((*counter)->measureLength().ok());
    EXPECT_TRUE((*counter)->isLengthExact());
    const std::int64_t length = (*counter)->length();
    auto exact = openOrFail(takes.path);
    ASSERT_TRUE(exact);
    EXPECT_TRUE(exact->isLengthExact());
    EXPECT_EQ(exact->length(), length);
    EXPECT_TRUE(estimated->measureLength().ok());
    EXPECT_EQ(estimated->length(), length);
    // Read to its end, a reader opened with the estimate has all of it, and then the length too.
    EXPECT_EQ(std::int64_t(fixtures::readToEnd(*readOn)[0].size()), length);
    EXPECT_TRUE(readOn->isLengthExact());
    EXPECT_EQ(readOn->length(), length);

    // Both takes whole, with no more than the delay and padding of each at the join.
    const fixtures::Channels all = fixtures::readToEnd(*exact, 1000);
    EXPECT_EQ(std::int64_t(all[0].size()), length);
    EXPECT_GE(length, whole);
    EXPECT_LE(length, whole + 4 * 1152);
    // The last second is the loud take's.
    const std::size_t end = all[0].size();
    EXPECT_NEAR(levelOf(all[0], end - joinedRate - 4000, end - 4000),
                levelOf(takes.second[0], secondFrames - joinedRate - 4000, secondFrames - 4000), 0.02);

    // A seek anywhere, the join and the second take included, lands where the continuous decode is.
    auto buffer = PcmBuffer::make(exact->processingFormat(), 700);
    for (const std::int64_t p :
         std::vector<std::int64_t>{0, 5000, firstFrames - 350, firstFrames + 1200, length / 2, length - 700,
                                   30001, length - 9000, firstFrames + 20000, 12345}) {
        SCOPED_TRACE("position " + std::to_string(p));
        exact->setFramePosition(p);
        ASSERT_TRUE(exact->read(*buffer).ok());
        ASSERT_EQ(buffer->frameLength(), 700u);
        for (std::uint32_t c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < 700; ++i)
                ASSERT_EQ(buffer->channel(c)[i], all[c][std::size_t(p + i)]) << "frame " << p + i;
    }
}

TEST(AudioFileJoinedMp3, OnlyAHeaderThatUnderstatesTheFileIsPassedOver) {
    fixtures::TempFolder dir;
    JoinedTakes takes(dir);
    ASSERT_TRUE(takes.written);
    auto append = [](const std::string& path, const std::string& bytes) {
        return bool(std::ofstream(path, std::ios::binary | std::ios::app) << bytes);
    };
    auto copy = [&](const std::string& name, const std::string& before = {}) {
        std::ifstream in(takes.path, std::ios::binary);
        std::ofstream out(dir.file(name), std::ios::binary);
        out << before << in.rdbuf();
        return dir.file(name);
    };
    // An ID3v2 tag of 1000 bytes (syncsafe size 7, 104) before the stream.
    std::string id3("ID3\x04\0\0\0\0\x07\x68", 10);
    id3.append(1000, '\0');
    const std::string tagged = copy("tagged.mp3", id3);
    // The first take with an ID3v1 tag after it: its header is right.
    std::string id3v1 = "TAG";
    id3v1.append(125, ' ');
    ASSERT_TRUE(append(takes.firstPath, id3v1));
    // Counted, then grown: the count was of another file.
    const std::string grown = copy("grown.mp3");
    ASSERT_TRUE(openOrFail(grown)->measureLength().ok());
    ASSERT_TRUE(openOrFail(grown)->isLengthExact());
    std::ifstream joined(takes.path, std::ios::binary);
    ASSERT_TRUE(append(grown, std::string(std::istreambuf_iterator<char>(joined), {})));

    struct Case {
        std::string path;
        bool exact;
        std::int64_t atLeast;
    };
    const Case cases[] = {
        {takes.firstPath, true, firstFrames},
        {tagged, false, firstFrames + secondFrames},
        {grown, false, 2 * (firstFrames + secondFrames)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto file = openOrFail(c.path);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->isLengthExact(), c.exact);
        ASSERT_TRUE(file->measureLength().ok());
        EXPECT_GE(file->length(), c.atLeast);
        EXPECT_LE(file->length(), c.atLeast + 8 * 1152);
        EXPECT_EQ(std::int64_t(fixtures::readToEnd(*file)[0].size()), file->length());
    }
}

// Reading to the end of the stream tells its length as a count does: every later open of the unchanged
// file knows it at once, and seeks in it land where a counted reader's do.
TEST(AudioFileJoinedMp3, ALengthMadeExactByReadingToTheEndIsKeptLikeACount) {
    fixtures::TempFolder dir;
    JoinedTakes takes(dir);
    ASSERT_TRUE(takes.written);
    auto counted = openOrFail(takes.path);
    ASSERT_TRUE(counted && counted->measureLength().ok());
    const std::int64_t length = counted->length();
    const fixtures::Channels all = fixtures::readToEnd(*counted);

    const struct {
        const char* name;
        std::int64_t from; // where the reading starts
    } cases[] = {{"from the start.mp3", 0}, {"from the second take.mp3", firstFrames + 5000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A copy of its own: a count is kept by file, and this one was never counted.
        const std::string path = dir.file(c.name);
        {
            std::ifstream in(takes.path, std::ios::binary);
            std::ofstream(path, std::ios::binary) << in.rdbuf();
        }
        auto reader = openOrFail(path);
        ASSERT_TRUE(reader);
        ASSERT_FALSE(reader->isLengthExact());
        reader->setFramePosition(c.from);
        EXPECT_EQ(std::int64_t(fixtures::readToEnd(*reader)[0].size()), length - c.from);
        ASSERT_TRUE(reader->isLengthExact());

        auto later = openOrFail(path);
        ASSERT_TRUE(later);
        EXPECT_TRUE(later->isLengthExact());
        EXPECT_EQ(later->length(), length);
        auto buffer = PcmBuffer::make(later->processingFormat(), 500);
        for (const std::int64_t p : {length - 3000, firstFrames + 777, std::int64_t(4321)}) {
            later->setFramePosition(p);
            ASSERT_TRUE(later->read(*buffer).ok());
            ASSERT_EQ(buffer->frameLength(), 500u);
            for (std::uint32_t i = 0; i < 500; ++i)
                ASSERT_EQ(buffer->channel(1)[i], all[1][std::size_t(p + i)]) << "frame " << p + i;
        }
    }
}

namespace {

std::string littleEndian32(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += char((value >> (8 * i)) & 0xff);
    return bytes;
}

// An APEv2 tag, header and footer included, holding one binary item of `itemBytes` (a cover, say).
std::string apeTag(std::size_t itemBytes) {
    std::string item =
        littleEndian32(std::uint32_t(itemBytes)) + littleEndian32(2u << 1) + "Cover Art (Front)";
    item += '\0';
    item.append(itemBytes, '\x5a');
    auto frame = [&](bool header) {
        return "APETAGEX" + littleEndian32(2000) + littleEndian32(std::uint32_t(item.size() + 32)) +
               littleEndian32(1) + littleEndian32(0x80000000u | (header ? 0x20000000u : 0)) +
               std::string(8, '\0');
    };
    return frame(true) + item + frame(false);
}

// Lyrics3 v2, as taggers put it between the audio and an ID3v1 tag.
std::string lyrics3Tag(std::size_t textBytes) {
    std::string body = "LYRICSBEGIN";
    const std::string text(textBytes, 'l');
    char size[8];
    std::snprintf(size, sizeof size, "%05zu", text.size());
    body += "LYR" + std::string(size) + text;
    std::snprintf(size, sizeof size, "%06zu", body.size());
    return body + size + "LYRICS200";
}

// An ID3v2.4 tag of `bodyBytes` appended after the audio, with the footer that lets a reader find it.
std::string appendedId3v2(std::size_t bodyBytes) {
    std::string size;
    for (int shift = 21; shift >= 0; shift -= 7)
        size += char((bodyBytes >> shift) & 0x7f);
    return "ID3\x04" + std::string(1, '\0') + "\x10" + size + std::string(bodyBytes, '\0') + "3DI\x04" +
           std::string(1, '\0') + "\x10" + size;
}

// An ID3v2.3 tag of `bodyBytes` appended after the audio: without a footer, nothing at the end finds it.
std::string appendedId3v23(std::size_t bodyBytes) {
    std::string size;
    for (int shift = 21; shift >= 0; shift -= 7)
        size += char((bodyBytes >> shift) & 0x7f);
    return "ID3\x03" + std::string(2, '\0') + size + "TIT2" + std::string(bodyBytes - 4, '\x01');
}

} // namespace

TEST(AudioFileJoinedMp3, TagsAfterTheStreamOfAnOrdinaryMp3AreNoMoreStream) {
    fixtures::TempFolder dir;
    const fixtures::Channels take = fixtures::tone(firstFrames, 2, joinedRate, 0.2f);
    const std::string plain = dir.file("plain.mp3");
    ASSERT_TRUE(
        fixtures::writeWithSndfile(plain, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, take, joinedRate));
    auto reference = openOrFail(plain);
    ASSERT_TRUE(reference);
    ASSERT_TRUE(reference->isLengthExact());
    const fixtures::Channels expected = fixtures::readToEnd(*reference);
    ASSERT_EQ(std::int64_t(expected[0].size()), firstFrames);

    std::string id3v1 = "TAG";
    id3v1.append(125, ' ');
    const std::string cover = apeTag(200 * 1024);
    const struct {
        const char* name;
        std::string after;
    } cases[] = {
        {"ape.mp3", cover},
        {"ape-id3v1.mp3", cover + id3v1},
        {"lyrics-id3v1.mp3", lyrics3Tag(60 * 1024) + id3v1},
        {"ape-lyrics-id3v1.mp3", cover + lyrics3Tag(60 * 1024) + id3v1},
        {"id3v2-after.mp3", appendedId3v2(100 * 1024)},
        // Neither is known as a tag at the end, and no stream goes on where the header's ends.
        {"id3v23-after.mp3", appendedId3v23(100 * 1024)},
        {"zero-padding.mp3", std::string(64 * 1024, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        {
            std::ifstream in(plain, std::ios::binary);
            std::ofstream out(path, std::ios::binary);
            out << in.rdbuf() << c.after;
            ASSERT_TRUE(out.flush());
        }
        auto file = openOrFail(path);
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->isLengthExact()) << "its header states the stream";
        EXPECT_EQ(file->length(), firstFrames);
        EXPECT_EQ(fixtures::readToEnd(*file), expected) << "gapless, as the file without the tag";
    }
}

// A header that states far fewer frames than its stream holds, whatever bytes it states (a broken encoder
// or joiner), is passed over as a short one is: the whole stream is read, its length counted.
TEST(AudioFileJoinedMp3, AHeaderStatingTooFewFramesIsReadToTheEnd) {
    fixtures::TempFolder dir;
    constexpr std::int64_t take = 20 * joinedRate;
    const fixtures::Channels tone = fixtures::tone(take, 2, joinedRate, 0.3f);
    const std::string single = dir.file("single.mp3");
    ASSERT_TRUE(
        fixtures::writeWithSndfile(single, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, tone, joinedRate));
    const std::string joined = testsupport::writeJoinedMp3(dir.file("joined.mp3"), {tone, tone, tone, tone});
    ASSERT_FALSE(joined.empty());

    const std::string joinedOnce = dir.file("joined once.mp3");
    std::filesystem::copy_file(joined, joinedOnce);
    const auto wholeBytes = std::uint32_t(std::filesystem::file_size(joined));

    const struct {
        std::string path;
        std::uint32_t statedFrames;
        std::optional<std::uint32_t> statedBytes;
        std::int64_t frames;
    } cases[] = {{single, 10, std::nullopt, take},
                 {joined, 1, wholeBytes, 4 * take},
                 {joinedOnce, 1, std::nullopt, 4 * take}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_TRUE(testsupport::setMp3StatedCounts(c.path, c.statedFrames, c.statedBytes));
        auto file = openOrFail(c.path);
        ASSERT_TRUE(file);
        EXPECT_NEAR(double(file->length()), double(c.frames), 0.1 * double(c.frames)) << "estimated";
        ASSERT_TRUE(file->measureLength().ok());
        EXPECT_GE(file->length(), c.frames);
        EXPECT_LE(file->length(), c.frames + 16 * 1152);
        EXPECT_EQ(std::int64_t(fixtures::readToEnd(*file, 4096)[0].size()), file->length());
    }
}
