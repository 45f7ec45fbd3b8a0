#include "Source/playback/RestTimer.h"

#include "PlaybackTestSupport.h"
#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "Source/playback/SoundEffect.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/ManualTimers.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace playbacktest;
using platform::mainQueue;
using vantle::RestTimer;
using vantle::SoundEffect;

namespace {

double bellRms(const platform::PcmBuffer& buffer, double fromSeconds, double toSeconds) {
    return testsupport::rms(channelSamples(buffer, 0), std::size_t(fromSeconds * 44100.0),
                            std::size_t(toSeconds * 44100.0));
}

} // namespace

class RestTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        mainQueue().bindToCurrentThread();
        mainQueue().drain();
    }

    // A bell whose engine renders offline, so a test hears what it rang.
    RestTimer::BellMaker offlineBell() {
        return [this] {
            ++bellsMade;
            auto effect = std::make_unique<SoundEffect>(SoundEffect::bellFileName, fastDevice(), defaults);
            (void)effect->engine().startTest(0.0);
            bell = effect.get();
            return effect;
        };
    }
    void advance(double seconds) {
        scheduler.advance(seconds);
        mainQueue().drain();
    }
    // The peak of the next half second the bell's engine renders.
    float heard() { return bufferPeak(*bell->engine().render(0.5)); }

    fixtures::TempFolder folder;
    platform::UserDefaults defaults{folder.path};
    testsupport::ManualTimerScheduler scheduler{1000.0};
    int bellsMade = 0;
    SoundEffect* bell = nullptr;
    RestTimer timer{scheduler, defaults, offlineBell()};
};

TEST_F(RestTimerTest, TheDefaultBreakComesFromTheUserDefaults) {
    EXPECT_EQ(timer.defaultLength(), 60.0);
    defaults.setDouble("timerDuration", 0.5);
    EXPECT_EQ(timer.defaultLength(), 60.0);
    defaults.setDouble("timerDuration", 15);
    EXPECT_EQ(timer.defaultLength(), 900.0);

    timer.arm(std::nullopt);
    advance(899.9);
    EXPECT_EQ(bellsMade, 0);
    advance(0.2);
    ASSERT_EQ(bellsMade, 1);
    EXPECT_NEAR(heard(), 0.5f, 0.05f);
    // Rung: still armed, with nothing left.
    EXPECT_TRUE(timer.isArmed());
    EXPECT_FALSE(timer.fractionRemaining());
}

TEST_F(RestTimerTest, TheRemainingShareIsThatOfTheLengthArmedWith) {
    EXPECT_FALSE(timer.fractionRemaining());
    timer.arm(std::nullopt);
    EXPECT_EQ(timer.fractionRemaining(), 1.0);
    advance(30);
    EXPECT_DOUBLE_EQ(*timer.fractionRemaining(), 0.5);
    advance(30);
    EXPECT_FALSE(timer.fractionRemaining());
    EXPECT_EQ(bellsMade, 1);

    timer.arm(240.0);
    advance(60);
    EXPECT_DOUBLE_EQ(*timer.fractionRemaining(), 0.75);
    advance(120);
    EXPECT_DOUBLE_EQ(*timer.fractionRemaining(), 0.25);
    advance(60);
    EXPECT_FALSE(timer.fractionRemaining());
    // The bell is made once and rings again.
    EXPECT_EQ(bellsMade, 1);
    EXPECT_GT(heard(), 0.4f);

    // Lengths that are no lengths: below 0 rings at once, not finite takes the default.
    timer.arm(-5.0);
    EXPECT_FALSE(timer.fractionRemaining());
    timer.arm(std::numeric_limits<double>::infinity());
    advance(30);
    EXPECT_DOUBLE_EQ(*timer.fractionRemaining(), 0.5);
}

