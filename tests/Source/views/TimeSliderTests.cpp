// The time slider: where it draws ranges, cursor and markers, what its markers say and remove, and
// how clicks and drags seek and scrub.

#include "tests/Source/views/TimeSliderTestSupport.h"

#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNote.h"
#include "Source/session/TextNoteSet.h"
#include "Source/session/TimeRangeSet.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/TimerScheduler.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/ManualTimers.h"
#include "tests/support/NotesFiles.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QToolTip>

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

    static std::vector<std::string> toolTips(const std::vector<TimeSliderMark>& marks) {
        std::vector<std::string> tips;
        for (const TimeSliderMark& mark : marks)
            tips.push_back(TimeSlider::toolTip(mark).toStdString());
        return tips;
    }

    QPointF centreOf(const TimeSliderMark& mark) const { return slider.markerFrame(mark.time).center(); }

    // Whether the marker found at the point is this one (a note by identity).
    static bool sameMark(const std::optional<TimeSliderMark>& found, const TimeSliderMark& mark) {
        return found && found->kind == mark.kind && found->time == mark.time && found->note == mark.note;
    }

    // The pixels of column x drawn in the note markers' green.
    static int notePixelsInColumn(const QImage& image, int x) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y) == QColor(52, 199, 89)) ++count;
        return count;
    }

    // The calls logged since the last look.
    CallLog taken() { return std::exchange(log, {}); }

    // Chooses " Remove" in the marker's context menu.
    void chooseRemove(const TimeSliderMark& mark) {
        std::unique_ptr<QMenu> menu(slider.makeContextMenu(mark));
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
    ASSERT_EQ(slider.zeroMarks().size(), 3u);
    ASSERT_EQ(slider.noteMarks().size(), 2u);
    EXPECT_EQ(toolTips(slider.zeroMarks()), (std::vector<std::string>{"7.50", "25.00", "100.00"}));
    EXPECT_EQ(toolTips(slider.noteMarks()), (std::vector<std::string>{"Chorus starts", "Bridge"}));
    EXPECT_EQ(slider.markerFrame(slider.zeroMarks()[1].time), QRectF(126.5, 11.5, 17, 17));
    EXPECT_EQ(centreOf(slider.zeroMarks()[2]).x(), 510.0); // a zero at the very end
    EXPECT_EQ(centreOf(slider.noteMarks()[0]).x(), 160.0);
    EXPECT_EQ(slider.noteMarks()[1].note->text(), "Bridge");
    EXPECT_EQ(TimeSlider::menuTitle(slider.zeroMarks()[0]), "Zero");
    EXPECT_EQ(TimeSlider::menuTitle(slider.noteMarks()[0]), "Note");
    // Each marker is found within its frame, and only there.
    for (const auto* marks : {&slider.zeroMarks(), &slider.noteMarks()})
        for (const TimeSliderMark& mark : *marks) {
            const QRectF frame = slider.markerFrame(mark.time);
            EXPECT_TRUE(sameMark(slider.markAt(frame.center()), mark)) << mark.time;
            EXPECT_TRUE(sameMark(slider.markAt(frame.topLeft() + QPointF(0.5, 0.5)), mark)) << mark.time;
        }
    EXPECT_FALSE(slider.markAt({260, 20}));     // 50 s: no marker
    EXPECT_FALSE(slider.markAt({160, 20 + 9})); // below the note's frame
    // One widget draws and answers for them all.
    EXPECT_TRUE(slider.findChildren<QWidget*>().isEmpty());

    // A resize moves the markers with the track (a hidden widget hears of it only when shown).
    slider.show();
    slider.resize(1020, 40);
    EXPECT_EQ(centreOf(slider.zeroMarks()[1]).x(), 260.0);
    EXPECT_TRUE(sameMark(slider.markAt({260, 20}), slider.zeroMarks()[1]));

    // Reloading replaces the markers.
    entry->zeros = {50.0};
    slider.loadEntry(entry);
    EXPECT_EQ(slider.zeroMarks().size() + slider.noteMarks().size(), 3u);
    EXPECT_EQ(toolTips(slider.zeroMarks()), (std::vector<std::string>{"50.00"}));
    EXPECT_FALSE(slider.markAt({260, 20})) << "the zero at 25 s is gone";

    // Without a duration the markers are still made, all at x −8.5.
    auto unmeasured = makeEntry(std::nullopt);
    unmeasured->zeros = {5.0, 80.0};
    slider.loadEntry(unmeasured);
    ASSERT_EQ(slider.zeroMarks().size(), 2u);
    EXPECT_EQ(slider.markerFrame(slider.zeroMarks()[1].time).x(), -8.5);

    slider.loadEntry(nullptr);
    EXPECT_TRUE(slider.zeroMarks().empty());
    EXPECT_TRUE(slider.noteMarks().empty());
    EXPECT_FALSE(slider.markAt({10, 20}));
}

