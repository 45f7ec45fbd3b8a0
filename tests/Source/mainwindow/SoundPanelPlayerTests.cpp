// The sound panel's sliders in the main window, acting on the real player's chain.

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "RozezEru/Nodes/Mixer.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "SlimSlider/SlimSlider.h"
#include "Source/mainwindow/AudioView.h"
#include "Source/mainwindow/SoundPanel.h"
#include "Source/playback/PlayerRZ.h"
#include "platform/audio/NullAudioDevice.h"

#include <QTest>

namespace vantle::testing {
namespace {

TEST_F(RealPartsTest, TheSlidersSetTheShelfGainAndThePanOfTheRealPlayer) {
    configureEnvironment = [parts = configureEnvironment](MainViewEnvironment& environment) {
        parts(environment);
        environment.parts.soundPanel = [](MainViewController& controller) {
            return std::make_unique<SoundPanel>(controller);
        };
        environment.makePlayer = [] {
            platform::NullAudioDevice::Configuration fast;
            fast.pacing = platform::NullAudioDevice::Pacing::asFastAsPossible;
            return std::make_unique<PlayerRZ>(std::make_unique<platform::NullAudioDevice>(fast));
        };
    };
    start();
    auto* chain = dynamic_cast<PlayerRZ*>(&view().player());
    auto* sound = window->findChild<AudioView*>();
    ASSERT_TRUE(chain && sound);
    EXPECT_NEAR(chain->highShelfFilter()->gain.wrappedValue(), 0.707f, 1e-6);

    // 200 points from −10 to 10: x 125 is 2.5, x 105 is 0.5.
    const struct {
        slimslider::SlimSlider& slider;
        int x;
    } clicks[] = {{sound->trebleSlider(), 125}, {sound->balanceSlider(), 105}};
    for (const auto& click : clicks) {
        const QPoint at(click.x, click.slider.height() / 2);
        QTest::mousePress(&click.slider, Qt::LeftButton, {}, at);
        QTest::mouseRelease(&click.slider, Qt::LeftButton, {}, at);
    }
    EXPECT_EQ(sound->trebleLabel(), "Treble 2.5");
    EXPECT_NEAR(chain->treble(), 0.08333f, 1e-5);
    EXPECT_NEAR(chain->highShelfFilter()->gain.wrappedValue(), 0.9603f, 1e-4);
    EXPECT_NEAR(chain->mixer()->pan(), 0.05f, 1e-6);
}

} // namespace
} // namespace vantle::testing
