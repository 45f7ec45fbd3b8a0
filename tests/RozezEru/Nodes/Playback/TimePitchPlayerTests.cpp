// An AudioPlayer playing a file through a TimePitch (and on into a mixer, as the application's chain
// does), rendered offline: what comes out and the time the player reports.

#include "PlayerTestRig.h"

#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "RozezEru/Nodes/Playback/TimePitchCompensation.h"

#include <functional>

using namespace playertest;

namespace {

constexpr double chainRate = 44100.0;

// Writes `seconds` of stereo 32-bit float WAV whose every sample is `sample(t)`, t in seconds.
std::string writeChainFile(const Folder& folder, const std::string& name, double seconds,
                           const std::function<float(double)>& sample) {
    platform::AudioFileSettings settings;
    settings.sampleRate = chainRate;
    settings.numberOfChannels = 2;
    settings.linearPCMBitDepth = 32;
    settings.linearPCMIsFloat = true;
    const std::string path = folder.file(name);
    auto file = platform::AudioFile::openForWriting(path, settings);
    if (!file) throw std::runtime_error("cannot create " + path);
    const auto frames = std::uint32_t(std::llround(seconds * chainRate));
    auto buffer = platform::PcmBuffer::make(*platform::AudioFormat::standard(chainRate, 2), frames);
    for (std::uint32_t i = 0; i < frames; ++i)
        buffer->channel(0)[i] = buffer->channel(1)[i] = sample(double(i) / chainRate);
    buffer->setFrameLength(frames);
    if (!file.value()->write(*buffer) || !file.value()->close())
        throw std::runtime_error("cannot write " + path);
    return path;
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
    std::shared_ptr<rozezeru::Mixer> mixer =
        std::make_shared<rozezeru::Mixer>(std::vector<std::shared_ptr<rozezeru::Node>>{timePitch});
    std::shared_ptr<rozezeru::TimePitchCompensation> compensation =
        std::make_shared<rozezeru::TimePitchCompensation>(timePitch);
    std::unique_ptr<platform::PcmBuffer> scratch;

    ChainRig() {
        player->setTimeCompensation(compensation);
        engine.setOutput(mixer);
        if (!engine.startTest(0.0)) throw std::runtime_error("offline engine");
        scratch =
            platform::PcmBuffer::make(engine.avEngine().manualRenderingFormat(), engine.maximumFrameCount());
    }
    ~ChainRig() {
        player->stop();
        platform::mainQueue().drain();
    }

    // Renders one cycle and appends channel 0 to `out`.
    void cycle(std::uint32_t frames, std::vector<float>& out) {
        auto status = engine.avEngine().renderOffline(frames, *scratch);
        if (!status || *status != platform::ManualRenderingStatus::success)
            throw std::runtime_error("offline render failed");
        out.insert(out.end(), scratch->channel(0), scratch->channel(0) + frames);
    }
};

// The first frame at or after `from` whose magnitude passes `threshold`, or -1.
std::int64_t chainOnset(const std::vector<float>& samples, std::int64_t from, float threshold = 0.25f) {
    for (auto i = std::size_t(from); i < samples.size(); ++i)
        if (std::abs(samples[i]) > threshold) return std::int64_t(i);
    return -1;
}

} // namespace

TEST(TimePitchPlayer, ThePlayerReportsTheTimeThatIsHeard) {
    // Bursts of tone that start at 0.8, 1.6 and 2.4 s of the file: at rate 0.8 they are heard at 1, 2
    // and 3 s of output.
    Folder folder;
    const auto path = writeChainFile(folder, "bursts.wav", 3.5, [](double t) {
        const double since = std::fmod(t, 0.8);
        return t >= 0.8 && since < 0.2 ? chainSine(1000.0, t) : 0.0f;
    });
    ChainRig rig;
    ASSERT_TRUE(rig.player->load(path));
    rig.timePitch->setRate(0.8f);
    rig.player->play();

    // Cycles of 441 frames: cycle 100 N starts at N seconds of output.
    std::vector<float> out;
    std::vector<double> heard, unheard;
    for (int i = 0; i <= 300; ++i) {
        rig.cycle(441, out);
        heard.push_back(rig.player->currentTime());
        rig.player->setTimeCompensation(nullptr);
        unheard.push_back(rig.player->currentTime());
        rig.player->setTimeCompensation(rig.compensation);
    }
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        const std::int64_t onset = chainOnset(out, std::int64_t((n - 0.3) * chainRate));
        EXPECT_NEAR(double(onset) / chainRate, double(n), 0.01);
        EXPECT_NEAR(heard[std::size_t(100 * n)], 0.8 * n, 0.01);
        // Without the compensation the time runs ahead by what the stretcher holds.
        EXPECT_GT(unheard[std::size_t(100 * n)] - heard[std::size_t(100 * n)], 0.05);
    }
}

TEST(TimePitchPlayer, ACompensationOutlivingItsNodeTakesNothingOff) {
    std::shared_ptr<rozezeru::TimePitchCompensation> compensation;
    {
        ChainRig rig;
        compensation = rig.compensation;
    }
    EXPECT_EQ(compensation->latencySeconds(), 0.0);
    EXPECT_EQ(compensation->heardPlayerTime(1.5), 1.5);
}
