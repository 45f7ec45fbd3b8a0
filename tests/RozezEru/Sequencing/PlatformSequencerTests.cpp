#include "RozezEru/Nodes/Playback/PlatformSampler/Bundle.h"
#include "RozezEru/Sequencing/PlatformSequencer/PlatformSequencer.h"
#include "platform/foundation/Files.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "tests/support/Clocks.h"
#include "tests/support/MIDIFileBytes.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/Wait.h"

#include <array>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>
#include <variant>

using namespace rozezeru;
using namespace testsupport;

namespace {

Duration beats(double value) {
    return Duration(value, 60.0);
}

// A format 1 file at 96 ticks: the tempo chunk, a named track with two notes and a program change,
// and a track of one note.
MIDIBytes twoTrackFile() {
    const auto tempoChunk = join({{0x00}, tempo(666667), {0x00}, meta(0x58, {3, 2, 24, 8}), endOfTrack});
    const auto lead =
        join({{0x00},
              meta(0x03, {'L', 'e', 'a', 'd'}),
              {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xC2, 7, 0x00, 0x90, 62, 90, 0x60, 0x80, 62, 0},
              endOfTrack});
    const auto bass = join({{0x00, 0x90, 36, 100, 0x83, 0x00, 0x80, 36, 0}, endOfTrack});
    return join({header(1, 3, 96), chunk("MTrk", tempoChunk), chunk("MTrk", lead), chunk("MTrk", bass)});
}

std::vector<double> notePositions(const MusicTrackManager& track) {
    std::vector<double> out;
    for (const auto& note : track.getMIDINoteData())
        out.push_back(note.position.beats);
    return out;
}

} // namespace

TEST(MusicTrackManager, EditsLengthsAndEventRecords) {
    ToolkitLogCapture log;
    MusicTrackManager track("Keys");
    EXPECT_FALSE(track.isEmpty()); // its name
    track.add(60, 100, beats(0), beats(1));
    track.add(62, 100, beats(3), beats(2));
    track.add(64, 100, beats(3), beats(1)); // ends exactly at the new length
    track.add(65, 100, beats(5), beats(1));
    track.add(60, 90, beats(3.5), beats(0.25));
    track.clearNote(60);
    EXPECT_EQ(notePositions(track), (std::vector<double>{3, 3, 5}));
    // Shortening removes what lies at or past the end and cuts what crosses it; nothing moves.
    track.setLength(beats(4));
    const auto notes = track.getMIDINoteData();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(std::tuple(notes[0].noteNumber, notes[0].duration.beats, notes[1].duration.beats),
              std::tuple(62, 1.0, 1.0));
    EXPECT_EQ(track.length().beats, 4.0);

    // Pitch bends are clamped to 14 bits; channels above 15 keep their low bits.
    for (int value : {-1, 20000, 8192})
        track.addPitchBend(value, beats(1));
    track.addController(7, 100, beats(1), 17);
    track.addSysEx({0xF0, 0x7E, 0xF7}, beats(2));
    std::vector<std::array<std::uint8_t, 3>> channelMessages;
    const auto records = track.getRawEventData(platform::MusicEventType::midiChannelMessage);
    for (const auto& record : *records) {
        const auto& message = std::get<platform::MIDIChannelMessage>(*record.data);
        channelMessages.push_back({message.status, message.data1, message.data2});
    }
    EXPECT_EQ(channelMessages, (std::vector<std::array<std::uint8_t, 3>>{
                                   {0xE0, 0, 0}, {0xE0, 127, 127}, {0xE0, 0, 64}, {0xB1, 7, 100}}));
    // A record keeps its own copy of the bytes after the track changes.
    const auto before = track.getRawEventData(platform::MusicEventType::midiRawData);
    track.clearSysExEvents();
    track.clear();
    EXPECT_TRUE(track.isEmpty());
    EXPECT_EQ(std::get<platform::MIDIRawData>(*before->at(0).data).data,
              (std::vector<std::uint8_t>{0xF0, 0x7E, 0xF7}));

    EXPECT_TRUE(log.contents("MusicTrackManager.cpp", "getMIDINoteData()").empty());
}

