// The system output's volume and mute against a fake device: every step's writes and messages, the
// silent tiny volume, the fade, and a machine without a sound card.
#include "platform/system/FakeOutputVolumeBackend.h"
#include "platform/system/OutputVolume.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using platform::FakeOutputVolumeBackend;
using Lines = std::vector<std::string>;

struct VolumeRig {
    FakeOutputVolumeBackend device;
    Lines lines;
    int sleeps = 0;
    platform::OutputVolume volume{device, [this](const std::string& line) { lines.push_back(line); },
                                  [this](double seconds) {
                                      EXPECT_EQ(seconds, 0.5);
                                      ++sleeps;
                                  }};
};

TEST(OutputVolumeTest, SettingTheVolume) {
    struct Case {
        const char* name;
        std::function<void(FakeOutputVolumeBackend&)> arrange;
        float volume;
        bool unmute;
        Lines writes;
        Lines lines;
        bool muted;
    };
    const auto none = [](FakeOutputVolumeBackend&) {};
    const Case cases[] = {
        {"1.3 is clamped", none, 1.3f, true, {"volume 1.00", "mute 0"},
         {"Tentative volume ( 1.30) was out of range; reset to  1.00"}, false},
        {"0.5 on a muted device unmutes it", [](auto& d) { d.muted = true; }, 0.5f, true, {"volume 0.50", "mute 0"},
         {}, false},
        {"without the flag the mute stays", [](auto& d) { d.muted = true; }, 0.5f, false, {"volume 0.50"}, {}, true},
        {"below 0.05 the level follows and the device is muted", none, 0.03f, true, {"volume 0.03", "mute 1"}, {},
         true},
        {"a mute that cannot be set", [](auto& d) { d.muteSettable = false; }, 0.03f, true, {"volume 0.03"},
         {"Should mute device 0x2a but did not succeed"}, false},
        {"no volume control", [](auto& d) { d.hasVolume = false; }, 0.5f, true, {},
         {"The device 0x2a does not have a volume to set"}, false},
        {"a volume that cannot be set", [](auto& d) { d.volumeSettable = false; }, 0.5f, true, {},
         {"The volume of device 0x2a cannot be set"}, false},
        {"a failed volume write", [](auto& d) { d.volumeWriteFails = true; }, 0.5f, true, {"volume 0.50", "mute 0"},
         {"The device 0x2a was unable to set volume"}, false},
        {"a failed unmute", [](auto& d) { d.muteWriteFails = true; }, 0.5f, true, {"volume 0.50", "mute 0"},
         {"Unable to set volume for device 0x2a"}, false},
        {"no device", [](auto& d) { d.device.reset(); }, 0.5f, true, {},
         {"Unable to get default audio device", "Audio Device unknown"}, false},
    };
    for (const Case& c : cases) {
        VolumeRig rig;
        c.arrange(rig.device);
        rig.volume.setOutputVolume(c.volume, c.unmute);
        EXPECT_EQ(rig.device.writes, c.writes) << c.name;
        EXPECT_EQ(rig.lines, c.lines) << c.name;
        EXPECT_EQ(rig.device.muted, c.muted) << c.name;
    }
}

TEST(OutputVolumeTest, MuteAndTheGetters) {
    VolumeRig rig;
    rig.device.volume = 1.7f;
    EXPECT_EQ(rig.volume.outputVolume(), 1.0f);
    rig.volume.setOutputMuted(true);
    EXPECT_TRUE(rig.volume.isOutputMuted());
    rig.device.muteWriteFails = true;
    rig.volume.setOutputMuted(false);
    EXPECT_EQ(rig.lines, Lines{"Cannot change mute status of device 0x2a"});

    VolumeRig bare;
    bare.device.hasVolume = bare.device.hasMute = false;
    EXPECT_EQ(bare.volume.outputVolume(), 0.0f);
    EXPECT_FALSE(bare.volume.isOutputMuted());
    bare.volume.setOutputMuted(true);
    EXPECT_EQ(bare.lines, Lines{"No volume control for device 0x2a"});
    EXPECT_TRUE(bare.device.writes.empty());

    VolumeRig absent;
    absent.device.device.reset();
    EXPECT_EQ(absent.volume.outputVolume(), 0.0f);
    EXPECT_FALSE(absent.volume.isOutputMuted());
    absent.volume.setOutputMuted(true);
    absent.volume.fadeOutAndMute(3, true);
    EXPECT_EQ(absent.lines, (Lines{"Unable to get default audio device", "Audio device not found!",
                                   "Unable to get default audio device", "Audio device unknown",
                                   "Unable to get default audio device", "Audio device unknown",
                                   "Unable to get default audio device", "Audio device unknown"}));
}

TEST(OutputVolumeTest, FadesStepDownThenMuteWithTheLevelBack) {
    struct Case {
        float duration;
        int steps;
        Lines firstWrites;
    };
    const Case cases[] = {
        {3.0f, 6, {"volume 0.50", "mute 0"}},   // 0.6 − 0.6/6
        {30.0f, 20, {"volume 0.59", "mute 0"}}, // cut to 10 s: steps of 0.6/60
        {-3.0f, 0, {"mute 1"}},                 // no steps that could raise the level
        {0.0f, 0, {"mute 1"}},
    };
    for (const Case& c : cases) {
        VolumeRig rig;
        rig.device.volume = 0.6f;
        rig.volume.fadeOutAndMute(c.duration, true);
        EXPECT_EQ(rig.sleeps, c.steps) << c.duration;
        ASSERT_GE(rig.device.writes.size(), c.firstWrites.size());
        EXPECT_EQ(Lines(rig.device.writes.begin(), rig.device.writes.begin() + long(c.firstWrites.size())),
                  c.firstWrites)
            << c.duration;
        EXPECT_TRUE(rig.device.muted) << c.duration;
        EXPECT_NEAR(rig.device.volume, 0.6f, 1e-6) << c.duration;
    }
    VolumeRig muted;
    muted.device.muted = true;
    muted.volume.fadeOutAndMute(3, true);
    EXPECT_TRUE(muted.device.writes.empty());
}

TEST(OutputVolumeTest, WithoutASoundCardTheAlsaDeviceIsUnknown) {
    // These machines have no sound card; where one exists this only checks that nothing crashes.
    std::unique_ptr<platform::OutputVolumeBackend> alsa = platform::makeAlsaOutputVolumeBackend();
    Lines lines;
    platform::OutputVolume volume(*alsa, [&](const std::string& line) { lines.push_back(line); });
    if (alsa->defaultOutputDevice()) GTEST_SKIP() << "this machine has a mixer";
    volume.setOutputVolume(0.5f, true);
    volume.setOutputMuted(false);
    EXPECT_EQ(volume.outputVolume(), 0.0f);
    EXPECT_EQ(lines, (Lines{"Unable to get default audio device", "Audio Device unknown",
                            "Unable to get default audio device", "Audio device unknown",
                            "Unable to get default audio device", "Audio device not found!"}));
}

} // namespace
