// A list edit's undo step holds what the edit changed, not the whole list, and still puts the list
// back exactly; adding many files at once is adding each in turn.

#include "Source/session/EditListTransaction.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

using namespace vantle;
using namespace vantle::testing;

namespace {

using EntryList = Playlist::EntryList;

EntryList numberedEntries(std::size_t count, const std::string& prefix = "e") {
    EntryList entries;
    for (std::size_t i = 0; i < count; ++i)
        entries.push_back(decodedEntry("file:///m/" + prefix + std::to_string(i) + ".wav"));
    return entries;
}

// References to the entries beyond those the caller and the playlist hold.
long referencesBeyond(const EntryList& entries, long expectedEach) {
    long beyond = 0;
    for (const auto& entry : entries)
        beyond += entry.use_count() - expectedEach;
    return beyond;
}

} // namespace

TEST(EditListStep, HoldsOnlyTheEntriesThatLeaveOrComeAndPutsTheListBackExactly) {
    constexpr std::size_t count = 2000;
    const EntryList added = numberedEntries(3, "new");
    struct Case {
        const char* edit;
        std::function<EntryList(EntryList)> apply;
        std::size_t removed, inserted;
    };
    const std::vector<Case> cases = {
        {"three added at the end",
         [&](EntryList list) {
             list.insert(list.end(), added.begin(), added.end());
             return list;
         },
         0, 3},
        {"three added in the middle",
         [&](EntryList list) {
             list.insert(list.begin() + 700, added.begin(), added.end());
             return list;
         },
         0, 3},
        {"rows removed here and there",
         [](EntryList list) {
             for (std::size_t at : {1999u, 900u, 5u})
                 list.erase(list.begin() + at);
             return list;
         },
         3, 0},
        {"one row moved to the top",
         [](EntryList list) {
             std::rotate(list.begin(), list.begin() + 1500, list.begin() + 1501);
             return list;
         },
         1, 1},
        {"ten rows dragged far down",
         [](EntryList list) {
             std::rotate(list.begin() + 10, list.begin() + 20, list.begin() + 1000);
             return list;
         },
         10, 10},
        {"a listed file added again, moved to the end, with a new one",
         [&](EntryList list) {
             std::rotate(list.begin() + 4, list.begin() + 5, list.end());
             list.push_back(added[0]);
             return list;
         },
         1, 2},
        {"sorted backwards",
         [](EntryList list) {
             std::reverse(list.begin(), list.end());
             return list;
         },
         count - 1, count - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        ScopedFakeApp app;
        Playlist& playlist = *app.window.document;
        const EntryList initial = numberedEntries(count);
        const EntryList ending = c.apply(initial);
        playlist.allEntries = initial;
        EntryList everyone = initial;
        everyone.insert(everyone.end(), added.begin(), added.end());
        // Each entry is held by `everyone`, `added` or `initial`, `ending` and the playlist.
        std::vector<long> held;
        for (const auto& entry : everyone)
            held.push_back(entry.use_count());

        EditListTransaction step("edit", initial, {0}, ending, {1});
        long beyond = 0;
        for (std::size_t i = 0; i < everyone.size(); ++i)
            beyond += everyone[i].use_count() - held[i];
        EXPECT_EQ(beyond, static_cast<long>(c.removed + c.inserted));
        EXPECT_EQ(step.removed.size(), c.removed);
        EXPECT_EQ(step.inserted.size(), c.inserted);

        ASSERT_TRUE(step.redo().ok());
        EXPECT_TRUE(playlist.allEntries == ending);
        ASSERT_TRUE(step.undo().ok());
        EXPECT_TRUE(playlist.allEntries == initial);
        ASSERT_TRUE(step.redo().ok());
        EXPECT_TRUE(playlist.allEntries == ending);
        EXPECT_EQ(app.window.reloads.size(), 3u);
    }

    // An insertion says what came in and where, nothing else.
    const EntryList initial = numberedEntries(count);
    EntryList ending = initial;
    ending.insert(ending.begin() + 700, added.begin(), added.end());
    const EditListTransaction step("add entries", initial, {}, ending, {});
    EXPECT_EQ(step.inserted,
              (std::vector<EditListTransaction::Placed>{{700, added[0]}, {701, added[1]}, {702, added[2]}}));
    EXPECT_TRUE(step.removed.empty());
    EXPECT_EQ(referencesBeyond(initial, 2), 0); // `initial` and `ending` only
}

TEST(EditListStep, RandomEditsUndoAndRedoExactly) {
    ScopedFakeApp app;
    Playlist& playlist = *app.window.document;
    std::mt19937 random(58);
    EntryList pool = numberedEntries(400);
    std::vector<EntryList> lists{EntryList(pool.begin(), pool.begin() + 100)};
    playlist.allEntries = lists.back();
    for (int round = 0; round < 60; ++round) {
        EntryList next = lists.back();
        const auto pick = [&](std::size_t below) {
            return std::uniform_int_distribution<std::size_t>(0, below == 0 ? 0 : below - 1)(random);
        };
        switch (round % 3) {
        case 0: // some leave
            for (std::size_t n = pick(6); n > 0 && !next.empty(); --n)
                next.erase(next.begin() + static_cast<std::ptrdiff_t>(pick(next.size())));
            break;
        case 1: // some come from the pool, where the list does not hold them
            for (std::size_t n = pick(6); n > 0; --n) {
                const auto& candidate = pool[pick(pool.size())];
                if (std::find(next.begin(), next.end(), candidate) == next.end())
                    next.insert(next.begin() + static_cast<std::ptrdiff_t>(pick(next.size() + 1)), candidate);
            }
            break;
        default: // a stretch is shuffled
            if (next.size() > 2) {
                const std::size_t from = pick(next.size() - 1), to = from + 1 + pick(next.size() - from - 1);
                std::shuffle(next.begin() + static_cast<std::ptrdiff_t>(from),
                             next.begin() + static_cast<std::ptrdiff_t>(to) + 1, random);
            }
        }
        EditListTransaction step("edit", lists.back(), {}, next, {});
        ASSERT_TRUE(step.redo().ok());
        ASSERT_TRUE(playlist.allEntries == next) << "round " << round;
        playlist.undoer.record(std::move(step));
        lists.push_back(next);
    }
    // All the way back and forth again.
    for (std::size_t k = lists.size() - 1; k > 0; --k) {
        playlist.undoer.undo();
        ASSERT_TRUE(playlist.allEntries == lists[k - 1]) << "undoing to " << k - 1;
    }
    for (std::size_t k = 1; k < lists.size(); ++k) {
        playlist.undoer.redo();
        ASSERT_TRUE(playlist.allEntries == lists[k]) << "redoing to " << k;
    }
}

TEST(EditListStep, AStepThatNoLongerFitsTheListLeavesItAlone) {
    ScopedFakeApp app;
    Playlist& playlist = *app.window.document;
    const EntryList entries = numberedEntries(4);
    playlist.allEntries = {entries[0], entries[1]};
    EditListTransaction add("add entries", playlist.allEntries, {}, entries, {});
    ASSERT_TRUE(add.redo().ok());
    playlist.undoer.record(std::move(add));

    struct Case {
        const char* how;
        EntryList list;
    };
    // Emptied as a new session empties it, one entry gone, and one more come in.
    for (const Case& c : {Case{"emptied", {}}, Case{"shorter", {entries[0], entries[1], entries[2]}},
                          Case{"longer", {entries[0], entries[1], entries[2], entries[3], entries[2]}},
                          Case{"another in its place",
                               {entries[0], entries[1], entries[2], decodedEntry("file:///m/other.wav")}}}) {
        SCOPED_TRACE(c.how);
        playlist.allEntries = c.list;
        const std::size_t reloads = app.window.reloads.size();
        testsupport::ScopedConsoleCapture console;
        EXPECT_FALSE(playlist.undoer.undoStack().back()->undo().ok());
        EXPECT_TRUE(playlist.allEntries == c.list);
        EXPECT_EQ(app.window.reloads.size(), reloads);
    }
    // Through the Edit menu the step is told on the console and dropped.
    playlist.allEntries = {};
    testsupport::ScopedConsoleCapture console;
    playlist.undoer.undo();
    EXPECT_EQ(console.lines(),
              std::vector<std::string>{"can't undo add entries: the playlist has changed since"});
    EXPECT_TRUE(playlist.undoer.undoStack().empty() && playlist.undoer.redoStack().empty());
    EXPECT_TRUE(playlist.allEntries.empty());
}

TEST(PlaylistDocument, InsertingManyAtOnceIsInsertingEachInTurn) {
    SessionTempFolder media;
    std::vector<platform::Url> files;
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"})
        files.push_back(writeSilentWav(media.url(name), 1));
    ASSERT_TRUE(platform::writeFileAtomically(media.path + "/text.mp3", std::string_view("no audio")));
    const platform::Url text = media.url("text.mp3"), missing = media.url("missing.wav");
    const auto& [a, b, c, d, e] = std::tie(files[0], files[1], files[2], files[3], files[4]);

    struct Case {
        const char* what;
        std::vector<platform::Url> listed;
        std::vector<platform::Url> batch;
        int before; // index into the listed entries; -1: none, -2: an entry that is not listed
    };
    const std::vector<Case> cases = {
        {"into an empty list", {}, {a, b, c}, -1},
        {"in front of an entry", {a, b}, {c, d}, 1},
        {"listed files move", {a, b, c}, {c, d, a}, -1},
        {"listed files move in front of the anchor", {a, b, c, d}, {d, a}, 1},
        {"the anchor itself among them", {a, b, c}, {d, b, e}, 1},
        {"one file twice", {a}, {b, c, b}, 0},
        {"what is not audio is left out", {a}, {text, b, missing}, -1},
        {"before an entry not listed", {a, b}, {c, a}, -2},
        {"a list holding one file twice", {a, b, a}, {c, a}, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Playlist batch, oneByOne;
        for (const platform::Url& url : k.listed) {
            batch.allEntries.push_back(PlaylistEntry::make(url));
            oneByOne.allEntries.push_back(batch.allEntries.back());
        }
        std::shared_ptr<PlaylistEntry> before;
        if (k.before >= 0) before = batch.allEntries[static_cast<std::size_t>(k.before)];
        if (k.before == -2) before = decodedEntry("file:///elsewhere.wav");
        batch.insertEntries(k.batch, before);
        for (const platform::Url& url : k.batch)
            oneByOne.insertEntry(url, before);
        EXPECT_EQ(fileNames(batch.allEntries), fileNames(oneByOne.allEntries));
        // Listed entries are the same objects, with their history.
        for (std::size_t i = 0; i < batch.allEntries.size(); ++i)
            if (std::find(k.listed.begin(), k.listed.end(), batch.allEntries[i]->_url) != k.listed.end()) {
                EXPECT_EQ(batch.allEntries[i], oneByOne.allEntries[i]);
            }
        EXPECT_EQ(batch.dirty, oneByOne.dirty);

        // Entries made elsewhere (measured on a worker), handed over in two batches, give the same
        // list; a listed file keeps its entry and opens nothing.
        Playlist made;
        for (const platform::Url& url : k.listed)
            made.allEntries.push_back(PlaylistEntry::make(url));
        const Playlist::EntryList listedEntries = made.allEntries;
        std::shared_ptr<PlaylistEntry> anchor;
        if (k.before >= 0) anchor = made.allEntries[static_cast<std::size_t>(k.before)];
        if (k.before == -2) anchor = before;
        const std::size_t half = k.batch.size() / 2;
        for (const auto& [from, to] :
             {std::pair<std::size_t, std::size_t>{0, half}, {half, k.batch.size()}}) {
            const std::vector<platform::Url> urls(k.batch.begin() + static_cast<std::ptrdiff_t>(from),
                                                  k.batch.begin() + static_cast<std::ptrdiff_t>(to));
            Playlist::EntryList entries;
            for (const platform::Url& url : urls)
                if (std::shared_ptr<PlaylistEntry> entry = PlaylistEntry::make(url)) entries.push_back(entry);
            made.insertEntries(urls, entries, anchor);
        }
        EXPECT_EQ(fileNames(made.allEntries), fileNames(oneByOne.allEntries));
        for (const std::shared_ptr<PlaylistEntry>& entry : made.allEntries)
            if (std::find(k.listed.begin(), k.listed.end(), entry->_url) != k.listed.end()) {
                EXPECT_TRUE(std::find(listedEntries.begin(), listedEntries.end(), entry) !=
                            listedEntries.end())
                    << entry->_url.path();
            }
    }
    Playlist nothing;
    nothing.insertEntries({text, missing});
    EXPECT_TRUE(nothing.allEntries.empty());
    EXPECT_FALSE(nothing.dirty);
}

TEST(EditListStep, ReturnsReorderLeavesEveryStepUndoable) {
    // Return checks rows and moves every checked entry to the top with no step of its own; the steps
    // before it still take back what they did, with the promoted entries where Return put them.
    const EntryList e = numberedEntries(6);
    const auto promote = [](EntryList list, const std::shared_ptr<PlaylistEntry>& checked) {
        checked->isCheckmarked = true;
        std::stable_partition(list.begin(), list.end(),
                              [](const auto& entry) { return entry->isCheckmarked; });
        return list;
    };
    struct Case {
        const char* edit;
        EntryList initial, ending;
        std::size_t promoted; // index into e
        EntryList undone;
    };
    const std::vector<Case> cases = {
        {"a row dragged to the top",
         {e[0], e[1], e[2], e[3]},
         {e[3], e[0], e[1], e[2]},
         2,
         {e[2], e[0], e[1], e[3]}},
        {"a prepared order sorted backwards",
         {e[0], e[1], e[2], e[3], e[4]},
         {e[4], e[3], e[2], e[1], e[0]},
         1,
         {e[0], e[1], e[2], e[3], e[4]}},
        {"files dropped at the top",
         {e[0], e[1], e[2]},
         {e[4], e[5], e[0], e[1], e[2]},
         1,
         {e[1], e[0], e[2]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        ScopedFakeApp app;
        Playlist& playlist = *app.window.document;
        for (const auto& entry : e)
            entry->isCheckmarked = false;
        playlist.allEntries = c.initial;
        EditListTransaction step("edit", c.initial, {}, c.ending, {});
        ASSERT_TRUE(step.redo().ok());
        playlist.undoer.record(std::move(step));
        const EntryList promoted = promote(c.ending, e[c.promoted]);
        playlist.allEntries = promoted;

        testsupport::ScopedConsoleCapture console;
        playlist.undoer.undo();
        EXPECT_TRUE(console.lines().empty());
        EXPECT_EQ(fileNames(playlist.allEntries), fileNames(c.undone));
        ASSERT_EQ(playlist.undoer.redoStack().size(), 1u);
        playlist.undoer.redo();
        EXPECT_EQ(playlist.undoer.undoStack().size(), 1u);
        EXPECT_EQ(std::multiset(playlist.allEntries.begin(), playlist.allEntries.end()),
                  std::multiset(c.ending.begin(), c.ending.end()));
    }

    // A reordered list that lacks an entry the step takes out, or holds one it would bring back, is
    // still left alone.
    ScopedFakeApp app;
    Playlist& playlist = *app.window.document;
    EditListTransaction step("edit", {e[0], e[1], e[2]}, {}, {e[0], e[2], e[3]}, {});
    for (const EntryList& changed : {EntryList{e[2], e[4], e[0]}, EntryList{e[3], e[1], e[0]}}) {
        playlist.allEntries = changed;
        EXPECT_FALSE(step.undo().ok());
        EXPECT_TRUE(playlist.allEntries == changed);
    }
}

TEST(PlaylistDocument, InsertingManyIntoAListHoldingAFileTwiceIsInsertingEachInTurn) {
    SessionTempFolder media;
    std::vector<platform::Url> files;
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"})
        files.push_back(writeSilentWav(media.url(name), 1));
    const auto& [a, b, c, d, e] = std::tie(files[0], files[1], files[2], files[3], files[4]);
    struct Case {
        const char* what;
        std::vector<platform::Url> batch;
        int before; // index into the list {a, b, a, c}; -1: none
    };
    const std::vector<Case> cases = {
        {"new files at the end", {d, e}, -1},
        {"new files in front of a file listed once", {e, d}, 1},
        {"a file listed once moves", {c, d}, 1},
        {"new files in front of the file listed twice", {d, e}, 2},
        {"the file listed twice moves", {d, a}, 3},
        {"the file listed twice moves to the end", {a, a}, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Playlist batch, oneByOne;
        for (const platform::Url& url : {a, b, a, c}) {
            batch.allEntries.push_back(PlaylistEntry::make(url));
            oneByOne.allEntries.push_back(batch.allEntries.back());
        }
        std::shared_ptr<PlaylistEntry> before;
        if (k.before >= 0) before = batch.allEntries[static_cast<std::size_t>(k.before)];
        batch.insertEntries(k.batch, before);
        for (const platform::Url& url : k.batch)
            oneByOne.insertEntry(url, before);
        EXPECT_EQ(fileNames(batch.allEntries), fileNames(oneByOne.allEntries));
        // The same objects in the same places, the two entries of one file included.
        for (std::size_t i = 0; i < batch.allEntries.size(); ++i)
            if (batch.allEntries[i]->_url != d && batch.allEntries[i]->_url != e) {
                EXPECT_EQ(batch.allEntries[i], oneByOne.allEntries[i]) << i;
            }
    }
}
