#include "Source/session/ClearRecordsTransaction.h"
#include "Source/session/EditAttachmentsTransaction.h"
#include "Source/session/EditListTransaction.h"
#include "Source/session/Undoer.h"
#include "platform/foundation/Console.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"

#include <gtest/gtest.h>

using namespace vantle;
using namespace vantle::testing;

namespace {

// A step that counts its calls and can be told to fail.
class CountingStep final : public UndoRedoTransaction {
public:
    CountingStep(std::string name, int* log, bool failing = false)
        : name_(std::move(name)), log_(log), failing_(failing) {}
    platform::Result<void> redo() override { return step(1, "redone"); }
    platform::Result<void> undo() override { return step(-1, "undone"); }
    std::string redoName() const override { return "Redo " + name_; }
    std::string undoName() const override { return "Undo " + name_; }

private:
    platform::Result<void> step(int by, const std::string& done) {
        *log_ += by;
        if (failing_) return platform::Error::make("test", name_ + " cannot be " + done);
        return {};
    }
    std::string name_;
    int* log_;
    bool failing_;
};

} // namespace

TEST(Undoer, MenuItemsFollowTheStacks) {
    ScopedFakeApp app;
    Undoer undoer;
    undoer.updateMenuItems();
    EXPECT_FALSE(app.undoItem.enabled);
    EXPECT_FALSE(app.redoItem.enabled);
    EXPECT_EQ(app.undoItem.title, "Undo");
    EXPECT_EQ(app.redoItem.title, "Redo");

    int state = 0;
    undoer.record(CountingStep("A", &state));
    undoer.record(CountingStep("B", &state));
    EXPECT_TRUE(app.undoItem.enabled);
    EXPECT_EQ(app.undoItem.title, "Undo B");
    EXPECT_FALSE(app.redoItem.enabled);

    undoer.undo();
    EXPECT_EQ(state, -1);
    EXPECT_EQ(app.undoItem.title, "Undo A");
    EXPECT_EQ(app.redoItem.title, "Redo B");
    EXPECT_TRUE(app.redoItem.enabled);

    undoer.undo();
    EXPECT_EQ(state, -2);
    EXPECT_FALSE(app.undoItem.enabled);
    EXPECT_EQ(app.undoItem.title, "Undo");

    // A new step forgets what was undone.
    undoer.redo();
    undoer.record(CountingStep("C", &state));
    EXPECT_FALSE(app.redoItem.enabled);
    EXPECT_EQ(app.redoItem.title, "Redo");
    EXPECT_EQ(undoer.undoStack().size(), 2u);
}

