// The time slider: where it draws ranges, cursor and markers, what its markers say and remove, and
// how clicks and drags seek and scrub.

#include "tests/Source/views/TimeSliderTestSupport.h"

#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNote.h"
#include "Source/session/TextNoteSet.h"
#include "Source/session/TimeRangeSet.h"
#include "Source/views/TimeSliderButton.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/TimerScheduler.h"
#include "platform/foundation/Console.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/ManualTimers.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace vantle::testing {
namespace {

class TimeSliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::mainQueue().drain();
        slider.resize(520, 40);
        slider.setPlayer(player);
        slider.setHost(&host);
    }

    // An entry of the given length (none: the file cannot be measured) in the temporary folder.
    std::shared_ptr<PlaylistEntry> makeEntry(std::optional<double> duration) {
        std::shared_ptr<PlaylistEntry> entry =
            PlaylistEntry::make(writeSilentWav(folder.url("song.wav"), 1.0));
        EXPECT_TRUE(entry);
        entry->_cachedDuration = duration;
        if (!duration) entry->_url = folder.url("missing.wav");
        return entry;
    }

    std::shared_ptr<TextNote> addNote(PlaylistEntry& entry, double time, const std::string& text) {
        auto note = std::make_shared<TextNote>(time, text);
        entry.noteSet().notes.push_back(note);
        return note;
    }

    // Sends a mouse event the way the window would: to `widget`, handed up while ignored.
    static void sendMouse(QWidget* widget, QEvent::Type type, QPointF local, Qt::MouseButton button,
                          Qt::MouseButtons buttons) {
        QMouseEvent event(type, local, widget->mapToGlobal(local), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }

    static std::vector<std::string> menuTexts(QMenu& menu) {
        std::vector<std::string> texts;
        for (QAction* action : menu.actions())
            texts.push_back(action->text().toStdString());
        return texts;
    }

    static std::vector<std::string> toolTips(const auto& buttons) {
        std::vector<std::string> tips;
        for (const TimeSliderButton* button : buttons)
            tips.push_back(button->toolTip().toStdString());
        return tips;
    }

    // The calls logged since the last look.
    CallLog taken() { return std::exchange(log, {}); }

    // Chooses " Remove" in the marker's context menu.
    static void chooseRemove(TimeSliderButton* button) {
        std::unique_ptr<QMenu> menu(button->makeContextMenu());
        ASSERT_EQ(menu->actions().size(), 2);
        menu->actions()[1]->trigger();
    }

    SessionTempFolder folder;
    CallLog log;
    std::shared_ptr<FakeTimeSliderPlayer> player = std::make_shared<FakeTimeSliderPlayer>(log);
    FakeTimeSliderHost host{log};
    TimeSlider slider;
};

TEST_F(TimeSliderTest, TimesMapToPositionsAndBackWithGuards) {
    slider.loadEntry(makeEntry(100.0));
    EXPECT_DOUBLE_EQ(slider.maxValue(), 100.0);
    EXPECT_DOUBLE_EQ(slider.xForTime(25), 135.0);
    EXPECT_DOUBLE_EQ(slider.xForTime(0), 10.0);
    EXPECT_DOUBLE_EQ(slider.xForTime(100), 510.0);
    EXPECT_EQ(slider.markerFrame(25), QRectF(126.5, 20 - 8.5, 17, 17));
    EXPECT_DOUBLE_EQ(slider.timeForX(10), 0.0);
    EXPECT_DOUBLE_EQ(slider.timeForX(385), 75.0);
    EXPECT_DOUBLE_EQ(slider.timeForX(5), -1.0);
    EXPECT_DOUBLE_EQ(slider.clampedSeekTime(-1.0), 0.0);
    EXPECT_DOUBLE_EQ(slider.clampedSeekTime(100.0), 99.9);
    EXPECT_DOUBLE_EQ(slider.clampedSeekTime(std::nan("")), 0.0);
    EXPECT_DOUBLE_EQ(slider.xForTime(std::nan("")), 10.0);

    slider.resize(1020, 40);
    EXPECT_DOUBLE_EQ(slider.xForTime(50), 510.0);
    slider.resize(0, 40); // no track left: every position means the start
    EXPECT_DOUBLE_EQ(slider.timeForX(0), 0.0);
    EXPECT_DOUBLE_EQ(slider.timeForX(100), 0.0);
    EXPECT_DOUBLE_EQ(slider.xForTime(50), 10.0);
    slider.resize(520, 40);

    // Too short, unmeasurable or no entry: everything collapses to x 0 and seeks go to 0.
    for (std::optional<double> duration :
         {std::optional<double>(0.001), std::optional<double>(0.0), std::optional<double>(std::nan("")),
          std::optional<double>(-5.0), std::optional<double>()}) {
        slider.loadEntry(makeEntry(duration));
        EXPECT_DOUBLE_EQ(slider.xForTime(0.0005), 0.0);
        EXPECT_DOUBLE_EQ(slider.clampedSeekTime(slider.timeForX(400)), 0.0);
    }
    slider.loadEntry(nullptr);
    EXPECT_EQ(slider.maxValue(), 0.0);
    EXPECT_EQ(slider.xForTime(50), 0.0);
}

