// The system output's volume and mute against a fake device: every step's writes and messages, the
// silent tiny volume, the fade, and a machine without a sound card.
#include "tests/support/FakeOutputVolumeBackend.h"
#include "platform/system/OutputVolume.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

struct VolumeRig {
    testsupport::FakeOutputVolumeBackend device;
    Lines lines;
    int sleeps = 0;
    platform::OutputVolume volume{device, [this](const std::string& line) { lines.push_back(line); },
                                  [this](double seconds) { sleeps += seconds == 0.5; }};
};

TEST(OutputVolumeTest, SettingTheVolume) {
    using D = testsupport::FakeOutputVolumeBackend;
    // `flag` is set to `flagValue` first; `line` is what is printed, when anything.
    auto check = [](bool D::*flag, bool flagValue, float volume, bool unmute, const Lines& writes, bool muted,
                    const std::string& line) {
        SCOPED_TRACE(testing::Message() << volume << " " << line);
        VolumeRig rig;
        rig.device.*flag = flagValue;
        rig.volume.setOutputVolume(volume, unmute);
        EXPECT_EQ(rig.device.writes, writes);
        EXPECT_EQ(rig.lines, line.empty() ? Lines{} : Lines{line});
        EXPECT_EQ(rig.device.muted, muted);
    };
    const std::string v50 = "volume 0.50", m0 = "mute 0";
    check(&D::muted, false, 1.3f, true, {"volume 1.00", m0}, false,
          "Tentative volume ( 1.30) was out of range; reset to  1.00");
    check(&D::muted, true, 0.5f, true, {v50, m0}, false, "");
    check(&D::muted, true, 0.5f, false, {v50}, true, "");
    // Below 0.05 the level follows and the device is muted: silence.
    check(&D::muted, false, 0.03f, true, {"volume 0.03", "mute 1"}, true, "");
    check(&D::muteSettable, false, 0.03f, true, {"volume 0.03"}, false,
          "Should mute device 0x2a but did not succeed");
    check(&D::hasVolume, false, 0.5f, true, {}, false, "The device 0x2a does not have a volume to set");
    check(&D::volumeSettable, false, 0.5f, true, {}, false, "The volume of device 0x2a cannot be set");
    check(&D::volumeWriteFails, true, 0.5f, true, {v50, m0}, false,
          "The device 0x2a was unable to set volume");
    check(&D::muteWriteFails, true, 0.5f, true, {v50, m0}, false, "Unable to set volume for device 0x2a");
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
}

TEST(OutputVolumeTest, FadesStepDownThenMuteWithTheLevelBack) {
    using Case = std::tuple<float, int, Lines>;
    for (const auto& [duration, steps, firstWrites] :
         {Case{3.0f, 6, {"volume 0.50", "mute 0"}},   // 0.6 − 0.6/6
          Case{30.0f, 20, {"volume 0.59", "mute 0"}}, // cut to 10 s: steps of 0.6/60
          Case{-3.0f, 0, {"mute 1"}}, Case{0.0f, 0, {"mute 1"}}}) {
        VolumeRig rig;
        rig.device.volume = 0.6f;
        rig.volume.fadeOutAndMute(duration, true);
        EXPECT_EQ(rig.sleeps, steps) << duration;
        EXPECT_EQ(Lines(rig.device.writes.begin(), rig.device.writes.begin() + long(firstWrites.size())),
                  firstWrites)
            << duration;
        EXPECT_TRUE(rig.device.muted && std::abs(rig.device.volume - 0.6f) < 1e-6) << duration;
    }
}

TEST(OutputVolumeTest, WithoutASoundCardEveryCallSaysSoAndChangesNothing) {
    std::unique_ptr<platform::OutputVolumeBackend> alsa = platform::makeAlsaOutputVolumeBackend();
    if (alsa->defaultOutputDevice()) GTEST_SKIP() << "this machine has a mixer";
    Lines lines;
    platform::OutputVolume volume(*alsa, [&](const std::string& line) { lines.push_back(line); });
    volume.setOutputVolume(0.5f, true);
    volume.setOutputMuted(false);
    volume.fadeOutAndMute(3, true);
    EXPECT_EQ(volume.outputVolume(), 0.0f);
    const std::string unknown = "Unable to get default audio device";
    EXPECT_EQ(lines, (Lines{unknown, "Audio Device unknown", unknown, "Audio device unknown", unknown,
                            "Audio device unknown", unknown, "Audio device not found!"}));
}

} // namespace
