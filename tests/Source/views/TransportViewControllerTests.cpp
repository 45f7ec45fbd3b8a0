// The transport panel's actions: positions, notices and the order of the calls they make.

#include "Source/session/TextNote.h"
#include "Source/session/Transcription.h"
#include "Source/views/SystemColors.h"
#include "tests/Source/views/TransportTestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>

#include <gmock/gmock.h>

namespace vantle::testing {
namespace {

using ::testing::DoubleEq;
using ::testing::ElementsAre;

TEST_F(TransportTest, PlayRunsItsStepsInOrder) {
    auto entry = makeEntry("song.wav", 200.0);
    loadAt(entry, 195.0);
    player().isPlayingFlag = true;
    panel.playPressed();
    EXPECT_EQ(taken(), (TransportLog{"image play.fill", "cancel break", "skipToEndIfWithin 10", "play",
                                     "doNotDisturb on"}));
    EXPECT_FALSE(host.fakeBreakTimer.armed);

    // During a seek only the intent is set: the player plays when the seek ends.
    player().isSuspended = true;
    player().isPlayingFlag = false;
    panel.playPressed();
    EXPECT_EQ(taken(), (TransportLog{"image play.fill", "cancel break", "skipToEndIfWithin 10",
                                     "setPlaying true", "doNotDisturb on"}));

    // Without a Do Not Disturb switch the rest still runs.
    player().isSuspended = false;
    panel.setDoNotDisturb(nullptr);
    panel.playPressed();
    EXPECT_EQ(taken(), (TransportLog{"image play.fill", "cancel break", "skipToEndIfWithin 10", "play"}));
}

// Notifications are silenced only by music that plays; an entry whose file did not open when it was
// made current is looked for again, since the file may be back.
TEST_F(TransportTest, PlayLooksForTheFileAgainAndSilencesNotificationsOnlyWhenMusicStarts) {
    const std::string press[] = {"image play.fill", "cancel break"};
    const std::string skip = "skipToEndIfWithin 10";
    const struct {
        bool loaded, refused;
        TransportLog steps;
    } cases[] = {
        {true, true, {press[0], press[1], skip, "play"}},
        {false, true, {press[0], press[1], "loadEntry song.wav", skip, "play"}},
        {false, false, {press[0], press[1], "loadEntry song.wav", skip, "play", "doNotDisturb on"}},
    };
    for (const auto& c : cases) {
        auto entry = makeEntry("song.wav", 200.0);
        loadAt(entry, 20.0);
        if (!c.loaded) player().setEntry(nullptr);
        player().refusesPlay = c.refused;
        panel.playPressed();
        EXPECT_EQ(taken(), c.steps);
    }
}

TEST_F(TransportTest, PauseStopsAndStepsBackUnlessAZeroMarkIsNear) {
    auto entry = makeEntry("song.wav", 200.0);
    entry->zeros = {10.0, 50.0};

    // Playing, 1.5 s after a mark: stopped, break armed, one second back.
    loadAt(entry, 51.5);
    player().isPlayingFlag = true;
    panel.pausePressed();
    EXPECT_EQ(taken(), (TransportLog{"arm default", "pause", "setPlaying false", "seek 50.5", "text  0:50"}));
    EXPECT_EQ(host.notices.at(0).seconds, 1.5);
    EXPECT_EQ(host.notices.at(0).color, systemGreenColor());

    // 0.9 s after a mark the position stays.
    loadAt(entry, 10.9);
    panel.pausePressed();
    EXPECT_TRUE(seeks().empty());
    EXPECT_EQ(taken(), (TransportLog{"text  0:10"}));

    // Suspended by a seek: the player is not paused, only marked stopped.
    loadAt(entry, 10.5);
    player().isPlayingFlag = true;
    player().isSuspended = true;
    panel.pausePressed();
    EXPECT_EQ(taken(), (TransportLog{"arm default", "setPlaying false", "text  0:10"}));
}

TEST_F(TransportTest, PauseWithoutMarksWalksBackToTheStart) {
    auto entry = makeEntry("song.wav", 200.0);
    loadAt(entry, 0.8);
    panel.pausePressed();
    EXPECT_TRUE(seeks().empty());

    loadAt(entry, 30.0);
    std::vector<double> positions;
    for (int press = 0; press < 32; ++press) {
        panel.pausePressed();
        positions.push_back(player().time);
    }
    EXPECT_DOUBLE_EQ(positions[0], 29.0);
    EXPECT_DOUBLE_EQ(positions[28], 1.0);
    EXPECT_EQ(seeks().size(), 29u); // and no further than 1 s
    EXPECT_EQ(host.notices.back().text, " 0:01");

    // Without an entry nothing is rewound, but the position is still shown.
    host.loadEntry(nullptr);
    log.clear();
    panel.pausePressed();
    EXPECT_EQ(taken(), (TransportLog{"text  0:00"}));
}

TEST_F(TransportTest, StepsAndZeroJumpsBackReturnToTheEntryThatJustEnded) {
    auto finished = makeEntry("finished.wav", 120.0);
    auto next = makeEntry("next.wav", 200.0);
    host.previous = finished;
    loadAt(next, 0.0);

    panel.back1Pressed();
    EXPECT_EQ(taken(), (TransportLog{"loadEntry finished.wav", "seek 120", "clearPrevEntry", "seek 118.9"}));

    // Once returned, the steps work on that entry alone.
    panel.fwd1Pressed();
    EXPECT_EQ(taken(), (TransportLog{"seek 119.9"}));

    // Forward never goes back to a finished entry.
    host.previous = finished;
    loadAt(next, 5.0);
    panel.fwd1Pressed();
    EXPECT_EQ(taken(), (TransportLog{"seek 6"}));
    EXPECT_EQ(host.assigned, next);

    // Zero jumps return to it first as well.
    finished->zeros = {30.0, 100.0};
    host.previous = finished;
    loadAt(next, 0.0);
    panel.prevZeroPressed();
    EXPECT_EQ(taken(), (TransportLog{"loadEntry finished.wav", "seek 120", "clearPrevEntry", "seek 100",
                                     "text  1:40"}));
}

TEST_F(TransportTest, ZeroJumpsLookPastTheMarkJustReached) {
    auto entry = makeEntry("song.wav", 120.0);
    entry->zeros = {10.0, 20.0};

    struct Jump {
        bool next;
        double from, to;
    };
    for (const Jump& jump : {
             Jump{false, 20.5, 20.0}, // 0.5 s after a mark: to that mark
             Jump{false, 20.2, 10.0}, // 0.2 s after it: to the one before
             Jump{false, 10.2, 0.0},  // and with none before, to the start
             Jump{false, 100.0, 20.0}, Jump{true, 5.0, 10.0},
             Jump{true, 9.8, 20.0},   // a mark 0.2 s ahead is skipped
             Jump{true, 9.6, 10.0},   // one 0.4 s ahead is not
             Jump{true, 19.9, 120.0}, // after the last mark: the end
         }) {
        loadAt(entry, jump.from);
        jump.next ? panel.nextZeroPressed() : panel.prevZeroPressed();
        EXPECT_EQ(seeks(), std::vector<double>{jump.to})
            << (jump.next ? "next" : "previous") << " from " << jump.from;
    }

    // Each jump shows the position it reached, in green.
    loadAt(entry, 20.5);
    panel.prevZeroPressed();
    EXPECT_EQ(taken(), (TransportLog{"seek 20", "text  0:20"}));
    EXPECT_EQ(host.notices.back().color, systemGreenColor());
}

TEST_F(TransportTest, ActionsWithoutAnEntryShowTheirSymbolAndMoveNothing) {
    const std::vector<std::pair<void (TransportViewController::*)(), std::string>> cases = {
        {&TransportViewController::prevZeroPressed, "image forward.end.fill"},
        {&TransportViewController::nextZeroPressed, "image forward.end.fill"},
        {&TransportViewController::prevSegmentPressed, "image backward.end.fill"},
        {&TransportViewController::nextSegmentPressed, "image forward.end.fill"},
        {&TransportViewController::markZeroPressed, "image z.square"},
    };
    for (const auto& [action, notice] : cases) {
        log.clear();
        (panel.*action)();
        EXPECT_EQ(taken(), TransportLog{notice});
    }
}

TEST_F(TransportTest, SegmentJumpsFollowTheTranscription) {
    auto entry = makeEntry("song.wav", 120.0);
    auto& cues = entry->transcription().segments;
    for (double time : {0.0, 4.0, 9.5})
        cues.push_back(std::make_shared<TextNote>(time, "line"));
    auto finished = makeEntry("finished.wav", 60.0);

    // Segments never return to a finished entry, and 0.3 s ahead already lies in the 4 s line. Past
    // the last line Next Line stays where it is and says so, rather than going back to the start.
    for (const auto& [next, from, to] :
         std::vector<std::tuple<bool, double, std::string>>{{false, 4.2, "seek 0"},
                                                            {false, 10.0, "seek 4"},
                                                            {true, 1.0, "seek 4"},
                                                            {true, 3.8, "seek 9.5"},
                                                            {true, 9.6, "text No next line"}}) {
        host.previous = finished;
        loadAt(entry, from);
        next ? panel.nextSegmentPressed() : panel.prevSegmentPressed();
        EXPECT_EQ(taken(), TransportLog{to}) << (next ? "next" : "previous") << " from " << from;
    }

    // Without a transcription neither moves: the song goes on where it is.
    auto plain = makeEntry("plain.wav", 120.0);
    loadAt(plain, 50.0);
    panel.prevSegmentPressed();
    panel.nextSegmentPressed();
    EXPECT_EQ(taken(), (TransportLog{"text No lyric lines", "text No lyric lines"}));

    // The karaoke panel's lyrics, when it has read them, are the lines gone through instead.
    Lyrics lyrics;
    for (double time : {2.0, 30.0})
        lyrics.lines.push_back(LyricLine{time, "sung", {}, std::nullopt});
    host.lyrics = &lyrics;
    loadAt(entry, 5.0);
    panel.nextSegmentPressed();
    panel.prevSegmentPressed();
    EXPECT_EQ(taken(), (TransportLog{"seek 30", "seek 2"}));
}

TEST_F(TransportTest, MarkZeroSetsTheMarkThenRedrawsAndSaves) {
    auto entry = makeEntry("song.wav", 120.0);
    entry->zeros = {10.0, 30.0, 42.0};
    loadAt(entry, 32.5);
    panel.markZeroPressed();
    EXPECT_EQ(taken(),
              (TransportLog{"image z.square", "timeSlider song.wav", "refreshDisplay", "saveAppState"}));
    EXPECT_EQ(entry->zeros, (std::vector<double>{10.0, 32.5, 42.0}));

    // Right after an automatic advance the mark goes on the entry that ended, at its end.
    auto next = makeEntry("next.wav", 200.0);
    host.previous = entry;
    loadAt(next, 3.0);
    panel.markZeroPressed();
    EXPECT_EQ(taken(), (TransportLog{"image z.square", "loadEntry song.wav", "seek 120", "clearPrevEntry",
                                     "timeSlider song.wav", "refreshDisplay", "saveAppState"}));
    EXPECT_THAT(entry->zeros, ElementsAre(10.0, 32.5, 42.0, DoubleEq(119.9)));
    EXPECT_TRUE(next->zeros.empty());
}

TEST(TransportVolumeNotice, ShowsHalfStepsOfTen) {
    // Single precision holds 0.8 and 0.7 a hair low; they still show whole steps.
    const std::pair<float, const char*> notices[] = {{0.55f, "5½"},
                                                     {0.05f, "½"},
                                                     {1.0f, "10"},
                                                     {0.0f, "0"},
                                                     {0.8f, "8"},
                                                     {0.7f, "7"},
                                                     {0.1f + 0.05f + 0.05f + 0.05f + 0.05f + 0.05f, "3½"}};
    for (const auto& [volume, text] : notices)
        EXPECT_EQ(TransportViewController::volumeNoticeText(volume), text) << volume;
}

TEST_F(TransportTest, VolumeStepsStayOnTheScaleAndAreShown) {
    host.storedVolume = 0.0f;
    for (int press = 0; press < 16; ++press)
        panel.volumeUpPressed();
    EXPECT_EQ(host.storedVolume, 16 / 20.0f);
    EXPECT_EQ(host.notices.back().text, "8");
    EXPECT_FALSE(host.notices.back().color);
    EXPECT_EQ(panel.volumeSlider()->value(), 16);

    host.storedVolume = 1.0f;
    panel.volumeUpPressed();
    EXPECT_EQ(host.storedVolume, 1.0f);
    EXPECT_EQ(host.notices.back().text, "10");

    host.storedVolume = 0.05f;
    panel.volumeDownPressed();
    panel.volumeDownPressed();
    EXPECT_EQ(host.storedVolume, 0.0f);

    // A volume off the scale (set elsewhere) steps onto it.
    host.storedVolume = 0.37f;
    panel.volumeUpPressed();
    EXPECT_EQ(host.storedVolume, 0.4f);
    EXPECT_EQ(host.notices.back().text, "4");
}

TEST_F(TransportTest, VolumeSliderSetsTheVolumeWithoutANotice) {
    host.storedVolume = 0.3f;
    panel.setUpControls();
    EXPECT_EQ(panel.volumeSlider()->value(), 6);
    EXPECT_TRUE(taken().empty()) << "moving the slider to the volume sets nothing";

    panel.volumeSlider()->setValue(11);
    EXPECT_EQ(host.storedVolume, 0.55f);
    EXPECT_EQ(taken(), TransportLog{"volume 0.55"});
    EXPECT_TRUE(host.notices.empty());

    // The main view moving the slider does not set the volume again.
    panel.setVolumeSliderValue(0.9f);
    EXPECT_EQ(panel.volumeSlider()->value(), 18);
    EXPECT_TRUE(taken().empty());
}

TEST_F(TransportTest, RateStepsAndDoubleSpeed) {
    QSlider& slider = *panel.rateSlider();
    EXPECT_EQ(slider.value(), TransportViewController::normalRateStep);

    panel.faster(Qt::NoModifier);
    EXPECT_EQ(slider.value(), 46);
    EXPECT_EQ(taken(), (TransportLog{"text 46", "rate " + transportNumber(46 / 45.0f)}));
    EXPECT_EQ(panel.rateText()->text(), "46");

    panel.slower(Qt::NoModifier);
    panel.slower(Qt::NoModifier);
    EXPECT_EQ(slider.value(), 44);
    EXPECT_EQ(player().rate, static_cast<float>(44 / 45.0));

    // At the ends the slider stays.
    slider.setValue(slider.minimum());
    panel.slower(Qt::NoModifier);
    EXPECT_EQ(slider.value(), slider.minimum());
    EXPECT_EQ(host.notices.back().text, std::to_string(slider.minimum()));

    // Double speed wins over the slider.
    log.clear();
    panel.doubleSpeed()->setCheckState(Qt::Checked);
    panel.rateSliderChanged();
    EXPECT_EQ(panel.rateText()->text(), "2X");
    EXPECT_EQ(taken(), TransportLog{"rate 2"});

    // Faster while it is on gives normal speed, not a faster step.
    slider.setValue(50);
    log.clear();
    panel.faster(Qt::NoModifier);
    EXPECT_EQ(panel.doubleSpeed()->checkState(), Qt::Unchecked);
    EXPECT_EQ(slider.value(), 45);
    EXPECT_EQ(taken(), (TransportLog{"text 45", "rate 1"}));

    // So do Control and Option.
    for (Qt::KeyboardModifier modifier : {Qt::ControlModifier, Qt::AltModifier}) {
        slider.setValue(40);
        panel.slower(modifier);
        EXPECT_EQ(slider.value(), 45);
    }

    // The switch half on: the rate is left alone.
    log.clear();
    panel.doubleSpeed()->setTristate(true);
    panel.doubleSpeed()->setCheckState(Qt::PartiallyChecked);
    panel.rateSliderChanged();
    EXPECT_TRUE(taken().empty());
}

TEST(TransportKeyText, SignsTheShift) {
    for (auto [semitones, text] : {std::pair{0, "Key 0"}, {3, "Key +3"}, {-6, "Key −6"}})
        EXPECT_EQ(TransportViewController::keyShiftText(semitones).toStdString(), text) << semitones;
}

// Each key step goes to the player, which holds it to its range; the panel shows what the player
// took, beside the speed and in a notice, and leaves the speed alone.
TEST_F(TransportTest, KeyStepsGoThroughThePlayerAndAreShown) {
    struct Step {
        void (TransportViewController::*action)(Qt::KeyboardModifiers);
        Qt::KeyboardModifiers modifiers;
        int repeat;
        int key;
        const char* shown;
    };
    const Step steps[] = {
        {&TransportViewController::keyUp, Qt::NoModifier, 2, 2, "Key +2"},
        {&TransportViewController::keyDown, Qt::NoModifier, 3, -1, "Key −1"},
        {&TransportViewController::keyDown, Qt::NoModifier, 9, -6, "Key −6"},
        {&TransportViewController::keyUp, Qt::ControlModifier, 1, 0, "Key 0"},
        {&TransportViewController::keyUp, Qt::NoModifier, 8, 6, "Key +6"},
        {&TransportViewController::keyDown, Qt::AltModifier, 1, 0, "Key 0"},
    };
    for (const Step& step : steps) {
        for (int i = 0; i < step.repeat; ++i)
            (panel.*step.action)(step.modifiers);
        EXPECT_EQ(player().key, step.key);
        EXPECT_EQ(panel.keyText()->text().toStdString(), step.shown);
        EXPECT_EQ(host.notices.back().text, step.shown);
    }
    player().key = 4;
    panel.originalKey();
    EXPECT_EQ(std::pair(player().key, panel.keyText()->text().toStdString()),
              std::pair(0, std::string("Key 0")));
    EXPECT_FALSE(player().rate) << "the speed is not touched";
    // The player's own changes (a song loaded with its key) are shown without a notice.
    const std::size_t notices = host.notices.size();
    panel.showKeyShift(-2);
    EXPECT_EQ(panel.keyText()->text().toStdString(), "Key −2");
    EXPECT_EQ(host.notices.size(), notices);
}

TEST_F(TransportTest, OpeningASessionResetsTheSpeedWithoutApplyingIt) {
    panel.doubleSpeed()->setCheckState(Qt::Checked);
    panel.rateSlider()->setValue(60);
    log.clear();
    panel.resetSpeedControls();
    EXPECT_EQ(panel.doubleSpeed()->checkState(), Qt::Unchecked);
    EXPECT_EQ(panel.rateSlider()->value(), 45);
    EXPECT_TRUE(taken().empty());
}

TEST_F(TransportTest, ButtonsRunTheirActions) {
    auto entry = makeEntry("song.wav", 200.0);
    loadAt(entry, 50.0);
    panel.button("back3Pressed")->click();
    panel.button("fwd1Pressed")->click();
    panel.button("playPressed")->click();
    EXPECT_EQ(taken(), (TransportLog{"seek 47", "seek 48", "image play.fill", "cancel break",
                                     "skipToEndIfWithin 10", "play", "doNotDisturb on"}));
    EXPECT_EQ(panel.button("noSuchAction"), nullptr);
    EXPECT_EQ(panel.leftShoulderButton(), panel.button("markZeroPressed"));
}

TEST(TransportWithoutMainView, ActionsDoNothing) {
    TransportViewController panel;
    panel.playPressed();
    panel.pausePressed();
    panel.markZeroPressed();
    panel.volumeUpPressed();
    panel.faster(Qt::NoModifier);
    panel.keyUp();
    panel.pressed(RemoteControlButton::A);
    EXPECT_EQ(panel.rateSlider()->value(), TransportViewController::normalRateStep);
    EXPECT_EQ(panel.volumeSlider()->value(), 0);
    EXPECT_EQ(panel.keyText()->text().toStdString(), "Key 0");
}

} // namespace
} // namespace vantle::testing