TEST_F(TimeSliderTest, MarkersSitAtTheirTimesWithTheirToolTips) {
    auto entry = makeEntry(100.0);
    entry->zeros = {7.5, 25.0, 100.0};
    addNote(*entry, 30, "Chorus starts");
    addNote(*entry, 60, "Bridge");
    slider.setDoubleValue(40);
    slider.loadEntry(entry);

    EXPECT_EQ(slider.entry(), entry);
    EXPECT_EQ(slider.doubleValue(), 0.0);
    EXPECT_EQ(log, (CallLog{"refresh"}));
    ASSERT_EQ(slider.zeroButtons().size(), 3u);
    ASSERT_EQ(slider.noteButtons().size(), 2u);
    EXPECT_EQ(toolTips(slider.zeroButtons()), (std::vector<std::string>{"7.50", "25.00", "100.00"}));
    EXPECT_EQ(toolTips(slider.noteButtons()), (std::vector<std::string>{"Chorus starts", "Bridge"}));
    EXPECT_EQ(slider.zeroButtons()[1]->frameF(), QRectF(126.5, 11.5, 17, 17));
    EXPECT_EQ(slider.zeroButtons()[2]->frameF().center().x(), 510.0); // a zero at the very end
    EXPECT_EQ(slider.noteButtons()[0]->frameF().center().x(), 160.0);
    EXPECT_EQ(slider.noteButtons()[1]->note()->text(), "Bridge");
    EXPECT_EQ(slider.zeroButtons()[0]->menuTitle(), "Zero");
    EXPECT_EQ(slider.noteButtons()[0]->menuTitle(), "Note");
    for (const TimeSliderButton* button : slider.findChildren<TimeSliderButton*>())
        EXPECT_TRUE(QRectF(button->geometry()).contains(button->frameF().center()));

    // A resize moves the markers with the track (a hidden widget hears of it only when shown).
    slider.show();
    slider.resize(1020, 40);
    EXPECT_EQ(slider.zeroButtons()[1]->frameF().center().x(), 260.0);

    // Reloading replaces the markers; only the current ones remain children of the slider.
    entry->zeros = {50.0};
    slider.loadEntry(entry);
    EXPECT_EQ(slider.findChildren<TimeSliderButton*>().size(), 3);
    EXPECT_EQ(toolTips(slider.zeroButtons()), (std::vector<std::string>{"50.00"}));

    // Without a duration the markers are still made, all at x −8.5.
    auto unmeasured = makeEntry(std::nullopt);
    unmeasured->zeros = {5.0, 80.0};
    slider.loadEntry(unmeasured);
    ASSERT_EQ(slider.zeroButtons().size(), 2u);
    EXPECT_EQ(slider.zeroButtons()[1]->frameF().x(), -8.5);

    slider.loadEntry(nullptr);
    EXPECT_TRUE(slider.zeroButtons().empty());
    EXPECT_TRUE(slider.noteButtons().empty());
    EXPECT_TRUE(slider.findChildren<TimeSliderButton*>().isEmpty());
}

