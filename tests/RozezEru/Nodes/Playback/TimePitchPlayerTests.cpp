// An AudioPlayer playing a file through a TimePitch (and on into a mixer, as the application's chain
// does), offline and on the null device: what comes out and the time the player reports.

#include "PlayerTestRig.h"

#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "RozezEru/Nodes/Playback/TimePitchCompensation.h"

#include "tests/support/RenderCycleTrap.h"
#include "tests/support/Signals.h"

#include <functional>

using namespace playertest;

namespace {

constexpr double chainRate = 44100.0;

// `seconds` of stereo whose every sample is `sample(t)`, t in seconds.
std::string writeChainFile(const Folder& folder, const std::string& name, double seconds,
                           const std::function<float(double)>& sample) {
    return writeFloatFile(folder, name, std::llround(seconds * chainRate), 2, chainRate,
                          [&](std::int64_t i, std::uint32_t) { return sample(double(i) / chainRate); });
}

float chainSine(double hertz, double t) {
    return float(0.5 * std::sin(2.0 * M_PI * hertz * t));
}

// AudioPlayer -> TimePitch -> Mixer as the engine's output, rendering offline in cycles of a given
// size; the player reports the time heard.
struct ChainRig {
    rozezeru::AudioEngine engine{std::make_unique<platform::NullAudioDevice>()};
    std::shared_ptr<rozezeru::AudioPlayer> player = std::make_shared<rozezeru::AudioPlayer>();
    std::shared_ptr<rozezeru::TimePitch> timePitch = std::make_shared<rozezeru::TimePitch>(player);
    std::shared_ptr<rozezeru::TimePitchCompensation> compensation =
        std::make_shared<rozezeru::TimePitchCompensation>(timePitch);
    std::shared_ptr<rozezeru::Mixer> mixer;

    ChainRig() {
        player->setTimeCompensation(compensation);
        mixer = std::make_shared<rozezeru::Mixer>(std::vector<std::shared_ptr<rozezeru::Node>>{timePitch});
        engine.setOutput(mixer);
        if (!engine.startTest(0.0)) throw std::runtime_error("offline engine");
    }
    ~ChainRig() {
        player->stop();
        platform::mainQueue().drain();
    }

    // Renders one cycle and appends channel 0 to `out`.
    void cycle(std::uint32_t frames, std::vector<float>& out) {
        const auto rendered = testsupport::renderOfflineFrames(engine.avEngine(), frames, frames);
        if (rendered.empty()) throw std::runtime_error("offline render failed");
        out.insert(out.end(), rendered[0].begin(), rendered[0].end());
    }
};

// The first frame at or after `from` whose magnitude passes a quarter, or the end.
std::size_t chainOnset(const std::vector<float>& samples, std::size_t from) {
    return testsupport::onset(samples, 0.25f, from);
}

} // namespace

TEST(TimePitchPlayer, ACompensationOutlivingItsNodeTakesNothingOff) {
    std::shared_ptr<rozezeru::TimePitchCompensation> compensation;
    {
        ChainRig rig;
        compensation = rig.compensation;
    }
    EXPECT_EQ(compensation->latencySeconds(), 0.0);
    EXPECT_EQ(compensation->heardPlayerTime(1.5), 1.5);
}