TEST(MusicTrackManager, ListsProgramChangesAndDumpsEvents) {
    ToolkitLogCapture log;
    MusicTrackManager track("ab");
    auto working = track.internalMusicTrack.lock();
    working->addEvent(2, platform::MIDIChannelMessage{0xC3, 12});
    working->addEvent(2, platform::MIDIChannelMessage{0xB3, 7, 1});
    working->addEvent(2.5, platform::MIDIChannelMessage{0xF1, 1});
    track.add(64, 80, beats(3), beats(0.25), 2);
    working->addEvent(4, platform::ExtendedTempoEvent{90});
    EXPECT_EQ(track.programChangeEvents(), (std::vector<MIDIProgramChangeEvent>{{2.0, 3, 12}}));
    track.debug();
    EXPECT_EQ(log.contents("MusicTrackManager.cpp", "debug()"),
              (std::vector<std::string>{"MIDI Meta @ 0.0 - size: 2 - type: 3 - data: 97",
                                        "MIDI Program Change @ 2.0 - program: 12 - channel: 3",
                                        "MIDI Channel Message @2.0 data1:7 data2:1 status:controllerChange",
                                        "MIDI Note @:3.0 note:64 velocity:80 duration:0.25 channel:2",
                                        "MIDI Event @ 4.0"}));
}

TEST(PlatformSequencer, LoadsExportsDeletesAndKeepsDisposedTracksSafe) {
    ToolkitLogCapture log;
    auto sequencer = PlatformSequencer::makeFromData(twoTrackFile());
    ASSERT_EQ(sequencer->tracks.size(), 2u);
    EXPECT_EQ(sequencer->trackCount(), 2);
    EXPECT_EQ(sequencer->tracks[0]->name, "InitializedTrack");
    // Wrapping a loaded track writes no name of its own into it.
    EXPECT_EQ(sequencer->tracks[1]->allRawEventData()->size(), 1u);
    EXPECT_NEAR(sequencer->getTempo(0), 90.0, 1e-3);
    EXPECT_EQ(sequencer->getTimeSignature(10).description(), "3/4");
    EXPECT_EQ(sequencer->length().beats, 4.0);

    // Exported as a standard file; that it reads back equal is the platform sequence's test.
    EXPECT_EQ(PlatformSequencer::makeFromData(*sequencer->genData())->tracks.size(), 2u);

    // A wrapped track's content comes back after edits.
    const auto loaded = sequencer->tracks[0]->internalMusicTrack.lock()->events();
    sequencer->tracks[0]->clear();
    sequencer->tracks[0]->addPitchBendCenter(beats(1));
    sequencer->tracks[0]->restoreInitialState();
    EXPECT_EQ(sequencer->tracks[0]->internalMusicTrack.lock()->events(), loaded);

    auto held = sequencer->tracks[1];
    for (int index : {2, -1})
        sequencer->deleteTrack(index);
    sequencer->deleteTrack(1);
    EXPECT_EQ(sequencer->trackCount(), 1);
    held->add(60, 100, beats(0), beats(1)); // the disposed track is not touched
    EXPECT_EQ(log.contents("PlatformSequencer.cpp", "deleteTrack(trackIndex:)"),
              std::vector<std::string>(2, "Can't get track for index"));
    EXPECT_EQ(log.contents("MusicTrackManager.cpp", "add(noteNumber:velocity:position:duration:channel:)"),
              std::vector<std::string>{"internalMusicTrack does not exist"});

    // A bad file is reported and leaves no tracks; a missing resource keeps what is loaded.
    sequencer->enableLooping();
    sequencer->loadMIDIFile("absent");
    EXPECT_EQ(sequencer->tracks.size(), 1u);
    sequencer->loadMIDIFileFromData({'M', 'T', 'h', 'd', 0});
    EXPECT_TRUE(sequencer->tracks.empty());
    EXPECT_TRUE(sequencer->allTempoEvents().empty());
    EXPECT_EQ(log.contents("PlatformSequencer.cpp", "loadMIDIFile(fromData:)"),
              std::vector<std::string>{"error reading midi data, read status: -10846"});
    EXPECT_EQ(log.contents("PlatformSequencer.cpp", "loadMIDIFile(_:)"),
              std::vector<std::string>{"No midi file found"});
    // Looping on: the next load loops its tracks over the new length.
    sequencer->loadMIDIFileFromData(twoTrackFile());
    EXPECT_EQ(sequencer->tracks[0]->internalMusicTrack.lock()->loopInfo(),
              (platform::MusicTrackLoopInfo{4.0, 0, {}}));

    // Importing copies notes only, into new tracks cut to the length there was.
    auto target = PlatformSequencer::make();
    target->newTrack("Short")->add(40, 100, beats(0), beats(1.5));
    target->addMusicTrackNoteData(*sequencer, true);
    ASSERT_EQ(target->tracks.size(), 3u);
    EXPECT_EQ(target->tracks[2]->getMIDINoteData().front().duration.beats, 1.5);
}

