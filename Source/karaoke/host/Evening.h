#pragma once
// The host's evening: the singers (regulars kept across evenings), the rotation, each singer's queue,
// what they sang and the key and tempo each sang each song in. Changes are kept in memory at once and
// written to the host's database in order, one transaction each, on a writer thread of its own: after a
// crash the database holds the evening as it was at some change, never half of one. Main thread only.

#include "Source/karaoke/host/Rotation.h"

#include "platform/foundation/Clock.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class SerialQueue;
}

namespace vantle::host {

class HostDatabase;

struct QueuedSong {
    std::string path;
    std::string artist;
    std::string title;
    std::string disc;
    friend bool operator==(const QueuedSong&, const QueuedSong&) = default;
};

// A key in semitones from the song's own and a tempo as a rate (1 = its own).
struct SongStyle {
    int key = 0;
    double tempo = 1.0;
    friend bool operator==(const SongStyle&, const SongStyle&) = default;
};

// A singer with a song: who sings now, who comes next. The style is what they sang that song in last.
struct Turn {
    SingerId singer = 0;
    std::string name;
    QueuedSong song;
    SongStyle style;
};

struct HistoryEntry {
    SingerId singer = 0;
    QueuedSong song;
    platform::Date sung;
    SongStyle style;
};

struct Singer {
    SingerId id = 0;
    std::string name;
};

class Evening {
public:
    // Opens the database at `path` (made when missing) and reads the evening kept there. Throws
    // std::runtime_error when it cannot be opened.
    explicit Evening(const std::string& path, const platform::Clock& clock = platform::Clock::system());
    ~Evening();
    Evening(const Evening&) = delete;
    Evening& operator=(const Evening&) = delete;

    // Called on the main thread after every change, by whatever made it.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }
    // Called on the writer thread after each change is committed, with its count since opening.
    void setCommitHandler(std::function<void(std::size_t)> handler);
    // Called on the writer thread when a change could not be written (a full or failing disk, a lock held
    // too long), with why; it stays in memory and is written with the next change that goes through.
    void setFailureHandler(std::function<void(const std::string&)> handler);
    // The changes made since opening, as the commit handler counts them (an action that changed
    // nothing is none).
    std::size_t changesMade() const { return changes_; }

    // ---- singers ----
    const Rotation& rotation() const { return rotation_; }
    std::optional<Singer> singer(SingerId id) const;
    // Every singer ever added whose name holds `typed` (case and accents aside), those it starts first.
    std::vector<Singer> singersMatching(const std::string& typed, std::size_t limit = 12) const;
    // Seats the singer of that name (a regular when the name is known, case and accents aside), placed by
    // the newcomer rule; a regular's kept queue comes with them. Nothing for an empty name.
    std::optional<SingerId> addSinger(const std::string& name);
    void moveSinger(std::size_t from, std::size_t to);
    void setAway(SingerId singer, bool away);
    void setSkipRound(SingerId singer, bool skip);
    // Leaves the rotation; their queue is kept for when they come again.
    void removeSinger(SingerId singer);
    // Puts back what the last removal took that is not back yet (a queued song in its place, or a seat
    // with its marks and, when nobody has started since, the turn it held); false when there is none.
    // Kept for this opening only.
    bool undoRemoval();
    // Empties the rotation for a new evening; queues, keys and history stay.
    void clearRotation();
    NewcomerRule newcomerRule() const { return rule_; }
    void setNewcomerRule(NewcomerRule rule);

    // ---- queues ----
    const std::vector<QueuedSong>& queue(SingerId singer) const;
    void queueSong(SingerId singer, QueuedSong song);
    void removeSong(SingerId singer, std::size_t index);
    void moveSong(SingerId singer, std::size_t from, std::size_t to);

    // ---- turns ----
    // The singer singing (or about to), with the song taken from their queue; nothing before the first.
    std::optional<Turn> current() const;
    // The singer after the current one with a song waiting, and the one after that.
    std::optional<Turn> next() const;
    std::optional<Turn> afterNext() const;
    // The next singer becomes current with the first song of their queue; it goes in their history with
    // the style remembered for it. Nothing changes when no one is waiting.
    std::optional<Turn> startNext();
    // The current singer's song played to its end: their turn is over (they stay current, so who comes
    // next is unchanged), and a restart loads their song no more.
    void currentSongEnded();
    bool currentEnded() const { return currentEnded_; }
    // The key or tempo changed while the current singer sings: remembered for that singer and song, and
    // written into this turn's history.
    void setCurrentStyle(SongStyle style);
    // What the singer sang that song in last; nothing when they never did.
    std::optional<SongStyle> style(SingerId singer, const std::string& path) const;
    // Oldest first.
    std::vector<HistoryEntry> history(SingerId singer) const;

    // A song file moved (the song book saw it renamed): queues, history and styles follow it.
    void songMoved(const std::string& from, const std::string& to);

    // Waits until every change so far is in the database.
    void flush();

private:
    struct Snapshot;
    struct Removal {
        SingerId singer = 0;
        std::size_t index = 0;
        std::optional<QueuedSong> song; // none: the seat went
        std::optional<Seat> seat;
        std::optional<QueuedSong> currentSong;
        std::optional<std::int64_t> currentHistory;
        bool wasCurrent = false;
        bool ended = false;
    };
    void changed(std::vector<SingerId> queuesChanged, std::function<void(HostDatabase&)> extra = {});
    bool hasSong(SingerId singer) const;
    std::optional<Turn> turnAt(std::optional<std::size_t> index, const Rotation& rotation) const;
    void load();

    const platform::Clock& clock_;
    std::unique_ptr<platform::SerialQueue> writer_;
    std::unique_ptr<HostDatabase> database_; // the writer's thread only
    std::map<SingerId, Singer> singers_;
    std::map<SingerId, std::vector<QueuedSong>> queues_;
    std::map<std::pair<SingerId, std::string>, SongStyle> styles_;
    std::vector<std::pair<std::int64_t, HistoryEntry>> history_;
    Rotation rotation_;
    NewcomerRule rule_ = NewcomerRule::endOfRotation;
    std::optional<QueuedSong> currentSong_;
    std::optional<std::int64_t> currentHistory_;
    bool currentEnded_ = false;
    std::vector<Removal> removals_;
    std::function<void()> changed_;
    std::shared_ptr<std::function<void(std::size_t)>> committed_;
    // The writer's own: what failed to be written, for the next transaction to write first.
    struct Unwritten;
    std::shared_ptr<Unwritten> unwritten_;
    std::size_t changes_ = 0;
};

} // namespace vantle::host
