// Writes the seed corpora of the fuzz targets, each with the project's own writer of that format:
// fuzz_seeds <folder> makes <folder>/<target>/<seed>. The XML forms come from libplist, which
// reads them; transcriptions come from elsewhere, so their seeds are written here as such files
// are.

#include "Source/karaoke/LyricsTiming.h"
#include "Source/session/AppState.h"
#include "Source/session/Bookmark.h"
#include "Source/session/Playlist.h"
#include "Source/session/SessionRecovery.h"
#include "Source/session/TextNoteSet.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/CdgWriter.h"
#include "tests/support/Clocks.h"
#include "tests/support/ToneFiles.h"

#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

namespace {

std::string seedsRoot;

void seed(const std::string& target, const std::string& name, const platform::Bytes& bytes) {
    const std::string folder = seedsRoot + "/" + target;
    if (!platform::createDirectory(folder) || !platform::writeFileAtomically(folder + "/" + name, bytes)) {
        std::fprintf(stderr, "cannot write the seed %s/%s\n", folder.c_str(), name.c_str());
        std::exit(1);
    }
}

platform::Bytes seedFile(const std::string& path) {
    auto bytes = platform::readFile(path);
    if (!bytes) {
        std::fprintf(stderr, "%s\n", bytes.error().message.c_str());
        std::exit(1);
    }
    return *bytes;
}

// A binary property list as a seed of both readers: as it is, and in the XML form.
void seedPlist(const std::string& name, const platform::Bytes& binary) {
    seed("plist_binary", name, binary);
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(binary.data()), static_cast<std::uint32_t>(binary.size()),
                   &root);
    if (root == nullptr) return;
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    if (xml != nullptr) seed("plist_xml", name + ".xml", platform::Bytes(xml, xml + length));
    std::free(xml);
    plist_free(root);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
        return 2;
    }
    seedsRoot = argv[1];
    vantle::testing::SessionTempFolder scratch;

    // Every value type, nested, with the corner values of each.
    platform::PlistDictionary all{
        {"text", "Ünïcode ✓ and \t tabs"},
        {"empty", ""},
        {"integers", platform::PlistArray{0, -1, 255, 65536, std::numeric_limits<std::int64_t>::min(),
                                          std::numeric_limits<std::int64_t>::max()}},
        {"reals", platform::PlistArray{0.5, -1e300, 1e-300}},
        {"flags", platform::PlistArray{true, false}},
        {"date", platform::Date{-978307200.25}},
        {"data", platform::Bytes{0, 1, 2, 0xFF}},
        {"nested", platform::PlistDictionary{{"array", platform::PlistArray{platform::PlistDictionary{}}}}},
    };
    seedPlist("values", platform::serializeBinaryPlist(all).value());
    seedPlist("empty-dictionary", platform::serializeBinaryPlist(platform::PlistDictionary{}).value());

    // Session documents: an empty one and one whose entries carry every field.
    const platform::Url song = vantle::testing::writeSilentWav(scratch.url("song (live).wav"), 2);
    const platform::Url other = vantle::testing::writeSilentWav(scratch.url("other.wav"), 1);
    vantle::Playlist empty;
    empty.save(scratch.url("empty.vantle"));
    vantle::Playlist full;
    for (const platform::Url& url : {song, other})
        full.insertEntry(url, nullptr);
    for (const auto& entry : full.allEntries) {
        entry->prevTimeRangeSet.addRange(0.25, 1.5, 0);
        entry->zeros = {0.5, 4.0};
        entry->playedDates = {platform::Date{7.0e8}, platform::Date{7.1e8}};
        entry->storedBookmark = vantle::makeBookmark(entry->_url);
        entry->tags = "ab★";
        entry->isCheckmarked = true;
        entry->attachments.push_back(std::make_shared<vantle::Attachment>(song, "pdf"));
    }
    full.assignedEntry = full.allEntries.back();
    full._ageUnits = vantle::AgeUnits::weeks;
    full.automaticallyMoveToHistory = true;
    full._directoryPrefix = "/music/";
    full.currentTime = 12.5;
    full.save(scratch.url("full.vantle"));
    for (const char* name : {"empty.vantle", "full.vantle"}) {
        const platform::Bytes bytes = seedFile(scratch.path + "/" + name);
        seed("session_document", name, bytes);
        seedPlist(name, bytes);
    }

    // State files: with the entry's spans and marks, and with the document only.
    vantle::setAppStateDirectory(scratch.path);
    auto spans = std::make_shared<vantle::TimeRangeSet>();
    spans->addRange(1.0, 2.0, 0);
    spans->addRange(3.0, 3.5, 1);
    const vantle::AppState states[] = {
        vantle::AppState(scratch.url("full.vantle"), 1.25, 1, spans, std::vector<double>{0.5}),
        vantle::AppState(scratch.url("empty.vantle"), 0, std::nullopt, nullptr, std::nullopt),
    };
    int stateNumber = 0;
    for (const vantle::AppState& state : states) {
        vantle::writeAppState(state);
        const platform::Bytes bytes = seedFile(vantle::appStateFileURL().path());
        const std::string name = "state-" + std::to_string(++stateNumber) + ".plist";
        seed("state_file", name, bytes);
        seedPlist(name, bytes);
    }
    // Recovery files: an order with keys, and keys alone.
    vantle::SessionRecovery recovery;
    recovery.playlistURL = scratch.url("full.vantle");
    recovery.order = std::vector<platform::Url>{scratch.url("b.mp3"), scratch.url("a.mp3")};
    recovery.keys = {{scratch.url("a.mp3"), -2}};
    const vantle::SessionRecovery keysOnly{std::nullopt, std::nullopt, {{scratch.url("a.mp3"), 3}}};
    int recoveryNumber = 0;
    for (const vantle::SessionRecovery& each : {recovery, keysOnly}) {
        const platform::Bytes bytes = platform::encodePlist(each).value();
        const std::string name = "recovery-" + std::to_string(++recoveryNumber) + ".plist";
        seed("recovery_file", name, bytes);
        seedPlist(name, bytes);
    }
    vantle::setAppStateDirectory(std::nullopt);

    // Notes files as the player saves them.
    {
        vantle::TextNoteSet notes(song);
        notes.notes = {std::make_shared<vantle::TextNote>(5, "intro"),
                       std::make_shared<vantle::TextNote>(65, "verse\ttwo"),
                       std::make_shared<vantle::TextNote>(6000, "")};
        notes.save();
        seed("notes", "song.txt", seedFile(notes.textURL().path()));
    }

    // Transcriptions: three header lines, then groups of text, timing line and a blank line.
    const std::string cues =
        "WEBVTT\n\n\nintro\n00:00:01.000 --> 00:00:04.500\n\nverse\n1:02.500 --> 1:05.000\n\n"
        "last, no line end\n01:02:03.456 --> 01:02:05.000";
    seed("transcription", "song.t.txt", platform::Bytes(cues.begin(), cues.end()));

    // Lyrics as the timing writes them: over a file with tags, word times, a break, a repeated
    // line and an offset, and from pasted lines alone.
    {
        const std::string lyricsSong = scratch.path + "/sung.mp3";
        const std::string written =
            "[ti:Title]\n[ar:Artist]\n[offset:-250]\n[00:01.00]<00:01.00>One <00:01.50>two<00:02.00>\n"
            "[00:04.00]\n[00:20.00][01:20.00]Chorus\nUntimed\n";
        if (!platform::writeFileAtomically(scratch.path + "/sung.lrc", std::string_view(written))) return 1;
        // Taken at once, not as a file someone may still be writing.
        const testsupport::ClockAhead later(3600);
        vantle::LyricsTiming timing(lyricsSong, later);
        timing.stamp(25.5);
        if (timing.save().outcome != vantle::SaveResult::Outcome::written) return 1;
        seed("lyrics", "sung.lrc", seedFile(scratch.path + "/sung.lrc"));
        vantle::LyricsTiming pasted(scratch.path + "/pasted.mp3");
        pasted.addPastedLines("First line\nSecond line\nThird\n");
        pasted.stamp(3.0);
        pasted.stamp(6000.125);
        if (pasted.save().outcome != vantle::SaveResult::Outcome::written) return 1;
        seed("lyrics", "pasted.lrc", seedFile(scratch.path + "/pasted.lrc"));
    }

    // Bookmarks of a file that exists, and of one renamed since.
    seed("bookmark", "present", vantle::makeBookmark(song).value());
    const platform::Bytes renamed = vantle::makeBookmark(other).value();
    std::filesystem::rename(other.path(), scratch.path + "/renamed.wav");
    seed("bookmark", "renamed", renamed);

    // CD+G: a short song with every instruction discs use, one with scroll copies and the rest, and
    // one cut in the middle of a packet.
    namespace cdg = testsupport::cdg;
    const std::vector<std::uint8_t> graphics = cdg::karaokeSong(8.0, 3);
    seed("cdg", "song.cdg", platform::Bytes(graphics.begin(), graphics.end()));
    cdg::CdgWriter rest;
    for (const cdg::Packet& p :
         {cdg::memoryPreset(2, 1), cdg::borderPreset(5), cdg::transparentColour(2),
          cdg::scroll(true, 1, 1, 5, 2, 11), cdg::scroll(true, 1, 2, 0, 1, 3),
          cdg::scroll(false, 3, 3, 7, 3, 15), cdg::tileBlock(1, 2, 17, 49, cdg::solid(), true),
          cdg::tileBlock(1, 2, 18, 50, cdg::solid()), cdg::otherMode(), cdg::packet(7, {1, 2, 3})})
        rest.append(p);
    seed("cdg", "instructions.cdg", platform::Bytes(rest.bytes().begin(), rest.bytes().end()));
    seed("cdg", "cut.cdg", platform::Bytes(graphics.begin(), graphics.begin() + 24 * 40 + 11));
    // MP3s of short takes joined end to end: at one rate, at changing rates, and with a header that
    // states nothing.
    const auto take = [](int rate) {
        return testsupport::Channels(1, testsupport::sine(std::size_t(rate / 4), 440, rate, 0.3));
    };
    const std::string joined = scratch.path + "/joined.mp3";
    testsupport::writeJoinedMp3(joined, {take(44100), take(44100)});
    seed("mpeg_stream", "joined.mp3", seedFile(joined));
    testsupport::writeJoinedMp3(joined, {take(16000), take(44100), take(16000)}, {16000, 44100, 16000});
    seed("mpeg_stream", "rates.mp3", seedFile(joined));
    testsupport::writeJoinedMp3(joined, {take(22050), take(22050)}, {22050, 22050});
    platform::Bytes stated = seedFile(joined);
    const std::string text(stated.begin(), stated.end());
    if (const std::size_t tag = std::min(text.find("Xing"), text.find("Info")); tag != std::string::npos)
        std::fill(stated.begin() + std::ptrdiff_t(tag + 8), stated.begin() + std::ptrdiff_t(tag + 16), 0);
    seed("mpeg_stream", "states-nothing.mp3", stated);
    return 0;
}
