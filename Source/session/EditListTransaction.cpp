#include "Source/session/EditListTransaction.h"

#include "Source/session/AppServices.h"
#include "Source/session/Playlist.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace vantle {

namespace {

using EntryList = EditListTransaction::EntryList;
using Placed = EditListTransaction::Placed;

// Indexes into `sequence` of a longest strictly increasing run of its values (patience sorting).
std::vector<std::size_t> longestIncreasingRun(const std::vector<std::size_t>& sequence) {
    std::vector<std::size_t> tails;                     // index into sequence of each pile's top
    std::vector<std::size_t> previous(sequence.size()); // the element below it in its run
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        auto pile =
            std::lower_bound(tails.begin(), tails.end(), sequence[i],
                             [&](std::size_t top, std::size_t value) { return sequence[top] < value; });
        previous[i] = pile == tails.begin() ? i : *(pile - 1);
        if (pile == tails.end())
            tails.push_back(i);
        else
            *pile = i;
    }
    std::vector<std::size_t> run(tails.size());
    if (tails.empty()) return run;
    std::size_t at = tails.back();
    for (std::size_t k = run.size(); k-- > 0;) {
        run[k] = at;
        at = previous[at];
    }
    return run;
}

} // namespace

EditListTransaction::EditListTransaction(std::string name, const EntryList& initialList,
                                         RowIndexes initialSelection, const EntryList& endingList,
                                         RowIndexes endingSelection)
    : name(std::move(name)), initialSelection(std::move(initialSelection)),
      endingSelection(std::move(endingSelection)), initialCount(initialList.size()),
      endingCount(endingList.size()) {
    // What both lists share at their ends stays; only the part between is looked at.
    std::size_t first = 0;
    while (first < initialList.size() && first < endingList.size() && initialList[first] == endingList[first])
        ++first;
    std::size_t initialEnd = initialList.size(), endingEnd = endingList.size();
    while (initialEnd > first && endingEnd > first &&
           initialList[initialEnd - 1] == endingList[endingEnd - 1]) {
        --initialEnd;
        --endingEnd;
    }

    // The entries that stay in between are the most that keep their order: the longest increasing
    // run of their initial places, taken in ending order. Everything else leaves or comes.
    std::unordered_map<const PlaylistEntry*, std::size_t> initialPlace;
    for (std::size_t i = first; i < initialEnd; ++i)
        initialPlace.emplace(initialList[i].get(), i);
    std::vector<std::size_t> endingIndexes, initialIndexes;
    for (std::size_t j = first; j < endingEnd; ++j) {
        auto found = initialPlace.find(endingList[j].get());
        if (found == initialPlace.end() || initialList[found->second] != endingList[j]) continue;
        endingIndexes.push_back(j);
        initialIndexes.push_back(found->second);
    }
    std::vector<bool> initialStays(initialEnd - first), endingStays(endingEnd - first);
    for (std::size_t k : longestIncreasingRun(initialIndexes)) {
        initialStays[initialIndexes[k] - first] = true;
        endingStays[endingIndexes[k] - first] = true;
    }
    for (std::size_t i = first; i < initialEnd; ++i)
        if (!initialStays[i - first]) removed.push_back({i, initialList[i]});
    for (std::size_t j = first; j < endingEnd; ++j)
        if (!endingStays[j - first]) inserted.push_back({j, endingList[j]});
}

std::optional<EntryList> EditListTransaction::spliced(const EntryList& list, const std::vector<Placed>& taken,
                                                      const std::vector<Placed>& put) {
    if (std::optional<EntryList> exact = splicedAt(list, taken, put)) return exact;
    // A list reordered with no step of its own (as Return once did): the entries the step
    // takes out are then found wherever they are now, so that a sort or a drag can still be taken
    // back. The list must still hold each of them, and none of those the step puts back.
    std::unordered_map<const PlaylistEntry*, std::size_t> wanted;
    for (const Placed& placed : taken)
        ++wanted[placed.entry.get()];
    std::unordered_set<const PlaylistEntry*> coming;
    for (const Placed& placed : put)
        coming.insert(placed.entry.get());
    std::vector<Placed> found;
    found.reserve(taken.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (auto w = wanted.find(list[i].get()); w != wanted.end() && w->second > 0) {
            --w->second;
            found.push_back({i, list[i]});
        } else if (coming.count(list[i].get())) {
            return std::nullopt;
        }
    }
    if (found.size() != taken.size()) return std::nullopt;
    return splicedAt(list, found, put);
}

std::optional<EntryList> EditListTransaction::splicedAt(const EntryList& list,
                                                        const std::vector<Placed>& taken,
                                                        const std::vector<Placed>& put) {
    const std::size_t count = list.size() - std::min(list.size(), taken.size()) + put.size();
    if (taken.size() > list.size() || (!put.empty() && put.back().index >= count)) return std::nullopt;
    EntryList result;
    result.reserve(count);
    auto nextTaken = taken.begin();
    auto nextPut = put.begin();
    for (std::size_t i = 0; i <= list.size(); ++i) {
        // What comes in fills its places before the next entry that stays.
        while (nextPut != put.end() && nextPut->index == result.size())
            result.push_back((nextPut++)->entry);
        if (i == list.size()) break;
        if (nextTaken != taken.end() && nextTaken->index == i) {
            if (nextTaken->entry != list[i]) return std::nullopt;
            ++nextTaken;
            continue;
        }
        result.push_back(list[i]);
    }
    if (nextTaken != taken.end() || nextPut != put.end()) return std::nullopt;
    return result;
}

platform::Result<void> EditListTransaction::redo() {
    return change(initialCount, removed, inserted, endingSelection, "redo");
}

platform::Result<void> EditListTransaction::undo() {
    return change(endingCount, inserted, removed, initialSelection, "undo");
}

platform::Result<void> EditListTransaction::change(std::size_t count, const std::vector<Placed>& taken,
                                                   const std::vector<Placed>& put,
                                                   const RowIndexes& selection, const char* doing) {
    MainWindowServices* window = AppServices::mainWindow();
    std::shared_ptr<Playlist> playlist = window ? window->playlist() : nullptr;
    if (!playlist) return {};
    std::optional<EntryList> list;
    if (playlist->allEntries.size() == count) list = spliced(playlist->allEntries, taken, put);
    if (!list)
        return platform::Error::make("EditListTransaction", std::string("can't ") + doing + " " + name +
                                                                ": the playlist has changed since");
    apply(std::move(*list), selection);
    return {};
}

void EditListTransaction::apply(EntryList list, const RowIndexes& selection) {
    MainWindowServices* window = AppServices::mainWindow();
    if (!window) return;
    std::shared_ptr<Playlist> playlist = window->playlist();
    if (!playlist) return;
    playlist->allEntries = std::move(list);
    window->selectRows(selection);
    if (!selection.empty()) {
        std::size_t lowest = *selection.begin();
        window->selectRows({lowest});
        window->loadEntryAtRowAfterListEdit(lowest);
    }
    playlist->dirty = true;
    window->reloadTableSelecting(selection);
}

} // namespace vantle