TEST(PlatformSequencer, TempoTrackKeepsItsMetreAndAnswersAtPositions) {
    ToolkitLogCapture log;
    auto sequencer = PlatformSequencer::make();
    sequencer->newTrack("A")->add(60, 100, beats(0), beats(16));
    sequencer->addTimeSignatureEvent(0, {6, TimeSignatureBottomValue::eight});
    sequencer->addTimeSignatureEvent(4, {3, TimeSignatureBottomValue::four}, 24, 8, false);
    for (double bpm : {0.0, -5.0, std::nan("")}) {
        sequencer->setTempo(bpm);
        EXPECT_EQ(sequencer->allTempoEvents(), (std::vector<std::pair<double, double>>{{0, 1}}));
    }
    sequencer->setTempo(90);
    EXPECT_EQ(sequencer->allTimeSignatureEvents().size(), 2u); // setting the tempo keeps the metre
    EXPECT_EQ(sequencer->tempo(), 90.0);                       // at the event the rewound player stands on
    sequencer->addTempoEvent(140, beats(8));
    for (auto [at, bpm] : {std::pair{7.99, 90.0}, {8.0, 140.0}, {100.0, 140.0}, {-1.0, 120.0}})
        EXPECT_EQ(sequencer->getTempo(at), bpm) << at;
    EXPECT_EQ(sequencer->getTimeSignature(3.9).description() + " " +
                  sequencer->getTimeSignature(4).description(),
              "6/8 3/4");
    // An impossible denominator is skipped with a message; clearing replaces the rest.
    sequencer->addTimeSignatureEvent(5, {3, static_cast<TimeSignatureBottomValue>(0)}, 24, 8, true);
    EXPECT_TRUE(sequencer->allTimeSignatureEvents().empty());
    EXPECT_EQ(log.contents("PlatformSequencer.cpp", "allTimeSignatureEvents"),
              std::vector<std::string>{"Invalid time signature bottom value"});
    // 8 beats at 90 BPM are 16/3 s, the next 2 at 140 BPM 6/7 s; signs follow the argument.
    EXPECT_DOUBLE_EQ(sequencer->seconds(beats(-10)), -(16.0 / 3 + 6.0 / 7));
    EXPECT_DOUBLE_EQ(sequencer->duration(-(16.0 / 3 + 6.0 / 7)).beats, -10.0);
    EXPECT_TRUE(std::signbit(sequencer->duration(0).beats));
}

TEST(PlatformSequencer, GridPositionsSnapWithinTheLoop) {
    using Case = std::tuple<double, double, double, double, double, double>;
    const Case cases[] = {
        {8, 3.2, 1, 3, 4, 3},       {8, 3.5, 1, 3, 4, 4},  {8, 7.2, 1, 7, 0, 7},
        {8, 7.8, 1, 7, 0, 0},       {8, 11.2, 1, 3, 4, 3}, {0, 3.2, 1, 3, 4, 3}, // no loop: unwrapped
        {8, 3.2, 0, 3.2, 3.2, 3.2}, // no grid: the position itself
    };
    for (const auto& [length, position, step, previous, next, nearest] : cases) {
        auto sequencer = PlatformSequencer::make();
        if (length > 0) sequencer->newTrack("A")->setLength(beats(length));
        sequencer->setTime(position);
        const double got[] = {sequencer->previousQuantizedPosition(step).beats,
                              sequencer->nextQuantizedPosition(step).beats,
                              sequencer->nearestQuantizedPosition(step).beats};
        const double expected[] = {previous, next, nearest};
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(got[i], expected[i], 1e-9) << position << " step " << step << " #" << i;
    }
}

