#include "tests/Source/playback/PlayerRZFixture.h"

#include "platform/audio/TimePitchUnit.h"
#include "tests/support/Signals.h"
#include "tests/support/Spectrum.h"

#include <numbers>

namespace {

constexpr double keyRate = 44100.0;

// A 440 Hz tone with a slow, smooth swell (no edges for the stretcher to move about): the swell's phase
// times the audio to a fraction of a millisecond anywhere inside the tone.
constexpr double keySwellHz = 2.0;
bool writeSwellingTone(const std::string& path, double seconds) {
    std::vector<float> tone = testsupport::sine(std::size_t(seconds * keyRate), 440.0, keyRate, 0.5);
    for (std::size_t n = 0; n < tone.size(); ++n)
        tone[n] *= float(0.75 + 0.25 * std::sin(2.0 * std::numbers::pi * keySwellHz * double(n) / keyRate));
    return testsupport::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {tone, tone}, int(keyRate));
}

// Renders the player offline, `seconds` of output, left channel; `each` runs after every cycle.
std::vector<float> renderPlayer(PlayerRZ& player, double seconds, const std::function<void()>& each = {}) {
    auto buffer = platform::PcmBuffer::make(player.engine().avEngine().manualRenderingFormat(), 512);
    std::vector<float> out;
    for (int cycle = 0; cycle < int(std::ceil(seconds * keyRate / 512.0)); ++cycle) {
        auto status = player.engine().avEngine().renderOffline(512, *buffer);
        if (!status || *status != platform::ManualRenderingStatus::success) break;
        const std::vector<float> left = channelSamples(*buffer, 0);
        out.insert(out.end(), left.begin(), left.end());
        mainQueue().drain();
        if (each) each();
    }
    return out;
}

} // namespace

// The key moves the pitch by equal-tempered semitones and leaves the timing alone, at any speed, in
// the dance classes' stage and in karaoke's lighter one.
TEST_F(PlayerRZTest, TheKeyMovesThePitchAndKeepsTheLength) {
    const double seconds = 4.0;
    ASSERT_TRUE(writeSwellingTone(folder.file("a440.wav"), seconds));
    struct Case {
        PlayerMode mode;
        float rate;
        int key;
        double hz;
    };
    for (const Case& c :
         {Case{PlayerMode::dance, 0.75f, 3, 523.25}, Case{PlayerMode::dance, 1.0f, 3, 523.25},
          Case{PlayerMode::dance, 1.25f, -5, 329.63}, Case{PlayerMode::karaoke, 0.75f, 3, 523.25},
          Case{PlayerMode::karaoke, 1.0f, 3, 523.25}, Case{PlayerMode::karaoke, 1.0f, -5, 329.63},
          Case{PlayerMode::karaoke, 1.25f, -5, 329.63}}) {
        SCOPED_TRACE(::testing::Message()
                     << "mode " << int(c.mode) << ", rate " << c.rate << ", key " << c.key);
        offlineEntry(folder.file("a440.wav"));
        player->setMode(c.mode);
        player->setRate(c.rate);
        player->setKeyShift(c.key);
        player->play();
        const std::vector<float> out = renderPlayer(*player, seconds / c.rate + 1.0);
        const std::size_t first = testsupport::onset(out, 0.05f);
        const auto heardFrames = std::size_t(seconds / c.rate * keyRate);
        ASSERT_GT(out.size(), first + heardFrames);

        // Zero crossings over the tone less its first and last half second.
        const std::vector<float> steady(out.begin() + long(first + 22050),
                                        out.begin() + long(first + heardFrames - 22050));
        const double hz = testsupport::zeroCrossingFrequency(steady, 0, keyRate);
        EXPECT_NEAR(1200.0 * std::log2(hz / c.hz), 0.0, 2.0) << hz << " Hz";

        // The swell in the first and in the last second of the tone: played at the rate, the audio
        // between them lasts as long as it should (the stretcher smears the tone's very edges, so
        // these are timed from inside it).
        const std::vector<double> envelope = testsupport::powerEnvelope(out, 882);
        const double w = 2.0 * std::numbers::pi * keySwellHz * c.rate / keyRate;
        const std::size_t early = first + 22050, late = first + heardFrames - 22050;
        const double drift =
            std::remainder(testsupport::componentPhase(envelope, late - 44100, late, w) -
                               testsupport::componentPhase(envelope, early, early + 44100, w),
                           2.0 * std::numbers::pi);
        EXPECT_NEAR(drift / w / keyRate, 0.0, 0.001);
    }
}

// A singer's key in karaoke takes the finer engine's short window, half the work of the full one the
// dance classes' tempo changes keep.
TEST_F(PlayerRZTest, KaraokeShiftsTheKeyWithTheLighterStage) {
    const struct {
        PlayerMode mode;
        bool full;
    } modes[] = {{PlayerMode::karaoke, false},
                 {PlayerMode::dance, true},
                 {PlayerMode::karaokePrepare, false},
                 {PlayerMode::prepare, true}};
    makePlayer();
    for (const auto& m : modes) {
        player->setMode(m.mode);
        const platform::TimePitchUnit& unit = player->timePitch()->timePitchAU();
        EXPECT_TRUE(unit.usesFinerEngine()) << int(m.mode);
        EXPECT_EQ(unit.overlap() >= platform::TimePitchUnit::finerEngineOverlap, m.full) << int(m.mode);
    }
}

