// What an audio file reader opens: the one descriptor it checked, read to the end through it whatever
// becomes of the path meanwhile; nothing that is not a regular file; and, for tags, only the containers
// the reader itself reads.

#include "AudioFileFixtures.h"

#include "platform/files/AudioFileMetadata.h"
#include "tests/support/OpenDescriptors.h"
#include "tests/support/Signals.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

using fixtures::Channels;
using platform::AudioFile;
using platform::AudioFileError;

namespace {

struct DescriptorCase {
    const char* name;
    // Writes a song of the given tone at the path.
    std::function<bool(const std::string&, const Channels&)> write;
};

const std::vector<DescriptorCase>& descriptorCases() {
    auto sndfile = [](int format) {
        return [format](const std::string& path, const Channels& tone) {
            return fixtures::writeWithSndfile(path, format, tone, 44100);
        };
    };
    static const std::vector<DescriptorCase> cases{
        {"song.wav", sndfile(SF_FORMAT_WAV | SF_FORMAT_PCM_16)},
        {"song.flac", sndfile(SF_FORMAT_FLAC | SF_FORMAT_PCM_16)},
        {"song.mp3", sndfile(SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III)},
        {"song.ogg", sndfile(SF_FORMAT_OGG | SF_FORMAT_VORBIS)},
        // Two takes joined: the first one's header understates the stream, which is read to its end.
        {"joined.mp3",
         [](const std::string& path, const Channels& tone) {
             return !testsupport::writeJoinedMp3(path, {tone, tone}).empty();
         }},
        {"song.m4a",
         [](const std::string& path, const Channels& tone) { return fixtures::writeAac(path, tone, 44100); }},
    };
    return cases;
}

Channels sineTone(double hz) {
    return Channels(2, testsupport::sine(3 * 44100, hz, 44100.0, 0.4));
}

// `frames` frames from `from` on.
Channels readFrames(AudioFile& file, std::int64_t from, std::uint32_t frames) {
    file.setFramePosition(from);
    Channels read(file.processingFormat().channelCount());
    auto buffer = platform::PcmBuffer::make(file.processingFormat(), frames);
    if (file.read(*buffer, frames).ok())
        for (std::uint32_t c = 0; c < read.size(); ++c)
            read[c].assign(buffer->channel(c), buffer->channel(c) + buffer->frameLength());
    return read;
}

} // namespace

TEST(AudioFileDescriptors, EachReaderHoldsOneDescriptorOfItsFileThroughReadsAndSeeksAndNoneOnceGone) {
    fixtures::TempFolder folder;
    for (const DescriptorCase& c : descriptorCases()) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        ASSERT_TRUE(c.write(path, sineTone(440.0)));
        const std::optional<testsupport::FileIdentity> song = testsupport::fileIdentity(path);
        ASSERT_TRUE(song);
        {
            auto file = AudioFile::openForReading(path);
            ASSERT_TRUE(file.ok()) << file.error().message;
            EXPECT_EQ(testsupport::descriptorsOn(*song), 1);
            auto again = (*file)->openAgain();
            ASSERT_TRUE(again.ok()) << again.error().message;
            EXPECT_EQ(testsupport::descriptorsOn(*song), 2);
            // On to the end and back to the start: an MPEG-4 demuxer begins anew, through the same
            // descriptor.
            for (AudioFile* reader : {file->get(), again->get()}) {
                EXPECT_FALSE(fixtures::readToEnd(*reader).at(0).empty());
                EXPECT_EQ(readFrames(*reader, 0, 4096).at(0).size(), 4096u);
            }
            EXPECT_EQ(testsupport::descriptorsOn(*song), 2);
        }
        EXPECT_EQ(testsupport::descriptorsOn(*song), 0);
    }
}