TEST(PlatformSequencer, TracksRoutedToAnEndpointSendTheirNotesOnTheInjectedClock) {
    auto service = std::make_shared<platform::LoopbackMIDIService>();
    testsupport::FakeClock clock;
    using Message = std::pair<double, std::array<std::uint8_t, 2>>; // clock seconds, status and note
    std::vector<Message> received; // the player's thread writes it until the stop
    std::atomic<std::size_t> count{0};
    platform::MIDIClientRef client = 0;
    platform::MIDIEndpointRef destination = 0;
    ASSERT_EQ(service->clientCreate("synth", {}, client), platform::kMIDINoErr);
    auto read = [&](std::span<const std::uint8_t> list) {
        for (const auto& packet : platform::MIDIPacketListView(list))
            received.push_back(
                {clock.now().timeIntervalSinceReferenceDate, {packet.data[0], packet.data[1]}});
        count = received.size();
    };
    ASSERT_EQ(service->destinationCreate(client, "in", read, destination), platform::kMIDINoErr);
    auto sequencer = PlatformSequencer::make();
    sequencer->setMIDIService(service, clock);
    auto track = sequencer->newTrack("Lead");
    track->add(60, 100, beats(0), beats(1), 1);
    track->add(62, 90, beats(2), beats(1), 1);
    sequencer->setMIDIOutput(destination);
    sequencer->play();
    // At 120 BPM each half second of the standing clock lets exactly one more message through.
    for (std::size_t step = 1; step <= 4; ++step) {
        ASSERT_TRUE(waitUntil([&] { return count.load() == step; })) << step;
        clock.advance(0.5);
    }
    sequencer->stop();
    std::vector<Message> expected{{0.0, {0x91, 60}}, {0.5, {0x81, 60}}, {1.0, {0x91, 62}}, {1.5, {0x81, 62}}};
    // The stop releases whatever an endpoint still sounds: all notes off on every channel.
    for (std::uint8_t channel = 0; channel < 16; ++channel)
        expected.push_back({2.0, {std::uint8_t(0xB0 | channel), 123}});
    EXPECT_EQ(received, expected);
}

TEST(PlatformSequencer, TimeResolutionIsTheLoadedFilesAndExportKeepsIt) {
    auto divisionOf = [](const std::vector<std::uint8_t>& file) { return file.at(12) << 8 | file.at(13); };
    EXPECT_EQ(PlatformSequencer::make()->timeResolution(), 480u);
    EXPECT_EQ(divisionOf(*PlatformSequencer::make()->genData()), 480);
    for (std::uint16_t division : {96, 960, 480}) {
        // One beat of note 60, then the track's end a beat later.
        const auto file = join(
            {header(0, 1, division),
             chunk("MTrk",
                   join({{0x00, 0x90, 60, 100}, vlq(division), {0x80, 60, 0}, endOfTrackAfter(division)}))});
        auto sequencer = PlatformSequencer::makeFromData(file);
        EXPECT_EQ(sequencer->timeResolution(), division);
        const auto exported = *sequencer->genData();
        EXPECT_EQ(divisionOf(exported), division);
        auto again = PlatformSequencer::makeFromData(exported);
        EXPECT_EQ(again->timeResolution(), division);
        ASSERT_EQ(again->tracks.size(), 1u);
        EXPECT_EQ(again->length().beats, 2.0) << division;
        // A file that does not load leaves the resolution of a new sequence.
        sequencer->loadMIDIFileFromData({'M', 'T', 'h', 'd', 0});
        EXPECT_EQ(sequencer->timeResolution(), 480u);
    }
}

