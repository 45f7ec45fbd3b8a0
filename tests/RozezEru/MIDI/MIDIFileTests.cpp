#include "RozezEru/MIDI/MIDIFile/MIDIFile.h"
#include "RozezEru/MIDI/MIDIFile/MIDIFileTrackNoteMap.h"
#include "RozezEru/MIDI/MIDIFile/MIDINoteData.h"

#include "tests/support/MIDIFileBytes.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

using namespace rozezeru;
using namespace testsupport;

namespace {

using Placed = std::pair<MIDIBytes, std::optional<double>>;

std::vector<Placed> placed(const std::vector<MIDIEvent>& events) {
    std::vector<Placed> result;
    for (const auto& event : events)
        result.emplace_back(event.data, event.positionInBeats);
    return result;
}

} // namespace

TEST(MIDIFile, FormatOneFileGivesEveryEventAtItsTime) {
    TemporaryFolder folder;
    const auto path = folder.path + "/song.mid";
    const auto bytes = formatOneFile();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const MIDIFile file(path);
    EXPECT_EQ(file.filename, "song.mid");
    EXPECT_EQ(file.chunks.size(), 4u); // the unknown chunk is skipped, the tracks after it are kept
    EXPECT_EQ(std::tuple(file.format(), file.trackCount(), file.timeDivision(), file.ticksPerBeat()),
              std::tuple(1, 3, 96, std::optional(96)));
    const auto tempoTrack = file.tempoTrack();
    ASSERT_TRUE(tempoTrack);
    EXPECT_EQ(tempoTrack->bpm(), 120.0f); // the first tempo
    EXPECT_EQ(tempoTrack->track.metaEvents().at(1).positionInBeats, 1.0);

    const auto tracks = file.tracks();
    ASSERT_EQ(tracks.size(), 2u);
    const auto& notes = tracks[0];
    EXPECT_EQ(notes.name(), "Bass");
    EXPECT_EQ(notes.length(), 1.0);
    const std::vector<Placed> channel = {{{0x91, 60, 100}, 0.0},
                                         {{0x91, 62, 90}, 0.5},
                                         {{0xC1, 5}, 0.5},
                                         {{0x81, 60, 0}, 1.0},
                                         {{0x81, 62, 0}, 1.0}};
    EXPECT_EQ(placed(notes.events()), channel);
    const auto all = placed(notes.allEvents());
    ASSERT_EQ(all.size(), channel.size() + 2);
    EXPECT_EQ(all[3], (Placed{{0xF0, 0x03, 0x7E, 0x01, 0xF7}, 0.75}));
    EXPECT_EQ(all[4], (Placed{{0xF7, 0x02, 0xF8, 0xFA}, 0.75}));
    const auto meta = notes.metaEvents();
    ASSERT_EQ(meta.size(), 3u);
    EXPECT_EQ(std::tuple(meta[1].isKnownType(), meta[1].length(), meta[1].data().size()),
              std::tuple(false, 130, 2u + 2u + 130u));
    const auto chunkEvents = notes.chunk.chunkEvents();
    EXPECT_EQ(
        std::tuple(chunkEvents.at(2).runningStatus->byte, chunkEvents[2].data, chunkEvents[2].typeIndex()),
        std::tuple(0x91, MIDIBytes{48, 62, 90}, std::optional<std::size_t>()));
    EXPECT_EQ(chunkEvents.at(4).typeIndex(), 2u);
    EXPECT_EQ(std::pair(tracks[1].allEvents().size(), tracks[1].length()), std::pair(std::size_t{0}, 0.0));
}

TEST(MIDIFile, TimeCodeFilesHaveNoBeatsAndFormatZeroNoTempoTrack) {
    const MIDIFile file(formatZeroFile(), "clip.mid");
    EXPECT_EQ(file.timeFormat(), MIDITimeFormat::framesPerSecond);
    EXPECT_EQ(std::tuple(file.framesPerSecond(), file.ticksPerFrame(), file.ticksPerBeat()),
              std::tuple(std::optional(25), std::optional(40), std::optional<int>()));
    EXPECT_FALSE(file.tempoTrack());
    ASSERT_EQ(file.tracks().size(), 1u);
    const auto events = placed(file.tracks()[0].events());
    EXPECT_EQ(events, (std::vector<Placed>{{{0x90, 64, 80}, std::nullopt}, {{0x80, 64, 0}, std::nullopt}}));
}

