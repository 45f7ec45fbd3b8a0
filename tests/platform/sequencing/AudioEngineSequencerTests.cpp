#include "platform/midi/LoopbackMIDIService.h"
#include "platform/sequencing/AudioEngineSequencer.h"
#include "tests/platform/audio/GainTestUnit.h"
#include "tests/support/EngineRig.h"
#include "tests/support/MIDIFileBytes.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace platform;
using namespace testsupport;

TEST(AudioEngineSequencer, EditsWhilePlayingApplyAtOnceAndOneTrackAtATimeGoesToAnEndpoint) {
    auto rig = makeUnitRig<unittest::GainTestUnit>(
        std::make_shared<AudioUnitNode>(
            std::make_unique<unittest::GainTestUnit>(unittest::GainTestUnit::effectDescription(), 0)),
        stereo(), 512, [](std::int64_t) { return 0.0f; });
    auto service = std::make_shared<LoopbackMIDIService>();
    AudioEngineSequencer sequencer(*rig.engine, service);
    ASSERT_TRUE(sequencer.load(tracksOf16And24Beats()));
    auto track = sequencer.tracks().at(0);
    track.setDestinationAudioUnit(rig.node.get());
    ASSERT_TRUE(sequencer.start());
    (void)rig.render(22050, 512);
    track.setLoopRange({0, 1});
    track.setLoopingEnabled(true); // note 60 at beats 1 and 2, and no 62
    (void)rig.render(44100, 512);
    EXPECT_EQ(rig.unit->noteOns(),
              (std::vector<std::pair<AUEventSampleTime, int>>{{0, 60}, {22050, 60}, {44100, 60}}));
    // The restart for the edit ended the note it had started, before playing on.
    EXPECT_EQ(std::pair(rig.unit->midi(1).time, rig.unit->midi(1).data),
              std::pair(AUEventSampleTime(22050), std::array<std::uint8_t, 3>{0xB0, 123, 0}));

    MIDIClientRef client = 0;
    MIDIEndpointRef destination = 0;
    std::atomic<int> noteOns{0};
    ASSERT_EQ(service->clientCreate("synth", {}, client), kMIDINoErr);
    auto read = [&](std::span<const std::uint8_t> list) {
        for (const auto& packet : MIDIPacketListView(list))
            noteOns += packet.data[0] == 0x90;
    };
    ASSERT_EQ(service->destinationCreate(client, "in", read, destination), kMIDINoErr);
    sequencer.stop();
    sequencer.setCurrentPositionInBeats(0);
    track.setDestinationMIDIEndpoint(destination);
    EXPECT_EQ(track.destinationAudioUnit(), nullptr);
    ASSERT_TRUE(sequencer.start());
    EXPECT_TRUE(waitUntil([&] { return noteOns.load() > 0; }));
    sequencer.stop();

    // A reload retires the views of the old tracks.
    ASSERT_TRUE(sequencer.load(tracksOf16And24Beats()));
    EXPECT_EQ(std::pair(track.lengthInBeats(), sequencer.tracks().at(0).lengthInBeats()),
              std::pair(0.0, 16.0));
}

TEST(AudioEngineSequencer, ALoopingTrackRepeatsItsLoopRangeFromTheRangesStart) {
    // Track 0: note 60 on beat 0 and 62 on beat 2, in 16 beats; beats are 22050 frames.
    using Case = std::tuple<MusicBeatRange, std::vector<std::pair<AUEventSampleTime, int>>>;
    const Case cases[] = {
        {{0, 1}, {{0, 60}, {22050, 60}, {44100, 60}, {66150, 60}, {88200, 60}}},
        {{2, 1}, {{0, 60}, {44100, 62}, {66150, 62}, {88200, 62}}},
        {{1, 2}, {{0, 60}, {44100, 62}, {88200, 62}}},
    };
    for (const auto& [range, noteOns] : cases) {
        auto rig = makeUnitRig<unittest::GainTestUnit>(
            std::make_shared<AudioUnitNode>(
                std::make_unique<unittest::GainTestUnit>(unittest::GainTestUnit::effectDescription(), 0)),
            stereo(), 512, [](std::int64_t) { return 0.0f; });
        AudioEngineSequencer sequencer(*rig.engine, std::make_shared<LoopbackMIDIService>());
        ASSERT_TRUE(sequencer.load(tracksOf16And24Beats()));
        auto track = sequencer.tracks().at(0);
        track.setDestinationAudioUnit(rig.node.get());
        track.setLoopRange(range);
        track.setLoopingEnabled(true);
        EXPECT_EQ(track.loopRange(), range);
        ASSERT_TRUE(sequencer.start());
        (void)rig.render(4 * 22050 + 512, 512);
        EXPECT_EQ(rig.unit->noteOns(), noteOns) << range.start << " " << range.length;
    }
}