TEST(PlatformSequencer, PlayingWithNothingRoutedMovesAndConvertsHostTimes) {
    testsupport::FakeClock clock;
    auto sequencer = PlatformSequencer::make();
    sequencer->newTrack("Lead")->add(60, 100, beats(0), beats(8));
    sequencer->setTempo(120);
    sequencer->musicPlayer->setClock(clock);
    using Kind = MusicPlayerTimeConversionError::Kind;
    auto kindOf = [](const auto& result) {
        return std::holds_alternative<MusicPlayerTimeConversionError>(result)
                   ? std::optional(std::get<MusicPlayerTimeConversionError>(result).kind)
                   : std::nullopt;
    };
    EXPECT_EQ(kindOf(sequencer->hostTime(1)), Kind::musicPlayerIsNotPlaying);
    EXPECT_EQ(kindOf(sequencer->beats(1)), Kind::musicPlayerIsNotPlaying);
    sequencer->play();
    ASSERT_TRUE(sequencer->isPlaying());
    clock.advance(1.0);
    EXPECT_DOUBLE_EQ(sequencer->currentPosition().beats, 2.0);
    // Beat 4 plays a second after beat 2, and converts back.
    const auto atTwo = sequencer->hostTime(2);
    const auto atFour = sequencer->hostTime(4);
    ASSERT_EQ(std::pair(kindOf(atTwo), kindOf(atFour)),
              std::pair(std::optional<Kind>(), std::optional<Kind>()));
    EXPECT_EQ(std::get<std::uint64_t>(atFour) - std::get<std::uint64_t>(atTwo), 1000000000u);
    const auto back = sequencer->beats(std::get<std::uint64_t>(atFour));
    ASSERT_EQ(kindOf(back), std::nullopt);
    EXPECT_NEAR(std::get<double>(back), 4.0, 1e-9);
    EXPECT_EQ(kindOf(sequencer->hostTime(std::nan(""))), Kind::osStatus);
    sequencer->stop();
    clock.advance(1.0);
    EXPECT_DOUBLE_EQ(sequencer->currentPosition().beats, 2.0);
    EXPECT_EQ(kindOf(sequencer->hostTime(1)), Kind::musicPlayerIsNotPlaying);
}

TEST(Bundle, AResourceIsARegularFileInItsFolder) {
    TemporaryFolder folder;
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("song.mid"), twoTrackFile()));
    std::filesystem::create_directories(folder.file("folder.mid"));
    const Bundle bundle(folder.path);
    for (const auto& [name, found] : std::vector<std::pair<std::string, bool>>{
             {"song", true}, {"folder", false}, {"gone", false}, {"../song", false}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(bundle.pathForResource(name, "mid"),
                  found ? std::optional(folder.file(name + ".mid")) : std::nullopt);
    }
}

TEST(PlatformSequencer, NamedFilesComeFromTheProgramsResourceFolder) {
    // Installed, the program's resources are its data folder; run from the build tree, "Resources"
    // beside it.
    TemporaryFolder prefix;
    const std::string program = prefix.file("bin/vantle");
    EXPECT_EQ(Bundle::forProgram(program, "../share/app").resourcePath(), prefix.file("bin/Resources"));
    std::filesystem::create_directories(prefix.file("share/app"));
    EXPECT_EQ(Bundle::forProgram(program, "../share/app").resourcePath(), prefix.file("share/app"));

    // With no folder set, a sequencer finds named files in the program's bundle.
    const std::filesystem::path folder = Bundle::main().resourcePath();
    const bool made = std::filesystem::create_directories(folder);
    const std::string name = "platform-sequencer-test-" + std::to_string(::getpid());
    const auto path = folder / (name + ".mid");
    ASSERT_TRUE(platform::writeFileAtomically(path.string(), twoTrackFile()));
    ToolkitLogCapture log;
    auto sequencer = PlatformSequencer::make(name);
    EXPECT_EQ(sequencer->tracks.size(), 2u);
    EXPECT_TRUE(log.contents("PlatformSequencer.cpp", "loadMIDIFile(_:)").empty());
    std::filesystem::remove(path);
    if (made) std::filesystem::remove(folder);
}