// A key change while the song plays is heard at once, with no gap or click, and the heard time goes on
// with the audio: it neither stands still, nor jumps, nor leaves the sound behind.
TEST_F(PlayerRZTest, AKeyChangeWhilePlayingIsSmooth) {
    ASSERT_TRUE(writeSwellingTone(folder.file("swell.wav"), 5.0));
    struct Case {
        float rate;
        int key;
        double hz;
        double clockTolerance; // seconds: a stretcher already at work glides to the new key
    };
    for (const Case& c : {Case{1.0f, 4, 554.37, 0.001}, Case{1.0f, -5, 329.63, 0.001},
                          Case{0.9f, 4, 554.37, 0.005}, Case{1.2f, -5, 329.63, 0.005}}) {
        SCOPED_TRACE(::testing::Message() << "rate " << c.rate << ", key " << c.key);
        offlineEntry(folder.file("swell.wav"));
        player->setRate(c.rate);
        player->play();
        std::vector<double> heard;
        constexpr int changeCycle = 130;
        const std::vector<float> out = renderPlayer(*player, 3.5, [&] {
            heard.push_back(player->currentTime());
            if (heard.size() == changeCycle) player->setKeyShift(c.key);
        });
        const std::size_t change = changeCycle * 512;
        ASSERT_GT(out.size(), change + 3 * 44100 / 2);

        // Heard within a quarter second (the stretcher readies itself meanwhile): the new pitch.
        const std::vector<float> after(out.begin() + long(change + 11025), out.end());
        EXPECT_NEAR(1200.0 * std::log2(testsupport::zeroCrossingFrequency(after, 0, keyRate) / c.hz), 0.0,
                    2.0);
        // No gap: every 5 ms around the change keeps at least half the swell's lowest level.
        for (std::size_t at = change - 4410; at < change + 22050; at += 220)
            EXPECT_GT(testsupport::rms(out, at, at + 220), 0.5 * 0.5 * 0.5 / std::sqrt(2.0)) << "at " << at;
        // No click: no step between samples beyond what the higher of the two tones makes.
        float largestStep = 0.0f;
        for (std::size_t n = change - 4410; n < change + 22050; ++n)
            largestStep = std::max(largestStep, std::fabs(out[n] - out[n - 1]));
        EXPECT_LT(largestStep, 0.5 * 2.0 * std::numbers::pi * std::max(440.0, c.hz) / keyRate * 1.2);
        // The heard time moves on every cycle, never back and never by much more than a cycle's worth.
        const double cycleWorth = c.rate * 512.0 / keyRate;
        for (std::size_t i = 60; i < heard.size(); ++i) {
            EXPECT_GT(heard[i] - heard[i - 1], 0.5 * cycleWorth) << "cycle " << i;
            EXPECT_LT(heard[i] - heard[i - 1], 1.5 * cycleWorth) << "cycle " << i;
        }
        // Whatever the change did to the timing of the sound (a stretcher's latency in song time grows
        // with the pitch), the heard time did too: the swell's lag across the change is the clock's.
        const std::vector<double> envelope = testsupport::powerEnvelope(out, 882);
        const double w = 2.0 * std::numbers::pi * keySwellHz * c.rate / keyRate;
        const double audioLag =
            -std::remainder(testsupport::componentPhase(envelope, 200 * 512, 290 * 512, w) -
                                testsupport::componentPhase(envelope, 30 * 512, 120 * 512, w),
                            2.0 * std::numbers::pi) /
            w / keyRate;
        const double clockLag = 100 * cycleWorth - (heard[199] - heard[99]);
        EXPECT_NEAR(clockLag, audioLag, c.clockTolerance);
    }
}

// The key goes with the entry: each load sets the entry's own (absent: the song's own key), and the
// delegate hears of each change.
TEST_F(PlayerRZTest, EachLoadSetsTheEntrysKey) {
    makePlayer();
    auto raised = toneEntry("raised.wav", 1.0);
    auto plain = toneEntry("plain.wav", 1.0);
    raised->keyShift = 2;
    struct Step {
        std::shared_ptr<vantle::PlaylistEntry> entry;
        int key;
        int told;
    };
    for (const Step& step : {Step{raised, 2, 1}, Step{plain, 0, 2}, Step{plain, 0, 2}, Step{raised, 2, 3}}) {
        player->setEntry(step.entry);
        EXPECT_EQ(player->keyShift(), step.key);
        EXPECT_EQ(player->timePitch()->pitch(), 100.0f * float(step.key));
        EXPECT_EQ(delegate.keyChanges, step.told);
    }
    // Held to six semitones either way; the rate is left alone.
    player->setRate(1.2f);
    for (auto [asked, kept] : {std::pair{9, 6}, {-7, -6}, {-1, -1}}) {
        player->setKeyShift(asked);
        EXPECT_EQ(std::pair(player->keyShift(), player->timePitch()->pitch()),
                  std::pair(kept, 100.0f * float(kept)));
    }
    EXPECT_EQ(player->timePitch()->rate(), 1.2f);
}