// The folder renamed away and another take of the song written where it was: a reader goes on reading the
// file it opened, from anywhere in it, and so does another reader made of it.
TEST(AudioFileDescriptors, AReaderReadsTheFileItOpenedAfterAnotherTookItsPath) {
    for (const DescriptorCase& c : descriptorCases()) {
        SCOPED_TRACE(c.name);
        fixtures::TempFolder folder;
        const std::string home = folder.file("Class"), away = folder.file("Class moved");
        const std::string path = home + "/" + c.name;
        std::filesystem::create_directories(home);
        ASSERT_TRUE(c.write(path, sineTone(440.0)));
        auto file = AudioFile::openForReading(path);
        ASSERT_TRUE(file.ok()) << file.error().message;
        const Channels start = readFrames(**file, 0, 8192), later = readFrames(**file, 44100, 8192);
        ASSERT_EQ(start.at(0).size(), 8192u);

        std::filesystem::rename(home, away);
        std::filesystem::create_directories(home);
        ASSERT_TRUE(c.write(path, sineTone(1000.0)));
        auto again = (*file)->openAgain();
        ASSERT_TRUE(again.ok()) << again.error().message;
        for (AudioFile* reader : {file->get(), again->get()}) {
            EXPECT_EQ(readFrames(*reader, 44100, 8192), later);
            EXPECT_EQ(readFrames(*reader, 0, 8192), start);
        }
    }
}

TEST(AudioFileDescriptors, AFifoADeviceOrASocketIsRefusedUnreadAsNoRegularFile) {
    fixtures::TempFolder folder;
    const std::string fifo = folder.file("fifo.wav"), zero = folder.file("zero.wav"),
                      socketPath = folder.file("socket.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", zero);
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listening, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    for (const auto& [path, kind] :
         {std::pair(fifo, "a FIFO"), {zero, "a device"}, {socketPath, "a socket"}}) {
        SCOPED_TRACE(path);
        auto opened = std::make_shared<std::optional<platform::Result<std::unique_ptr<AudioFile>>>>();
        ASSERT_TRUE(
            testsupport::finishesWithin([path, opened] { *opened = AudioFile::openForReading(path); }));
        ASSERT_TRUE(*opened);
        ASSERT_FALSE((*opened)->ok());
        const platform::Error& error = (*opened)->error();
        EXPECT_EQ(error.code, int(AudioFileError::notRegularFile));
        EXPECT_NE(error.message.find(path), std::string::npos) << error.message;
        EXPECT_NE(error.message.find(std::string("not a regular file but ") + kind), std::string::npos)
            << error.message;
        EXPECT_EQ(error.message.find("empty"), std::string::npos) << error.message;
    }
    ::close(listening);
}

// A file of the kernel's own file systems holds the state of the program or the machine, never a song: it
// is refused unread, as what it is, and not as empty (a file of /proc states a size of 0).
TEST(AudioFileDescriptors, ASystemFileIsRefusedUnreadAsNoAudio) {
    fixtures::TempFolder folder;
    const std::string link = folder.file("maps.mp3");
    std::filesystem::create_symlink("/proc/self/maps", link);
    std::vector<std::string> paths = {"/proc/self/environ", link};
    if (std::filesystem::exists("/sys/devices/system/cpu/online"))
        paths.push_back("/sys/devices/system/cpu/online");
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        auto opened = AudioFile::openForReading(path);
        ASSERT_FALSE(opened.ok());
        const platform::Error& error = opened.error();
        EXPECT_EQ(error.code, int(AudioFileError::systemFile));
        EXPECT_NE(error.message.find(path), std::string::npos) << error.message;
        EXPECT_NE(error.message.find("it is a system file, not audio"), std::string::npos) << error.message;
        EXPECT_EQ(error.message.find("empty"), std::string::npos) << error.message;
    }
}

// FFmpeg knows formats that hold no audio yet carry tags of their own: a file in one of them, whatever
// its name, gives no tags.
TEST(AudioFileDescriptors, TagsAreReadOnlyFromTheContainersTheAudioReaderReads) {
    fixtures::TempFolder folder;
    const std::string text = folder.file("metadata.mp3");
    std::ofstream(text, std::ios::binary) << ";FFMETADATA1\ntitle=Taken from text\n";
    platform::Result<platform::AudioFileMetadata> read = platform::readMetadata(text);
    EXPECT_FALSE(read.ok() && read->value("title")) << read->value("title").value_or("");
}