TEST_F(TimeSliderTest, NotesAboveZerosAndLaterMarkersAboveEarlierOnes) {
    auto entry = makeEntry(100.0);
    entry->zeros = {50.0, 50.5};
    auto early = addNote(*entry, 25, "early");
    auto late = addNote(*entry, 25.5, "late");
    addNote(*entry, 50, "over the zero");
    slider.loadEntry(entry);
    ASSERT_EQ(slider.noteMarks().size(), 3u);
    EXPECT_EQ(slider.markAt({135, 20})->note, late) << "the later of two overlapping notes";
    EXPECT_EQ(slider.markAt({127.5, 20})->note, early) << "where only the earlier one reaches";
    EXPECT_EQ(slider.markAt({260, 20})->note->text(), "over the zero");
    EXPECT_EQ(slider.markAt({267, 20})->note->text(), "over the zero");
    EXPECT_EQ(slider.markAt({270, 20})->kind, TimeSliderMark::Kind::zero) << "beyond the note's frame";
    EXPECT_EQ(slider.markAt({270, 20})->time, 50.5);
}

TEST_F(TimeSliderTest, ThousandsOfNotesAreOneWidgetFoundByPosition) {
    // A notes file beside the song, as a user's file would be found.
    auto entry = makeEntry(4000.0);
    ASSERT_TRUE(platform::writeFileAtomically(folder.url("song.txt").path(),
                                              testsupport::notesFileText(entry->_url.path(), 3000)));
    slider.loadEntry(entry);
    ASSERT_EQ(slider.noteMarks().size(), 3000u);
    EXPECT_TRUE(slider.findChildren<QWidget*>().isEmpty());
    // Note i sits at i seconds, so they cover the first three quarters of the track.
    const TimeSliderMark& last = slider.noteMarks().back();
    EXPECT_EQ(last.note->text(), "note 2999");
    EXPECT_EQ(slider.markAt(centreOf(last))->note, last.note);
    // At 2000 s (x 260) the notes lie 1/8 pixel apart: the latest whose frame reaches there answers.
    const std::optional<TimeSliderMark> middle = slider.markAt({260, 20});
    ASSERT_TRUE(middle);
    EXPECT_EQ(middle->note->text(), "note 2068");

    // Drawn where they are, and not beyond the last one's symbol.
    const QImage image = slider.grab().toImage();
    EXPECT_GT(notePixelsInColumn(image, 260), 0);
    EXPECT_GT(notePixelsInColumn(image, 385), 0);
    EXPECT_EQ(notePixelsInColumn(image, 450), 0);
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
    EXPECT_GT(notePixelsInColumn(image, 385), 0);
    // The zero's symbol is its own, not the track's or the cursor's.
    entry->zeros.clear();
    slider.loadEntry(entry);
    slider.setDoubleValue(75);
    EXPECT_NE(slider.grab().toImage().copy(118, 0, 34, 40), image.copy(118, 0, 34, 40));

    // The symbols follow the track when the slider is resized: the note at 75 s moves to x 760.
    slider.resize(1020, 40);
    slider.setDoubleValue(0);
    const QImage wide = slider.grab().toImage();
    EXPECT_GT(notePixelsInColumn(wide, 760), 0);
    EXPECT_EQ(notePixelsInColumn(wide, 385), 0);
}