TEST(TimePitchPlayer, TheTimeFollowsTheAudioThroughRateChangesAndRestarts) {
    // A 50 ms burst every half second from 0.5 s: at each onset the player reports the burst's place.
    Folder folder;
    const auto path = writeChainFile(folder, "beats.wav", 6.0, [](double t) {
        return t >= 0.5 && std::fmod(t, 0.5) < 0.05 ? chainSine(1000.0, t) : 0.0f;
    });
    ChainRig rig;
    ASSERT_TRUE(rig.player->load(path));
    rig.timePitch->setRate(1.25f);
    rig.player->play();

    std::vector<float> out;
    std::vector<double> times; // at the start of each 441-frame cycle
    const auto run = [&](double seconds) {
        for (int i = 0; i < int(std::lround(seconds * 100)); ++i) {
            rig.cycle(441, out);
            times.push_back(rig.player->currentTime());
        }
    };
    run(1.5);
    rig.timePitch->setRate(0.7f);
    run(2.0);
    // A restart, as a seek of the application's player does it.
    const std::size_t restart = out.size();
    rig.player->stop();
    rig.timePitch->reset();
    rig.player->play(3.0);
    run(1.5);
    rig.timePitch->setRate(1.0f);
    run(1.0);

    // 0.5 to 1.5 at 1.25, 2 to 3 at 0.7; after the restart 3 to 4 at 0.7, 4.5 and 5 at 1.
    const std::vector<double> bursts{0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.0, 3.5, 4.0, 4.5, 5.0};
    std::size_t from = 0;
    for (double burst : bursts) {
        SCOPED_TRACE(burst);
        const std::size_t onset = chainOnset(out, from);
        ASSERT_LT(onset, out.size());
        from = onset + std::size_t(0.08 * chainRate);
        // The time at the onset, between those at the starts of its cycle and the next.
        const auto cycle = std::size_t(onset / 441);
        ASSERT_LT(cycle + 1, times.size());
        const double within = double(onset % 441) / 441.0;
        EXPECT_NEAR(times[cycle] + within * (times[cycle + 1] - times[cycle]), burst, 0.01);
    }
    // Right after the restart the new place is heard, not the old one.
    EXPECT_LT(chainOnset(out, restart), restart + 441);
}

TEST(TimePitchPlayer, PlaysAFileOnADeviceWithoutAllocatingWhileTheRateChanges) {
    Folder folder;
    const auto path = writeChainFile(folder, "long.wav", 20.0, [](double t) {
        return chainSine(440.0, t) * float(0.6 + 0.4 * std::sin(2.0 * M_PI * 3.0 * t));
    });
    platform::NullAudioDevice::Configuration configuration;
    configuration.pacing = platform::NullAudioDevice::Pacing::asFastAsPossible;
    auto ownedDevice = std::make_unique<platform::NullAudioDevice>(configuration);
    const platform::NullAudioDevice& device = *ownedDevice;
    rozezeru::AudioEngine engine(std::move(ownedDevice));
    auto player = std::make_shared<rozezeru::AudioPlayer>();
    auto timePitch = std::make_shared<rozezeru::TimePitch>(player);
    player->setTimeCompensation(std::make_shared<rozezeru::TimePitchCompensation>(timePitch));
    engine.setOutput(
        std::make_shared<rozezeru::Mixer>(std::vector<std::shared_ptr<rozezeru::Node>>{timePitch}));
    ASSERT_TRUE(player->load(path));
    ASSERT_TRUE(engine.start());

    testsupport::RenderCycleTrap trap;
    player->play();
    ASSERT_TRUE(player->isPlaying());
    double previous = 0.0, furthest = 0.0;
    double backwards = 0.0;
    for (int step = 0; step < 24; ++step) {
        timePitch->setRate(step % 3 == 0 ? 0.8f : step % 3 == 1 ? 1.3f : 0.5f);
        if (step == 12) {
            // A seek (the player restarts and the unit drops what it holds) on the way.
            player->seek(-1.0);
            timePitch->reset();
            // The seek is over once the new place has been rendered: a read before that may still pair
            // the new place with what the unit held of the old one.
            const std::uint64_t seekPeriod = device.periodsRendered();
            ASSERT_TRUE(testsupport::waitUntil([&] { return device.periodsRendered() >= seekPeriod + 2; }));
            previous = player->currentTime();
        }
        const std::uint64_t until = device.periodsRendered() + 20;
        while (device.periodsRendered() < until) {
            const std::uint64_t before = device.periodsRendered();
            const double now = player->currentTime();
            furthest = std::max(furthest, now);
            // Only a read no cycle ended during is compared: one that straddles a cycle's end may pair
            // the time of one cycle with the place of the next, and two such reads in a row on a busy
            // machine (the periods are unpaced) differ by more than a period without the time running back.
            if (device.periodsRendered() == before) {
                backwards = std::max(backwards, previous - now);
                previous = now;
            }
            std::this_thread::yield();
        }
    }
    player->stop();
    engine.stop();

    trap.expectNothingAllocated(480);
    // The time moves forward (but for the seek); a read inside a cycle may be off by under a period.
    EXPECT_LT(backwards, 512.0 / 44100.0);
    EXPECT_GT(furthest, 1.0);
    platform::mainQueue().drain();
}