TEST_F(TimeSliderTest, DrawsTrackRangesAndCursor) {
    auto entry = makeEntry(100.0);
    entry->prevTimeRangeSet.ranges = {{0, 20}};
    slider.loadEntry(entry);
    slider.setDoubleValue(80);
    ASSERT_FALSE(entry->currentTimeRangeSet);
    QImage first = slider.grab().toImage();
    ASSERT_TRUE(entry->currentTimeRangeSet); // gained an empty set on the first draw
    EXPECT_TRUE(entry->currentTimeRangeSet->ranges.empty());

    entry->currentTimeRangeSet->ranges = {{50, 60}};
    QImage image = slider.grab().toImage();
    ASSERT_EQ(image.width(), 520);
    const QColor background = image.pixelColor(200, 2);
    const QColor accent = slider.palette().color(QPalette::Active, QPalette::Highlight);
    const QColor earlier = image.pixelColor(60, 20); // 10 s
    EXPECT_EQ(image.pixelColor(285, 20), accent);    // 55 s, within the current listening
    EXPECT_EQ(image.pixelColor(285, 14), accent);    // 15 wide
    EXPECT_EQ(image.pixelColor(285, 5), background);
    EXPECT_NE(earlier, accent);
    EXPECT_NE(earlier, background);
    EXPECT_EQ(image.pixelColor(60, 14), earlier);
    EXPECT_EQ(first.pixelColor(285, 20), QColor(Qt::black)); // the track where nothing was heard
    EXPECT_EQ(image.pixelColor(200, 20), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(200, 16), background);
    EXPECT_EQ(image.pixelColor(517, 20), background);          // beyond the track's round cap
    EXPECT_EQ(image.pixelColor(410, 5), slider.cursorColor()); // the cursor at 80 s, full height
    EXPECT_EQ(image.pixelColor(410, 35), slider.cursorColor());
    EXPECT_EQ(image.pixelColor(410, 39), background);

    // No entry: no ranges, track and cursor at x 0.
    slider.loadEntry(nullptr);
    slider.setDoubleValue(50);
    QImage empty = slider.grab().toImage();
    EXPECT_EQ(empty.pixelColor(60, 20), background);
    EXPECT_EQ(empty.pixelColor(285, 20), background);
    EXPECT_EQ(empty.pixelColor(0, 10), slider.cursorColor());
}

TEST_F(TimeSliderTest, InstantsThatScrubbingLeavesAreNoDotsInThePlayedBar) {
    auto entry = makeEntry(100.0);
    // A drag while playing: every movement opens a span at its place, heard for an instant.
    entry->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
    entry->currentTimeRangeSet->ranges = {{20, 20}, {30, 30.02}, {40, 40.1}, {50, 60}};
    entry->prevTimeRangeSet.ranges = {{70, 70.05}, {80, 81}};
    slider.loadEntry(entry);
    slider.setDoubleValue(99);
    const QImage image = slider.grab().toImage();
    const QColor accent = slider.palette().color(QPalette::Active, QPalette::Highlight);
    const QColor background = image.pixelColor(200, 2);
    for (double seconds : {20.0, 30.0, 40.0, 70.0}) {
        const int x = int(std::lround(slider.xForTime(seconds)));
        EXPECT_EQ(image.pixelColor(x, 14), background) << seconds << " s";
        EXPECT_EQ(image.pixelColor(x, 20), QColor(Qt::black)) << seconds << " s: the bare track";
    }
    EXPECT_EQ(image.pixelColor(int(slider.xForTime(55.0)), 14), accent);
    EXPECT_NE(image.pixelColor(int(slider.xForTime(80.5)), 14), background);
}

TEST_F(TimeSliderTest, MarkersDrawTheirSymbolsAboveTheCursor) {
    auto entry = makeEntry(100.0);
    entry->zeros = {25.0};
    addNote(*entry, 75, "note");
    slider.loadEntry(entry);
    slider.setDoubleValue(75);
    QImage image = slider.grab().toImage();
    const QColor background = image.pixelColor(200, 2);
    auto inked = [&](int x0, int x1) {
        int count = 0;
        for (int x = x0; x < x1; ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y) != background && image.pixelColor(x, y) != QColor(Qt::black))
                    ++count;
        return count;
    };
    // The zero's symbol reaches beyond its 17-pixel frame.
    EXPECT_GT(inked(135 - 13, 135 - 9), 0);
    // The note's green symbol covers part of the cursor.
    int green = 0;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixelColor(385, y) == QColor(52, 199, 89)) ++green;
    EXPECT_GT(green, 0);
    EXPECT_NE(slider.zeroButtons()[0]->normalImage().pixelColor(13, 13), QColor(Qt::transparent));
}