// Work that goes on after its first change (an addition in batches) stays one step while its step is
// on top; after another step it is a step of its own.
TEST(Undoer, AmendingTheTopStepReplacesItOnlyWhileItIsOnTop) {
    ScopedFakeApp app;
    int state = 0;
    struct Case {
        const char* what;
        bool otherStepBetween;
        std::vector<std::string> titles;
    } cases[] = {
        {"still on top", false, {"Undo add (all)"}},
        {"another step on top", true, {"Undo add", "Undo other", "Undo add (all)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Undoer undoer;
        auto first = std::make_unique<CountingStep>("add", &state);
        const UndoRedoTransaction* top = first.get();
        undoer.record(std::move(first));
        if (c.otherStepBetween) undoer.record(CountingStep("other", &state));
        undoer.record(CountingStep("undone", &state));
        undoer.undo();
        undoer.amendTop(c.otherStepBetween ? top : undoer.undoStack().back().get(),
                        CountingStep("add (all)", &state));
        std::vector<std::string> titles;
        for (const auto& step : undoer.undoStack())
            titles.push_back(step->undoName());
        EXPECT_EQ(titles, c.titles);
        EXPECT_TRUE(undoer.redoStack().empty());
        EXPECT_EQ(app.undoItem.title, "Undo add (all)");
    }
}

TEST(Undoer, EmptyStacksDoNothingAndFailedStepsAreDropped) {
    ScopedFakeApp app;
    Undoer undoer;
    undoer.undo();
    undoer.redo();
    EXPECT_EQ(app.undoItem.title, "untouched"); // not even a refresh

    int state = 0;
    undoer.record(CountingStep("A", &state));
    undoer.record(CountingStep("broken", &state, true));
    testsupport::ScopedConsoleCapture console;
    undoer.undo();
    EXPECT_EQ(console.lines(), std::vector<std::string>{"broken cannot be undone"});
    EXPECT_EQ(undoer.undoStack().size(), 1u);
    EXPECT_TRUE(undoer.redoStack().empty());

    // Without menu items the history still works.
    AppServices::setMenuItems(nullptr, nullptr);
    undoer.undo();
    EXPECT_EQ(state, -2); // the failed step's attempt, then A
    EXPECT_EQ(undoer.redoStack().size(), 1u);
}

TEST(EditListTransaction, AppliesListSelectionAndLoadsTheLowestRow) {
    ScopedFakeApp app;
    auto a = decodedEntry("file:///m/a.wav");
    auto b = decodedEntry("file:///m/b.wav");
    auto c = decodedEntry("file:///m/c.wav");
    Playlist& playlist = *app.window.document;
    playlist.allEntries = {a, b, c};

    EditListTransaction step("move", {a, b, c}, {2, 0}, {c, a, b}, {1, 2});
    ASSERT_TRUE(step.redo().ok());
    EXPECT_EQ(playlist.allEntries, (Playlist::EntryList{c, a, b}));
    EXPECT_EQ(app.window.loadRequests, std::vector<std::size_t>{1});
    EXPECT_EQ(playlist.assignedEntry, a);
    EXPECT_TRUE(playlist.dirty);
    EXPECT_EQ(app.window.reloads, (std::vector<RowIndexes>{{1, 2}}));

    ASSERT_TRUE(step.undo().ok());
    EXPECT_EQ(playlist.allEntries, (Playlist::EntryList{a, b, c}));
    EXPECT_EQ(app.window.loadRequests.back(), 0u);
    EXPECT_EQ(app.window.selection, (RowIndexes{0, 2}));

    // An empty selection loads nothing.
    EditListTransaction clear("remove", {a, b, c}, {}, {b}, {});
    ASSERT_TRUE(clear.redo().ok());
    EXPECT_EQ(app.window.loadRequests.size(), 2u);
    EXPECT_EQ(app.window.reloads.back(), RowIndexes{});
}

TEST(EditListTransaction, NeverStopsWhatPlaysAndNeedsAMainWindow) {
    auto a = decodedEntry("file:///m/a.wav");
    auto b = decodedEntry("file:///m/b.wav");
    std::shared_ptr<Playlist> document;
    {
        ScopedFakeApp app;
        document = app.window.document;
        Playlist& playlist = *app.window.document;
        playlist.allEntries = {a, b};
        playlist.assignedEntry = b;
        app.window.playing = b;
        // The playing entry stays listed: it keeps playing and stays current.
        EditListTransaction move("move", {a, b}, {1}, {b, a}, {1});
        ASSERT_TRUE(move.redo().ok());
        EXPECT_EQ(app.window.loadRequests, std::vector<std::size_t>{1});
        EXPECT_TRUE(app.window.loadedEntries.empty());
        EXPECT_EQ(playlist.assignedEntry, b);

        // Removing the playing entry lets the lowest selected row load.
        EditListTransaction remove("remove", {b, a}, {0}, {a}, {0});
        ASSERT_TRUE(remove.redo().ok());
        EXPECT_EQ(app.window.loadedEntries, Playlist::EntryList{a});
        EXPECT_EQ(playlist.assignedEntry, a);
    }
    // Without a main window nothing happens.
    document->dirty = false;
    EditListTransaction step("sort", {}, {}, {b}, {0});
    EXPECT_TRUE(step.redo().ok());
    EXPECT_EQ(document->allEntries, Playlist::EntryList{a});
    EXPECT_FALSE(document->dirty);
}

TEST(EditAttachmentsTransaction, ChangesTheEntryAndRebuildsForTheCurrentOne) {
    SessionTempFolder folder;
    auto current = decodedEntry("file:///m/current.wav");
    auto edited = decodedEntry("file:///m/edited.wav");
    auto pdf = std::make_shared<Attachment>(folder.url("score.pdf"), "pdf");
    auto video = std::make_shared<Attachment>(folder.url("clip.mp4"), "mp4");
    edited->attachments = {pdf};

    ScopedFakeApp app;
    Playlist& playlist = *app.window.document;
    playlist.allEntries = {current, edited};
    playlist.assignedEntry = current;

    playlist.undoer.record(EditAttachmentsTransaction("Add Attachment", edited, {pdf}, {pdf, video}));
    // The step was recorded, not performed.
    EXPECT_EQ(edited->attachments.size(), 1u);

    playlist.undoer.undo();
    EXPECT_EQ(edited->attachments, EditAttachmentsTransaction::AttachmentList{pdf});
    EXPECT_EQ(app.window.rebuiltFor, Playlist::EntryList{current});
    EXPECT_TRUE(playlist.dirty);

    playlist.undoer.redo();
    EXPECT_EQ(edited->attachments, (EditAttachmentsTransaction::AttachmentList{pdf, video}));

    // Without a main window the entry still changes, and nothing else happens.
    AppServices::setMainWindow(nullptr);
    playlist.dirty = false;
    playlist.undoer.undo();
    EXPECT_EQ(edited->attachments.size(), 1u);
    EXPECT_FALSE(playlist.dirty);
    EXPECT_EQ(app.window.rebuiltFor.size(), 2u);
}

TEST(ClearRecordsTransaction, PutsBackOnlyTheRecordsItTouchedInTheSharedSpanSet) {
    ScopedFakeApp app;
    Playlist& playlist = *app.window.document;
    auto entry = decodedEntry("file:///m/waltz.wav");
    auto untouched = decodedEntry("file:///m/tango.wav");
    playlist.allEntries = {entry, untouched};
    entry->currentTimeRangeSet = heardSpans({{0, 5}, {9, 12}});
    const std::shared_ptr<TimeRangeSet> shared = entry->currentTimeRangeSet;
    entry->zeros = {1.5, 30};
    entry->playedDates = {platform::Date{100}, platform::Date{200}};
    entry->cachedTimeRangeIndex = 1;

    const ClearRecordsTransaction::Kinds zerosOnly{false, true, false};
    std::vector<ClearRecordsTransaction::Change> changes;
    for (const auto& e : {entry, untouched})
        changes.push_back({e, ClearRecordsTransaction::recordsOf(*e, zerosOnly), {}});
    entry->zeros.clear();
    for (auto& change : changes)
        change.after = ClearRecordsTransaction::recordsOf(*change.entry, zerosOnly);
    ClearRecordsTransaction step("Clear Zero Marks", std::move(changes));
    // The entry without marks had nothing cleared.
    ASSERT_EQ(step.changes.size(), 1u);
    playlist.undoer.record(std::move(step));
    EXPECT_EQ(app.undoItem.title, "Undo Clear Zero Marks");
    EXPECT_TRUE(app.undoItem.enabled);

    // Heard since the clearing: an undo of the marks leaves the listening alone.
    entry->currentTimeRangeSet->ranges.push_back({40, 41});
    playlist.dirty = false;
    playlist.undoer.undo();
    EXPECT_EQ(entry->zeros, (std::vector<double>{1.5, 30}));
    EXPECT_EQ(entry->currentTimeRangeSet->ranges.size(), 3u);
    EXPECT_TRUE(playlist.dirty);
    EXPECT_EQ(app.window.recordsShown, 1);
    EXPECT_EQ(app.redoItem.title, "Redo Clear Zero Marks");
    playlist.undoer.redo();
    EXPECT_TRUE(entry->zeros.empty());
    EXPECT_EQ(app.window.recordsShown, 2);

    // All three kinds: spans go back into the same set the player and the state file hold.
    const ClearRecordsTransaction::Kinds all{true, true, true};
    entry->zeros = {2};
    ClearRecordsTransaction::Change change{entry, ClearRecordsTransaction::recordsOf(*entry, all), {}};
    entry->currentTimeRangeSet->ranges.clear();
    entry->zeros.clear();
    entry->playedDates.pop_back();
    change.after = ClearRecordsTransaction::recordsOf(*entry, all);
    playlist.undoer.record(ClearRecordsTransaction("Clear All", {change}));
    playlist.undoer.undo();
    EXPECT_EQ(entry->currentTimeRangeSet, shared);
    EXPECT_EQ(shared->ranges, (std::vector<TimeRange>{{0, 5}, {9, 12}, {40, 41}}));
    EXPECT_FALSE(entry->cachedTimeRangeIndex);
    EXPECT_EQ(entry->zeros, (std::vector<double>{2}));
    EXPECT_EQ(entry->playedDates, (std::vector<platform::Date>{platform::Date{100}, platform::Date{200}}));
    EXPECT_TRUE(untouched->zeros.empty() && untouched->playedDates.empty());
}
