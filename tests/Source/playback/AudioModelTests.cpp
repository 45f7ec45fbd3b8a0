#include "Source/playback/AudioModel.h"

#include "PlaybackTestSupport.h"
#include "RozezEru/Nodes/Mixer.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "Source/playback/PlayerRZ.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using vantle::AudioModel;

TEST(AudioModel, PublishesTheCurrentValueAtOnceAndEveryValueSetAfterwards) {
    AudioModel model;
    std::vector<double> first, second, pans;
    auto a = model.subscribeTreble([&](double v) { first.push_back(v); });
    model.setTreble(2.5);
    auto b = model.subscribeTreble([&](double v) { second.push_back(v); });
    auto p = model.subscribePan([&](double v) { pans.push_back(v); });
    model.setTreble(2.5); // unchanged values are published too
    model.setPan(-3);
    EXPECT_EQ(first, (std::vector<double>{0, 2.5, 2.5}));
    EXPECT_EQ(second, (std::vector<double>{2.5, 2.5}));
    EXPECT_EQ(pans, (std::vector<double>{0, -3}));
    EXPECT_EQ(model.treble(), 2.5);
    EXPECT_EQ(model.pan(), -3);

    a.cancel();
    { auto gone = std::move(b); }
    model.setTreble(4);
    EXPECT_EQ(first.size(), 3u);
    EXPECT_EQ(second.size(), 2u);

    // A receiver may end its own subscription; one that outlives its model is harmless.
    AudioModel::Subscription self;
    int calls = 0;
    {
        AudioModel shortLived;
        self = shortLived.subscribePan([&](double) {
            ++calls;
            if (calls == 2) self.cancel();
        });
        shortLived.setPan(1);
        shortLived.setPan(2);
        EXPECT_EQ(calls, 2);
    }
    self.cancel();
}

TEST(AudioModel, SliderValuesMapOntoTrebleGainAndPan) {
    struct Row {
        double slider;
        float treble, gain;
    };
    for (const Row& row : {Row{-10, -0.3333f, 0.1499f}, Row{-5, -0.1667f, 0.3520f}, Row{0, 0, 0.707f},
                           Row{2.5, 0.08333f, 0.9603f}, Row{5, 0.1667f, 1.2749f}, Row{10, 0.3333f, 2.1248f},
                           Row{60, 1.0f, 10.02f}, Row{-60, -1.0f, 0.0f}}) {
        SCOPED_TRACE(row.slider);
        const float treble = vantle::trebleForSliderValue(row.slider);
        EXPECT_NEAR(treble, row.treble, 1e-4);
        // The slider's own range to four places; the clamped ends to three.
        EXPECT_NEAR(vantle::trebleGain(treble), row.gain, std::abs(row.slider) > 10 ? 1e-3 : 1e-4);
    }
    EXPECT_EQ(vantle::trebleForSliderValue(std::nan("")), 0.0f);

    EXPECT_EQ(vantle::panForSliderValue(-10), -1.0f);
    EXPECT_FLOAT_EQ(vantle::panForSliderValue(0.5), 0.05f);
    EXPECT_EQ(vantle::panForSliderValue(25), 1.0f);
    EXPECT_EQ(vantle::panForSliderValue(std::nan("")), 0.0f);
}

TEST(AudioModel, TheReceiversSetThePlayersEqualiserAndMixer) {
    vantle::PlayerRZ player(std::make_unique<playbacktest::BrokenDevice>());
    AudioModel model;
    auto treble = model.subscribeTreble([&](double v) { vantle::trebleChanged(player, v); });
    auto pan = model.subscribePan([&](double v) { vantle::panChanged(player, v); });
    // Subscribing sets the neutral values at once.
    EXPECT_EQ(player.treble(), 0.0f);
    EXPECT_NEAR(player.highShelfFilter()->gain.wrappedValue(), 0.707f, 1e-6);
    EXPECT_EQ(player.mixer()->pan(), 0.0f);

    // The mapping of slider values is pinned above, the filter's and the mixer's limits by their own
    // tests; here that each value reaches the player.
    model.setTreble(2.5);
    EXPECT_NEAR(player.treble(), 0.08333f, 1e-5);
    EXPECT_NEAR(player.highShelfFilter()->gain.wrappedValue(), 0.9603f, 1e-3);
    model.setPan(0.5);
    EXPECT_FLOAT_EQ(player.pan(), 0.05f);
    EXPECT_FLOAT_EQ(player.mixer()->pan(), 0.05f);
}
