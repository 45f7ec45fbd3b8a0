#include "RozezEru/MIDI/MIDI.h"
#include "RozezEru/MIDI/MIDISampler.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "platform/midi/MIDIPacketList.h"

#include "tests/support/Spectrum.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rozezeru;

TEST(MIDISampler, PlaysANoteSentOverMIDIAtItsPitchAndDisposesItsDestination) {
    constexpr double rate = 44100.0;
    auto service = std::make_shared<platform::LoopbackMIDIService>();
    MIDI::setShared(MIDI::make(service));
    platform::MIDIClientRef client = 0;
    platform::MIDIPortRef port = 0;
    service->clientCreate("Sender", {}, client);
    service->outputPortCreate(client, "Out", port);

    testsupport::TemporaryFolder folder;
    const std::string path = folder.file("c4.wav"); // no root chunk: the unit takes key 60
    const double c4 = 440.0 * std::exp2(-9.0 / 12.0);
    ASSERT_TRUE(testsupport::writeSineFile(path, 3.0, c4));
    auto sampler = std::make_shared<MIDISampler>("Sampler");
    ASSERT_TRUE(sampler->loadInstrumentAtPath(path));
    auto engine = testsupport::offlineToolkitEngine(sampler, 10.0);

    const std::uint8_t noteOn[] = {0x90, 67, 100}; // a fifth above the root
    ASSERT_EQ(service->send(port, sampler->midiIn(), platform::makePacketList(0, noteOn)),
              platform::kMIDINoErr);
    const auto out = testsupport::renderToolkit(*engine, std::uint32_t(0.8 * rate))[0];
    EXPECT_NEAR(testsupport::spectralPeakFrequency(out, 2048, rate) / (c4 * std::exp2(7.0 / 12.0)), 1.0,
                0.005);

    const auto endpoint = sampler->midiIn();
    sampler->disposeMIDIDestination();
    sampler->disposeMIDIDestination();
    EXPECT_EQ(sampler->midiIn(), 0u);
    EXPECT_NE(service->send(port, endpoint, platform::makePacketList(0, noteOn)), platform::kMIDINoErr);
    MIDI::setShared(nullptr);
}