TEST_F(TimeSliderTest, ZeroMarkerMenuRemovesTheFirstEqualZeroAndReloads) {
    auto entry = makeEntry(100.0);
    entry->zeros = {10.0, 10.0, 30.0};
    addNote(*entry, 40, "kept");
    slider.loadEntry(entry);
    const TimeSliderMark second = slider.zeroMarks()[1];

    std::unique_ptr<QMenu> menu(slider.makeContextMenu(second));
    EXPECT_EQ(menuTexts(*menu), (std::vector<std::string>{"Zero", " Remove"}));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    EXPECT_TRUE(menu->actions()[1]->isEnabled());

    log.clear();
    menu->actions()[1]->trigger();
    EXPECT_EQ(entry->zeros, (std::vector<double>{10.0, 30.0}));
    EXPECT_EQ(toolTips(slider.zeroMarks()), (std::vector<std::string>{"10.00", "30.00"}));
    EXPECT_EQ(toolTips(slider.noteMarks()), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(log, (CallLog{"refresh"}));

    // A zero whose mark is gone from the entry: nothing more is removed, the markers are rebuilt.
    const TimeSliderMark stale = slider.zeroMarks()[1];
    entry->zeros = {10.0};
    chooseRemove(stale);
    EXPECT_EQ(entry->zeros, (std::vector<double>{10.0}));
    EXPECT_EQ(toolTips(slider.zeroMarks()), (std::vector<std::string>{"10.00"}));
}

TEST_F(TimeSliderTest, NoteMarkerMenuRemovesItsOwnNoteAndReloads) {
    auto entry = makeEntry(100.0);
    auto first = addNote(*entry, 10, "first");
    auto second = addNote(*entry, 20, "second");
    auto third = addNote(*entry, 30, "third");
    slider.loadEntry(entry);
    const TimeSliderMark marker = slider.noteMarks()[1];
    ASSERT_EQ(marker.note, second);

    std::unique_ptr<QMenu> menu(slider.makeContextMenu(marker));
    EXPECT_EQ(menuTexts(*menu), (std::vector<std::string>{"Note", " Remove"}));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());

    // A note added since the markers were laid out shifts the list; the marker still removes its
    // own note, not the one now at its place.
    auto added = std::make_shared<TextNote>(5, "added");
    entry->noteSet().notes.insert(entry->noteSet().notes.begin(), added);
    menu->actions()[1]->trigger();
    EXPECT_EQ(entry->noteSet().notes, (std::vector<std::shared_ptr<TextNote>>{added, first, third}));
    EXPECT_TRUE(entry->noteSet().altered);
    EXPECT_EQ(toolTips(slider.noteMarks()), (std::vector<std::string>{"added", "first", "third"}));

    // Two notes with the same time and text are still different notes.
    auto twin = addNote(*entry, 30, "third");
    slider.loadEntry(entry);
    chooseRemove(slider.noteMarks()[3]);
    EXPECT_EQ(entry->noteSet().notes, (std::vector<std::shared_ptr<TextNote>>{added, first, third}));

    // A marker whose note is already gone removes nothing and leaves the set unaltered.
    entry->noteSet().altered = false;
    const TimeSliderMark orphan = slider.noteMarks()[0];
    entry->noteSet().notes.erase(entry->noteSet().notes.begin());
    chooseRemove(orphan);
    EXPECT_EQ(entry->noteSet().notes, (std::vector<std::shared_ptr<TextNote>>{first, third}));
    EXPECT_FALSE(entry->noteSet().altered);
    EXPECT_EQ(slider.noteMarks().size(), 2u);

    // A menu left open over a layout since replaced removes nothing, not even a note still there.
    const TimeSliderMark outlived = slider.noteMarks()[0];
    entry->noteSet().notes.clear();
    slider.loadEntry(entry);
    entry->noteSet().notes = {first};
    chooseRemove(outlived);
    EXPECT_EQ(entry->noteSet().notes, (std::vector<std::shared_ptr<TextNote>>{first}));
}

TEST_F(TimeSliderTest, RightClickOnAMarkerPopsUpItsMenu) {
    auto entry = makeEntry(100.0);
    entry->zeros = {50.0};
    slider.show();
    slider.loadEntry(entry);
    // Away from the marker there is no menu.
    QContextMenuEvent away(QContextMenuEvent::Mouse, QPoint(100, 20), slider.mapToGlobal(QPoint(100, 20)));
    QApplication::sendEvent(&slider, &away);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    const QPoint at = centreOf(slider.zeroMarks()[0]).toPoint() + QPoint(3, -3);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, slider.mapToGlobal(at));
    QApplication::sendEvent(&slider, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menuTexts(*menu), (std::vector<std::string>{"Zero", " Remove"}));
    menu->actions()[1]->trigger();
    menu->close();
    EXPECT_TRUE(entry->zeros.empty());
    EXPECT_TRUE(slider.zeroMarks().empty());
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
    const QPointF centre = centreOf(slider.zeroMarks()[0]);
    sendMouse(&slider, QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
    sendMouse(&slider, QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"TimeSliderButton clicked"}));
    EXPECT_EQ(taken(), (CallLog{"seek 25", "showingRemaining off", "refresh", "seek 25",
                                "showingRemaining on", "refresh"}));

    // Elsewhere a click only seeks.
    console.clear();
    sendMouse(&slider, QEvent::MouseButtonPress, {260, 20}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(console.lines().empty());
    EXPECT_EQ(taken(), (CallLog{"seek 50", "showingRemaining off", "refresh"}));
}

TEST_F(TimeSliderTest, HoveringAMarkerShowsItsToolTipCutToALine) {
    auto entry = makeEntry(100.0);
    entry->zeros = {25.0};
    auto longNote = addNote(*entry, 75, std::string(1 << 20, 'w') + " end");
    slider.show();
    slider.loadEntry(entry);
    auto hover = [&](QPoint at) {
        QHelpEvent event(QEvent::ToolTip, at, slider.mapToGlobal(at));
        QApplication::sendEvent(&slider, &event);
        // Away from markers the event is left to the slider's parent.
        return event.isAccepted() && QToolTip::isVisible() ? QToolTip::text().toStdString()
                                                           : std::string("<none>");
    };
    EXPECT_EQ(hover({135, 20}), "25.00");
    const std::string shown = hover({385, 20});
    EXPECT_EQ(shown, std::string(TextNote::shownCharacterLimit, 'w') + "…");
    EXPECT_EQ(longNote->text().size(), (1u << 20) + 4) << "the note itself is kept whole";
    EXPECT_EQ(hover({260, 20}), "<none>");
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