TEST_F(TimeSliderTest, ZeroMarkerMenuRemovesTheFirstEqualZeroAndReloads) {
    auto entry = makeEntry(100.0);
    entry->zeros = {10.0, 10.0, 30.0};
    addNote(*entry, 40, "kept");
    slider.loadEntry(entry);
    ZeroButton* second = slider.zeroButtons()[1];

    std::unique_ptr<QMenu> menu(second->makeContextMenu());
    EXPECT_EQ(menuTexts(*menu), (std::vector<std::string>{"Zero", " Remove"}));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    EXPECT_TRUE(menu->actions()[1]->isEnabled());

    log.clear();
    menu->actions()[1]->trigger();
    EXPECT_EQ(entry->zeros, (std::vector<double>{10.0, 30.0}));
    EXPECT_EQ(toolTips(slider.zeroButtons()), (std::vector<std::string>{"10.00", "30.00"}));
    EXPECT_EQ(toolTips(slider.noteButtons()), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(log, (CallLog{"refresh"}));
    EXPECT_EQ(slider.findChildren<TimeSliderButton*>().size(), 3);

    // A zero whose mark is gone from the entry: nothing more is removed, the markers are rebuilt.
    ZeroButton* stale = slider.zeroButtons()[1];
    entry->zeros = {10.0};
    chooseRemove(stale);
    EXPECT_EQ(entry->zeros, (std::vector<double>{10.0}));
    EXPECT_EQ(toolTips(slider.zeroButtons()), (std::vector<std::string>{"10.00"}));
}

TEST_F(TimeSliderTest, NoteMarkerMenuRemovesItsOwnNoteAndReloads) {
    auto entry = makeEntry(100.0);
    auto first = addNote(*entry, 10, "first");
    auto second = addNote(*entry, 20, "second");
    auto third = addNote(*entry, 30, "third");
    slider.loadEntry(entry);
    NoteButton* marker = slider.noteButtons()[1];
    ASSERT_EQ(marker->note(), second);

    std::unique_ptr<QMenu> menu(marker->makeContextMenu());
    EXPECT_EQ(menuTexts(*menu), (std::vector<std::string>{"Note", " Remove"}));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());

    // A note added since the markers were laid out shifts the list; the marker still removes its
    // own note, not the one now at its place.
    auto added = std::make_shared<TextNote>(5, "added");
    entry->noteSet().notes.insert(entry->noteSet().notes.begin(), added);
    menu->actions()[1]->trigger();
    EXPECT_EQ(entry->noteSet().notes, (std::vector<std::shared_ptr<TextNote>>{added, first, third}));
    EXPECT_TRUE(entry->noteSet().altered);
    EXPECT_EQ(toolTips(slider.noteButtons()), (std::vector<std::string>{"added", "first", "third"}));

    // Two notes with the same time and text are still different notes.
    auto twin = addNote(*entry, 30, "third");
    slider.loadEntry(entry);
    chooseRemove(slider.noteButtons()[3]);
    EXPECT_EQ(entry->noteSet().notes, (std::vector<std::shared_ptr<TextNote>>{added, first, third}));

    // A marker whose note is already gone removes nothing and leaves the set unaltered.
    entry->noteSet().altered = false;
    NoteButton* orphan = slider.noteButtons()[0];
    entry->noteSet().notes.erase(entry->noteSet().notes.begin());
    chooseRemove(orphan);
    EXPECT_EQ(entry->noteSet().notes, (std::vector<std::shared_ptr<TextNote>>{first, third}));
    EXPECT_FALSE(entry->noteSet().altered);
    EXPECT_EQ(slider.noteButtons().size(), 2u);
}