TEST(MIDIFile, BadTrackBytesEndTheTrackWithTheEventsBeforeThem) {
    ToolkitLogCapture capture;
    const std::tuple<MIDIBytes, std::size_t, std::string> cases[] = {
        {{0x00, 0x3C, 0x40}, 0, "byte is 60, processed 1 of 3"},
        {{0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3E, 0x40},
         2,
         "byte is 62, processed 9 of 11"},
        {{0x00, 0xF8}, 0, "byte is 248"},
        {{0x00, 0x90, 0x3C}, 0, "message runs past the end"},
        {{0x00, 0xC0}, 0, "message runs past the end"},
        {{0x00, 0xFF, 0x03, 0x10, 'a'}, 0, "meta event cannot be read"},
        {{0x00, 0xFF, 0x80, 0x00}, 0, "meta event cannot be read"},
        {{0x00, 0xFF, 0x03, 0x81}, 0, "meta event cannot be read"},
        {{0x00, 0xF0, 0x05, 0x01}, 0, "system-exclusive event runs past"},
        {{0x00, 0xF7, 0x83}, 0, "system-exclusive event runs past"},
        {{0x00, 0x90, 0x3C, 0x40, 0x81}, 1, "delta time runs past"},
        {{0x00, 0x90, 0x3C, 0x40, 0x10}, 1, ""}, // a trailing delta alone is no fault
    };
    for (const auto& [body, count, reason] : cases) {
        const MIDIFile file(join({header(0, 1, 96), chunk("MTrk", body)}), "bad.mid");
        ASSERT_EQ(file.tracks().size(), 1u);
        std::string error;
        EXPECT_EQ(file.tracks()[0].chunk.chunkEvents(&error).size(), count) << reason;
        EXPECT_TRUE(reason.empty() ? error.empty() : error.find(reason) != std::string::npos) << error;
    }
    EXPECT_EQ(capture.sink.records().size(), std::size(cases) - 1);
}

TEST(MIDIFile, BadChunksAreSkippedOrEndTheWalk) {
    auto track = chunk("MTrk", join({{0x00, 0x90, 60, 1}, endOfTrack}));
    auto overlong = track;
    overlong[7] = 100;
    // A chunk running past the end ends the walk; the chunks before it stay.
    EXPECT_EQ(MIDIFile(join({header(0, 2, 96), track, overlong}), "").tracks().size(), 1u);
    // A header too short for its numbers is no header; its tracks are read at the default division.
    const MIDIFile shortHeader(join({chunk("MThd", {0, 1}), track}), "");
    EXPECT_FALSE(shortHeader.headerChunk());
    EXPECT_EQ(shortHeader.tracks().at(0).chunk.timeDivision, 480);
    EXPECT_TRUE(MIDIFile(MIDIBytes{'M', 'T', 'h', 'd', 0}, "").chunks.empty());
    EXPECT_TRUE(MIDIFile("/nonexistent/file.mid").chunks.empty());
    // A second header after a track leaves no tracks.
    EXPECT_TRUE(MIDIFile(join({header(0, 1, 96), track, header(0, 1, 96)}), "").tracks().empty());
    // A division of 0 places nothing rather than dividing by it.
    EXPECT_EQ(MIDIFile(join({header(0, 1, 0), track}), "").tracks()[0].events().at(0).positionInBeats,
              std::nullopt);
}

TEST(MIDIFileTempoTrack, TempoFromTheLastThreeBytes) {
    const std::pair<MIDIBytes, float> cases[] = {
        {tempo(500000), 120.0f},   {tempo(400000), 150.0f}, {tempo(0), 120.0f}, {{}, 120.0f},
        {tempo(0x07A120), 120.0f}, {tempo(1), 60000000.0f},
    };
    for (const auto& [bytes, bpm] : cases)
        EXPECT_FLOAT_EQ((MIDIFileTempoTrack{{}, bytes}.bpm()), bpm);
    const MIDIFile noTempo(join({header(1, 1, 96), chunk("MTrk", endOfTrack)}), "");
    EXPECT_FALSE(noTempo.tempoTrack());
    EXPECT_TRUE(noTempo.tracks().empty());
}