TEST_F(RestTimerTest, ToggleAndCancelStopTheBreakWithoutABell) {
    timer.toggle();
    EXPECT_TRUE(timer.isArmed());
    timer.toggle();
    EXPECT_FALSE(timer.isArmed());
    EXPECT_FALSE(timer.fractionRemaining());
    advance(120);
    EXPECT_EQ(bellsMade, 0);

    timer.arm(10.0);
    timer.cancel();
    EXPECT_FALSE(timer.isArmed());
    advance(120);
    EXPECT_EQ(bellsMade, 0);

    // A timer that goes away takes its break with it.
    {
        RestTimer gone(scheduler, defaults, offlineBell());
        gone.arm(5.0);
    }
    advance(10);
    EXPECT_EQ(bellsMade, 0);
}

TEST_F(RestTimerTest, ArmingAgainRestartsTheBreakAndOnlyTheLaterBellRings) {
    timer.arm(std::nullopt);
    advance(40);
    timer.arm(std::nullopt);
    EXPECT_EQ(timer.fractionRemaining(), 1.0);
    advance(20); // the first deadline
    EXPECT_EQ(bellsMade, 0);
    advance(40);
    ASSERT_EQ(bellsMade, 1);
    EXPECT_GT(heard(), 0.4f);
    advance(600);
    // One strike, which dies away within its three seconds (offline, time passes as it is rendered).
    (void)bell->engine().render(3.0);
    EXPECT_LT(heard(), 0.001f);
}

TEST_F(RestTimerTest, TheRestSoundAttenuationSetsTheBellsVolume) {
    struct Case {
        float attenuation, volume;
    };
    for (const Case& c : {Case{0.0f, 1.0f}, Case{0.5f, 0.1f}, Case{1.5f, 0.001f}, Case{-1.0f, 1.0f}}) {
        SCOPED_TRACE(c.attenuation);
        EXPECT_FLOAT_EQ(SoundEffect::volumeForAttenuation(c.attenuation), c.volume);
        defaults.setFloat("breaksoundAttenuation", c.attenuation);
        timer.arm(1.0);
        advance(1.0);
        ASSERT_TRUE(bell);
        EXPECT_FLOAT_EQ(bell->volume(), c.volume);
        EXPECT_EQ(bell->avplayer()->volume(), 1.0f);
        EXPECT_NEAR(heard(), 0.5f * c.volume, 0.05f * c.volume);
    }
    EXPECT_FLOAT_EQ(SoundEffect::volumeForAttenuation(std::nanf("")), 1.0f);
}

TEST(SoundEffect, TheBellRingsAndDiesAwayAndAFileThatIsNoSoundIsSilent) {
    auto bell = SoundEffect::makeBell();
    ASSERT_TRUE(bell);
    EXPECT_EQ(bell->format().channelCount(), 2u);
    EXPECT_EQ(bell->frameLength(), 132300u);
    EXPECT_NEAR(bufferPeak(*bell), 0.5f, 1e-6f);
    const double strike = bellRms(*bell, 0.0, 0.3);
    EXPECT_GT(strike, 4.0 * bellRms(*bell, 2.0, 2.5));
    EXPECT_LT(bellRms(*bell, 2.99, 3.0), 0.001);
    EXPECT_LT(std::fabs(bell->channel(0)[0]), 0.01f);

    fixtures::TempFolder folder;
    SoundEffect missing(folder.file("nothing.mp3"), fastDevice());
    EXPECT_FALSE(missing.hasSound());
    missing.play();
    EXPECT_FALSE(missing.engine().isRunning());

    ASSERT_TRUE(writeTone(folder.file("chime.wav"), 1.0));
    platform::UserDefaults defaults(folder.path);
    SoundEffect chime(folder.file("chime.wav"), fastDevice(), defaults);
    ASSERT_TRUE(chime.hasSound());
    EXPECT_NEAR(chime.avplayer()->duration(), 1.0, 1e-6);
    (void)chime.engine().startTest(0.0);
    chime.play();
    EXPECT_GT(bufferPeak(*chime.engine().render(0.3)), 0.3f);

    // On a running device the first play starts the engine.
    SoundEffect live(SoundEffect::bellFileName, fastDevice(), defaults);
    EXPECT_FALSE(live.engine().isRunning());
    live.play();
    EXPECT_TRUE(live.engine().isRunning());
    EXPECT_TRUE(live.avplayer()->isPlaying());
}
