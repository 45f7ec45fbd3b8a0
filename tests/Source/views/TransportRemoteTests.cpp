// The transport panel as the game-controller remote's receiver, and its set-up.

#include "Source/views/RemotePictures.h"
#include "Source/views/SymbolImages.h"
#include "Source/views/SystemColors.h"
#include "tests/Source/views/TransportTestSupport.h"

#include <QAbstractButton>
#include <QImage>
#include <QLabel>

#include <utility>

namespace vantle::testing {
namespace {

const TransportLog transportDanceModeCalls = {"saveAppState", "mode dance", "updateForMode", "resetIdle"};

TransportLog transportAfterDanceMode(const TransportLog& rest) {
    TransportLog all = transportDanceModeCalls;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

QImage transportShownPicture(const QLabel& label) {
    return label.pixmap().toImage();
}

QImage transportNamedPicture(std::string_view name, const QLabel& label) {
    return remotePicture(name).pixmap(label.pixmap().size()).toImage();
}

TEST_F(TransportTest, EveryRemoteButtonEntersDanceModeThenActs) {
    auto entry = makeEntry("song.wav", 200.0);
    const std::vector<std::pair<RemoteControlButton, TransportLog>> cases = {
        {RemoteControlButton::dpadUp, {"volume 0.55", "text 5½"}},
        {RemoteControlButton::dpadDown, {"volume 0.45", "text 4½"}},
        {RemoteControlButton::dpadLeft, {"text 46", "rate " + transportNumber(46 / 45.0)}},
        {RemoteControlButton::dpadRight, {"text 44", "rate " + transportNumber(44 / 45.0)}},
        {RemoteControlButton::A,
         {"image play.fill", "cancel break", "skipToEndIfWithin 10", "play", "doNotDisturb on"}},
        {RemoteControlButton::B, {"seek 47"}},
        {RemoteControlButton::X, {"seek 10", "text  0:10"}},
        {RemoteControlButton::Y, {"seek 200", "text  3:19"}},
        {RemoteControlButton::L, {"image z.square", "timeSlider song.wav", "refreshDisplay", "saveAppState"}},
        {RemoteControlButton::R, {"seek 49", "text  0:49"}},
        // A song without lyric lines stays where it is.
        {RemoteControlButton::L2, {"text No lyric lines"}},
        {RemoteControlButton::R2, {"text No lyric lines"}},
        {RemoteControlButton::plus, {}},
        {RemoteControlButton::minus, {}},
        {RemoteControlButton::home, {}},
        {RemoteControlButton::star, {}},
    };
    for (const auto& [button, expected] : cases) {
        entry->zeros = {10.0};
        host.storedVolume = 0.5f;
        panel.resetSpeedControls();
        player().playerMode = PlayerMode::prepare;
        loadAt(entry, 50.0);
        panel.pressed(button);
        EXPECT_EQ(taken(), transportAfterDanceMode(expected)) << "button " << static_cast<int>(button);
        EXPECT_EQ(player().playerMode, PlayerMode::dance);
    }
}

TEST_F(TransportTest, RemoteButtonsGoToTheKeyVideoWindowAfterDanceMode) {
    TransportFakeVideoWindow video(log);
    host.videoWindow = &video;
    auto entry = makeEntry("song.wav", 200.0);
    loadAt(entry, 50.0);
    panel.pressed(RemoteControlButton::A);
    panel.pressed(RemoteControlButton::dpadUp);
    TransportLog expected = transportAfterDanceMode({"video pressed 4"});
    TransportLog second = transportAfterDanceMode({"video pressed 0"});
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(taken(), expected);
    EXPECT_EQ(host.storedVolume, 0.5f);

    panel.released(RemoteControlButton::A);
    EXPECT_TRUE(taken().empty());
}

TEST_F(TransportTest, ConnectionsShowTheRemoteState) {
    const QLabel& image = *panel.remoteImage();
    EXPECT_EQ(transportShownPicture(image), transportNamedPicture("remoteImage", image));

    panel.connected(1);
    EXPECT_EQ(taken(), TransportLog{"image remoteNotifier"});
    EXPECT_EQ(transportShownPicture(image), transportNamedPicture("remote2-yellow", image));
    EXPECT_NE(transportShownPicture(image), transportNamedPicture("remoteImage", image));

    panel.connected(0);
    EXPECT_EQ(taken(), TransportLog{"image remoteNotifier"});
    EXPECT_EQ(transportShownPicture(image), transportNamedPicture("remoteImage", image));
}

TEST(TransportRemotePictures, KnowsOnlyTheirNames) {
    for (const char* name : {"remoteImage", "remote2-yellow", "remoteNotifier"}) {
        const QIcon picture = remotePicture(name);
        ASSERT_FALSE(picture.isNull()) << name;
        EXPECT_EQ(picture.name().toStdString(), name);
        const QImage drawn = picture.pixmap(QSize(80, 50)).toImage();
        EXPECT_EQ(drawn.pixelColor(0, 0).alpha(), 0) << name << ": transparent around the pad";
        EXPECT_GT(drawn.pixelColor(40, 5).alpha(), 0) << name << ": the outline is drawn";
    }
    EXPECT_TRUE(remotePicture("remote").isNull());
    EXPECT_NE(remotePicture("remoteImage").pixmap(QSize(80, 50)).toImage(),
              remotePicture("remote2-yellow").pixmap(QSize(80, 50)).toImage());
}

TEST_F(TransportTest, SetUpMakesTheRemoteAndKeepsItForThePanelsLife) {
    bool released = false;
    RemoteControlDelegate* delegateGiven = nullptr;
    {
        TransportViewController owner;
        owner.setParentMainViewController(&host);
        owner.setRemoteMaker([&](RemoteControlDelegate& delegate) {
            delegateGiven = &delegate;
            // A controller already connected is reported while the remote is being made.
            delegate.connected(1);
            return std::shared_ptr<void>(new int(0), [&](void* value) {
                delete static_cast<int*>(value);
                released = true;
            });
        });
        owner.setUpControls();
        EXPECT_EQ(delegateGiven, &owner);
        EXPECT_EQ(taken(), TransportLog{"image remoteNotifier"});
        EXPECT_EQ(transportShownPicture(*owner.remoteImage()),
                  transportNamedPicture("remote2-yellow", *owner.remoteImage()));
        EXPECT_FALSE(released);
    }
    EXPECT_TRUE(released);
}

TEST_F(TransportTest, SetUpWithoutControllersLeavesThePicture) {
    panel.setRemoteMaker([](RemoteControlDelegate&) { return std::make_shared<int>(0); });
    panel.setUpControls();
    EXPECT_TRUE(taken().empty());
    EXPECT_EQ(transportShownPicture(*panel.remoteImage()),
              transportNamedPicture("remoteImage", *panel.remoteImage()));

    // The left-shoulder button's symbol is drawn large and bold.
    QAbstractButton& shoulder = *panel.leftShoulderButton();
    EXPECT_EQ(shoulder.icon().name(), "z.square");
    EXPECT_EQ(shoulder.iconSize(), QSize(23, 23));
    const QImage drawn = shoulder.icon().pixmap(QSize(23, 23)).toImage();
    EXPECT_EQ(
        drawn,
        SymbolImages::icon("z.square", textColor(), SymbolWeight::bold).pixmap(QSize(23, 23)).toImage());
    EXPECT_NE(drawn, SymbolImages::icon("z.square", textColor()).pixmap(QSize(23, 23)).toImage());
}

} // namespace
} // namespace vantle::testing