TEST(MIDIFileTrackNoteMap, PairsNotesPerChannelInBeats) {
    // At 480 ticks per beat: 0x00 0xF0 is 240 ticks, half a beat.
    const auto oneNote = chunk(
        "MTrk", join({{0x81, 0x70, 0x90, 60, 100, 0x81, 0x70, 0x80, 60, 0, 0x83, 0x60}, meta(0x2F, {})}));
    const auto twoChannels =
        chunk("MTrk", join({{0x00, 0x90, 60, 100, 0x78, 0x91, 60, 100, 0x78, 0x90, 60, 0}, // velocity 0 ends
                            {0x83, 0x60, 0x81, 60, 0, 0x00, 0x90, 64, 1, 0x00, 0x80, 64, 0}, // 64 at beat 1.5
                            endOfTrack}));
    const MIDIFile file(join({header(0, 3, 480), oneNote, twoChannels, chunk("MTrk", {0x00, 0x90, 1, 1})}),
                        "");
    using Notes = std::vector<std::tuple<double, double, int>>;
    const std::tuple<int, int, int, int, int, double, Notes> cases[] = {
        {-1, 0, 60, 60, 1, 2.0, {{0.5, 1.0, 60}}},
        {1, 1, 60, 64, 5, 1.5, {{0.0, 0.5, 60}, {0.25, 1.5, 60}, {1.5, 1.5, 64}}},
        {7, 2, 0, 0, 1, 0.0, {}}, // a note that never ends is no note
    };
    for (const auto& [index, trackNumber, lo, hi, range, end, expected] : cases) {
        const MIDIFileTrackNoteMap map(file, index);
        EXPECT_EQ(std::tuple(map.trackNumber(), map.loNote, map.hiNote, map.noteRange, map.endOfTrack),
                  std::tuple(trackNumber, lo, hi, range, end))
            << index;
        Notes notes;
        for (const auto& note : map.noteList) {
            EXPECT_EQ(note.noteDuration, note.noteEndTime - note.noteStartTime);
            notes.emplace_back(note.noteStartTime, note.noteEndTime, note.noteNumber);
        }
        EXPECT_EQ(notes, expected) << index;
    }
    ToolkitLogCapture capture;
    const MIDIFileTrackNoteMap empty(MIDIFile(header(1, 0, 96), ""), 0);
    EXPECT_FALSE(empty.midiTrack());
    EXPECT_EQ(empty.noteRange, 0);
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_NE(capture.sink.records()[0].text.find("No Tracks in the MIDI File"), std::string::npos);
}

TEST(MIDINoteData, EqualByBytesAndBeatsAndDescribedLineByLine) {
    const auto beats = [](double value, double sampleRate = 44100, double tempo = 120) {
        Duration duration(value, tempo);
        duration.sampleRate = sampleRate;
        return duration;
    };
    const MIDINoteData note{60, 100, 1, beats(1.0), beats(0.5)};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<MIDINoteData, bool> cases[] = {
        {{60, 100, 1, beats(1.0, 48000, 90), beats(0.5, 96000, 60)}, true}, // rate and tempo do not count
        {{61, 100, 1, beats(1.0), beats(0.5)}, false},
        {{60, 99, 1, beats(1.0), beats(0.5)}, false},
        {{60, 100, 2, beats(1.0), beats(0.5)}, false},
        {{60, 100, 1, beats(1.5), beats(0.5)}, false},
        {{60, 100, 1, beats(1.0), beats(0.25)}, false},
    };
    for (const auto& [other, equal] : cases) {
        EXPECT_EQ(note == other, equal) << other.description();
        EXPECT_EQ(other == note, equal) << other.description();
    }
    const MIDINoteData notANumber{60, 100, 1, beats(nan), beats(0.5)};
    EXPECT_FALSE(notANumber == notANumber);

    EXPECT_EQ(note.description(), "note: 60\nvelocity: 100\nchannel: 1\nduration: 1.0\nposition: 0.5");
    EXPECT_EQ((MIDINoteData{127, 0, 15, beats(0.1), beats(1e-05)}).description(),
              "note: 127\nvelocity: 0\nchannel: 15\nduration: 0.1\nposition: 1e-05");
}