TEST_F(TimeSliderTest, RightClickOnAMarkerPopsUpItsMenu) {
    auto entry = makeEntry(100.0);
    entry->zeros = {50.0};
    slider.show();
    slider.loadEntry(entry);
    ZeroButton* marker = slider.zeroButtons()[0];
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(8, 8), marker->mapToGlobal(QPoint(8, 8)));
    QApplication::sendEvent(marker, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menuTexts(*menu), (std::vector<std::string>{"Zero", " Remove"}));
    menu->actions()[1]->trigger();
    menu->close();
    EXPECT_TRUE(entry->zeros.empty());
    EXPECT_TRUE(slider.zeroButtons().empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(TimeSliderTest, ClicksAndDragsSeekAndScrubInOrder) {
    testsupport::ManualTimerScheduler scheduler;
    host.currentScrubber = Scrubber::make(
        player, std::make_unique<FakeScrubSnippetPlayer>(log, scheduler), [] { return 0.6f; }, scheduler);
    slider.loadEntry(makeEntry(100.0));
    log.clear();

    sendMouse(&slider, QEvent::MouseButtonPress, {135, 20}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(taken(), (CallLog{"seek 25", "showingRemaining off", "refresh"}));
    sendMouse(&slider, QEvent::MouseMove, {260, 20}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(taken(), (CallLog{"seek 50", "snippet at 50", "volume 0.3", "enableRate", "rate 1.5", "play"}));
    // Beyond either end the seeks are clamped; a snippet already sounds, so none starts.
    sendMouse(&slider, QEvent::MouseMove, {900, 20}, Qt::NoButton, Qt::LeftButton);
    sendMouse(&slider, QEvent::MouseMove, {-40, 20}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(taken(), (CallLog{"seek 99.9", "seek 0"}));
    // How snippets follow each other while scrubbing is the scrubber's; the release ends it.
    sendMouse(&slider, QEvent::MouseButtonRelease, {385, 20}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(taken(), (CallLog{"seek 75", "showingRemaining on", "refresh"}));
    EXPECT_FALSE(host.currentScrubber->scrubbing());

    // Moves without the left button, and other buttons, do nothing.
    sendMouse(&slider, QEvent::MouseMove, {200, 20}, Qt::NoButton, Qt::NoButton);
    sendMouse(&slider, QEvent::MouseButtonPress, {200, 20}, Qt::RightButton, Qt::RightButton);
    EXPECT_TRUE(taken().empty());
}

TEST_F(TimeSliderTest, AClickOnAMarkerSeeksToIt) {
    auto entry = makeEntry(100.0);
    entry->zeros = {25.0};
    slider.loadEntry(entry);
    log.clear();
    testsupport::ScopedConsoleCapture console;
    ZeroButton* marker = slider.zeroButtons()[0];
    QPointF centre = marker->frameF().center() - QPointF(marker->geometry().topLeft());
    sendMouse(marker, QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
    sendMouse(marker, QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"TimeSliderButton clicked"}));
    EXPECT_EQ(taken(), (CallLog{"seek 25", "showingRemaining off", "refresh", "seek 25",
                                "showingRemaining on", "refresh"}));
}

TEST_F(TimeSliderTest, WithoutPlayerHostOrDurationNothingBreaks) {
    slider.loadEntry(makeEntry(std::nullopt));
    log.clear();
    sendMouse(&slider, QEvent::MouseButtonPress, {300, 20}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(taken(), (CallLog{"seek 0", "showingRemaining off", "refresh"}));

    // No scrubber: drags only seek.
    sendMouse(&slider, QEvent::MouseMove, {300, 20}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(taken(), (CallLog{"seek 0"}));

    slider.setPlayer(nullptr);
    slider.setHost(nullptr);
    slider.loadEntry(makeEntry(100.0));
    log.clear();
    sendMouse(&slider, QEvent::MouseButtonPress, {300, 20}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(&slider, QEvent::MouseMove, {320, 20}, Qt::NoButton, Qt::LeftButton);
    sendMouse(&slider, QEvent::MouseButtonRelease, {320, 20}, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(taken().empty());
}

} // namespace
} // namespace vantle::testing
