#include "Source/karaoke/host/Evening.h"

#include "Source/karaoke/host/HostDatabase.h"
#include "platform/dispatch/SerialQueue.h"

#include <algorithm>
#include <stdexcept>

namespace vantle::host {

namespace {

const std::vector<QueuedSong> noSongs;

QueuedSong songFrom(const Statement& row, int first) {
    return {row.text(first), row.text(first + 1), row.text(first + 2), row.text(first + 3)};
}

} // namespace

// What one change leaves in the database: the whole rotation (a few dozen rows) and the queues it touched.
struct Evening::Snapshot {
    std::vector<Seat> seats;
    std::optional<SingerId> current;
    std::optional<QueuedSong> currentSong;
    std::optional<std::int64_t> currentHistory;
    bool ended = false;
    NewcomerRule rule = NewcomerRule::endOfRotation;
    std::vector<std::pair<SingerId, std::vector<QueuedSong>>> queues;
};

// Changes whose transaction failed: their rows (idempotent writes, in order) and the queues as they then
// stood; the next transaction writes them before its own.
struct Evening::Unwritten {
    std::vector<std::function<void(HostDatabase&)>> extras;
    std::map<SingerId, std::vector<QueuedSong>> queues;
    std::function<void(const std::string&)> failed;
};

Evening::Evening(const std::string& path, const platform::Clock& clock)
    : clock_(clock), writer_(std::make_unique<platform::SerialQueue>("host evening writer")),
      committed_(std::make_shared<std::function<void(std::size_t)>>()),
      unwritten_(std::make_shared<Unwritten>()) {
    std::string error;
    writer_->sync([&] { database_ = HostDatabase::open(path, &error); });
    if (!database_) throw std::runtime_error("can't open the host's database \"" + path + "\": " + error);
    writer_->sync([this] { load(); });
}

Evening::~Evening() {
    // The queue runs what was posted before it goes; the connection closes after.
    writer_.reset();
    database_.reset();
}

void Evening::setCommitHandler(std::function<void(std::size_t)> handler) {
    writer_->sync([&] { *committed_ = std::move(handler); });
}

void Evening::setFailureHandler(std::function<void(const std::string&)> handler) {
    writer_->sync([&] { unwritten_->failed = std::move(handler); });
}

void Evening::load() {
    HostDatabase& db = *database_;
    sqlite3* c = db.connection();
    for (Statement row(c, "SELECT id, name FROM singers"); row.step();)
        singers_[row.integer(0)] = Singer{row.integer(0), row.text(1)};
    for (Statement row(c, "SELECT singer, path, artist, title, disc FROM queue ORDER BY singer, position");
         row.step();)
        queues_[row.integer(0)].push_back(songFrom(row, 1));
    for (Statement row(c, "SELECT singer, path, key, tempo FROM styles"); row.step();)
        styles_[{row.integer(0), row.text(1)}] = SongStyle{static_cast<int>(row.integer(2)), row.real(3)};
    for (Statement row(c,
                       "SELECT id, singer, path, artist, title, sung, key, tempo FROM history ORDER BY id");
         row.step();)
        history_.push_back({row.integer(0), HistoryEntry{row.integer(1),
                                                         {row.text(2), row.text(3), row.text(4), {}},
                                                         platform::Date::fromUnix(row.real(5)),
                                                         {static_cast<int>(row.integer(6)), row.real(7)}}});
    std::vector<Seat> seats;
    for (Statement row(c, "SELECT singer, away, skip FROM rotation ORDER BY position"); row.step();)
        if (singers_.count(row.integer(0)))
            seats.push_back(Seat{row.integer(0), row.integer(1) != 0, row.integer(2) != 0});
    std::optional<SingerId> current;
    for (Statement row(c, "SELECT name, value FROM evening"); row.step();) {
        const std::string name = row.text(0);
        if (name == "rule") {
            rule_ = newcomerRuleNamed(row.text(1)).value_or(NewcomerRule::endOfRotation);
        } else if (name == "current" && !row.isNull(1)) {
            current = row.integer(1);
        } else if (name == "history" && !row.isNull(1)) {
            currentHistory_ = row.integer(1);
        } else if (name == "ended" && !row.isNull(1)) {
            currentEnded_ = row.integer(1) != 0;
        }
    }
    if (Statement row(c, "SELECT path, artist, title, disc FROM queue WHERE singer = -1"); row.step())
        currentSong_ = songFrom(row, 0);
    queues_.erase(-1);
    std::optional<std::size_t> currentIndex;
    for (std::size_t i = 0; current && i < seats.size(); ++i)
        if (seats[i].singer == *current) currentIndex = i;
    rotation_.restore(std::move(seats), currentIndex);
    if (!currentIndex) currentSong_.reset();
    if (!currentSong_) currentEnded_ = false;
}

void Evening::changed(std::vector<SingerId> queuesChanged, std::function<void(HostDatabase&)> extra) {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->seats = rotation_.seats();
    snapshot->current = rotation_.currentSinger();
    snapshot->currentSong = currentSong_;
    snapshot->currentHistory = currentHistory_;
    snapshot->ended = currentEnded_;
    snapshot->rule = rule_;
    for (const SingerId singer : queuesChanged)
        snapshot->queues.emplace_back(singer, queue(singer));
    const std::size_t count = ++changes_;
    writer_->async([this, snapshot, extra = std::move(extra), count] {
        HostDatabase& db = *database_;
        sqlite3* c = db.connection();
        try {
            db.transaction([&] {
                db.execute("DELETE FROM rotation");
                Statement seat(c, "INSERT INTO rotation(position, singer, away, skip) VALUES(?, ?, ?, ?)");
                for (std::size_t i = 0; i < snapshot->seats.size(); ++i) {
                    const Seat& s = snapshot->seats[i];
                    seat.bind(1, static_cast<std::int64_t>(i))
                        .bind(2, s.singer)
                        .bind(3, s.away ? 1 : 0)
                        .bind(4, s.skipRound ? 1 : 0);
                    seat.run();
                }
                Statement state(c, "INSERT OR REPLACE INTO evening(name, value) VALUES(?, ?)");
                state.bind(1, std::string_view("rule")).bind(2, newcomerRuleName(snapshot->rule));
                state.run();
                state.bind(1, std::string_view("current"));
                if (snapshot->current)
                    state.bind(2, *snapshot->current);
                else
                    state.bindNull(2);
                state.run();
                state.bind(1, std::string_view("history"));
                if (snapshot->currentHistory)
                    state.bind(2, *snapshot->currentHistory);
                else
                    state.bindNull(2);
                state.run();
                state.bind(1, std::string_view("ended")).bind(2, snapshot->ended ? 1 : 0);
                state.run();
                for (const auto& earlier : unwritten_->extras)
                    earlier(db);
                // The current song is kept as a queue of its own, under no singer.
                std::map<SingerId, std::vector<QueuedSong>> queues = unwritten_->queues;
                for (const auto& [singer, songs] : snapshot->queues)
                    queues[singer] = songs;
                queues[-1] =
                    snapshot->currentSong ? std::vector{*snapshot->currentSong} : std::vector<QueuedSong>{};
                Statement clear(c, "DELETE FROM queue WHERE singer = ?");
                Statement insert(c, "INSERT INTO queue(singer, position, path, artist, title, disc) "
                                    "VALUES(?, ?, ?, ?, ?, ?)");
                for (const auto& [singer, songs] : queues) {
                    clear.bind(1, singer);
                    clear.run();
                    for (std::size_t i = 0; i < songs.size(); ++i) {
                        insert.bind(1, singer).bind(2, static_cast<std::int64_t>(i)).bind(3, songs[i].path);
                        insert.bind(4, songs[i].artist).bind(5, songs[i].title).bind(6, songs[i].disc);
                        insert.run();
                    }
                }
                if (extra) extra(db);
            });
        } catch (const DatabaseError& failure) {
            // A full or failing disk: the evening stays as it is in memory, and the next change writes the
            // rotation whole again with what this one would have written.
            if (extra) unwritten_->extras.push_back(extra);
            for (const auto& [singer, songs] : snapshot->queues)
                unwritten_->queues[singer] = songs;
            if (unwritten_->failed) unwritten_->failed(failure.what());
            return;
        }
        unwritten_->extras.clear();
        unwritten_->queues.clear();
        if (*committed_) (*committed_)(count);
    });
    if (changed_) changed_();
}

std::optional<Singer> Evening::singer(SingerId id) const {
    const auto found = singers_.find(id);
    if (found == singers_.end()) return std::nullopt;
    return found->second;
}

std::vector<Singer> Evening::singersMatching(const std::string& typed, std::size_t limit) const {
    const std::string wanted = foldedForSearch(typed);
    std::vector<std::pair<bool, Singer>> found;
    for (const auto& [id, singer] : singers_) {
        const std::size_t at = foldedForSearch(singer.name).find(wanted);
        if (at != std::string::npos) found.emplace_back(at != 0, singer);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? !a.first : a.second.name < b.second.name;
    });
    std::vector<Singer> singers;
    for (std::size_t i = 0; i < found.size() && i < limit; ++i)
        singers.push_back(found[i].second);
    return singers;
}

std::optional<SingerId> Evening::addSinger(const std::string& typedName) {
    std::string name = typedName;
    name.erase(0, name.find_first_not_of(" \t"));
    name.erase(name.find_last_not_of(" \t") + 1);
    if (name.empty()) return std::nullopt;
    const std::string folded = foldedForSearch(name);
    for (const auto& [id, singer] : singers_) {
        if (foldedForSearch(singer.name) != folded) continue;
        rotation_.add(id, rule_);
        changed({});
        return id;
    }
    const SingerId id = singers_.empty() ? 1 : singers_.rbegin()->first + 1;
    singers_[id] = Singer{id, name};
    rotation_.add(id, rule_);
    changed({}, [id, name, folded](HostDatabase& db) {
        Statement insert(db.connection(), "INSERT OR REPLACE INTO singers(id, name, folded) VALUES(?, ?, ?)");
        insert.bind(1, id).bind(2, name).bind(3, folded);
        insert.run();
    });
    return id;
}

void Evening::moveSinger(std::size_t from, std::size_t to) {
    rotation_.move(from, to);
    changed({});
}

void Evening::setAway(SingerId singer, bool away) {
    rotation_.setAway(singer, away);
    changed({});
}

void Evening::setSkipRound(SingerId singer, bool skip) {
    rotation_.setSkipRound(singer, skip);
    changed({});
}

void Evening::removeSinger(SingerId singer) {
    const std::optional<std::size_t> at = rotation_.indexOf(singer);
    if (!at) return;
    Removal removal;
    removal.singer = singer;
    removal.index = *at;
    removal.seat = rotation_.seats()[*at];
    if (rotation_.currentSinger() == singer) {
        removal.currentSong = std::exchange(currentSong_, std::nullopt);
        removal.currentHistory = std::exchange(currentHistory_, std::nullopt);
        removal.wasCurrent = true;
        removal.ended = std::exchange(currentEnded_, false);
    }
    removals_.push_back(std::move(removal));
    rotation_.remove(singer);
    changed({});
}

bool Evening::undoRemoval() {
    if (removals_.empty()) return false;
    Removal removal = std::move(removals_.back());
    removals_.pop_back();
    if (removal.song) {
        std::vector<QueuedSong>& songs = queues_[removal.singer];
        songs.insert(songs.begin() + static_cast<std::ptrdiff_t>(std::min(removal.index, songs.size())),
                     std::move(*removal.song));
        changed({removal.singer});
        return true;
    }
    // Seated again meanwhile: they sit where the host put them.
    if (rotation_.indexOf(removal.singer)) return undoRemoval();
    std::vector<Seat> seats = rotation_.seats();
    const std::size_t at = std::min(removal.index, seats.size());
    seats.insert(seats.begin() + static_cast<std::ptrdiff_t>(at), *removal.seat);
    std::optional<std::size_t> current = rotation_.currentIndex();
    if (current && *current >= at) ++*current;
    // The turn comes back only when nobody has started since it went.
    if (removal.wasCurrent && !currentSong_) {
        current = at;
        currentSong_ = std::move(removal.currentSong);
        currentHistory_ = removal.currentHistory;
        currentEnded_ = removal.ended;
    }
    rotation_.restore(std::move(seats), current);
    changed({});
    return true;
}

void Evening::clearRotation() {
    rotation_.restore({}, std::nullopt);
    currentSong_.reset();
    currentHistory_.reset();
    currentEnded_ = false;
    changed({});
}

void Evening::setNewcomerRule(NewcomerRule rule) {
    rule_ = rule;
    changed({});
}

const std::vector<QueuedSong>& Evening::queue(SingerId singer) const {
    const auto found = queues_.find(singer);
    return found == queues_.end() ? noSongs : found->second;
}

void Evening::queueSong(SingerId singer, QueuedSong song) {
    if (!singers_.count(singer) || song.path.empty()) return;
    queues_[singer].push_back(std::move(song));
    changed({singer});
}

void Evening::removeSong(SingerId singer, std::size_t index) {
    auto found = queues_.find(singer);
    if (found == queues_.end() || index >= found->second.size()) return;
    Removal removal;
    removal.singer = singer;
    removal.index = index;
    removal.song = found->second[index];
    removals_.push_back(std::move(removal));
    found->second.erase(found->second.begin() + static_cast<std::ptrdiff_t>(index));
    changed({singer});
}

void Evening::moveSong(SingerId singer, std::size_t from, std::size_t to) {
    auto found = queues_.find(singer);
    if (found == queues_.end() || from >= found->second.size()) return;
    std::vector<QueuedSong>& songs = found->second;
    QueuedSong song = std::move(songs[from]);
    songs.erase(songs.begin() + static_cast<std::ptrdiff_t>(from));
    songs.insert(songs.begin() + static_cast<std::ptrdiff_t>(std::min(to, songs.size())), std::move(song));
    changed({singer});
}

bool Evening::hasSong(SingerId singer) const {
    return !queue(singer).empty();
}

std::optional<Turn> Evening::turnAt(std::optional<std::size_t> index, const Rotation& rotation) const {
    if (!index) return std::nullopt;
    const SingerId singer = rotation.seats()[*index].singer;
    const std::vector<QueuedSong>& songs = queue(singer);
    if (songs.empty()) return std::nullopt;
    Turn turn{singer, singers_.at(singer).name, songs.front(), {}};
    turn.style = style(singer, turn.song.path).value_or(SongStyle{});
    return turn;
}

std::optional<Turn> Evening::current() const {
    const std::optional<SingerId> singer = rotation_.currentSinger();
    if (!singer || !currentSong_) return std::nullopt;
    Turn turn{*singer, singers_.at(*singer).name, *currentSong_, {}};
    turn.style = style(*singer, currentSong_->path).value_or(SongStyle{});
    return turn;
}

std::optional<Turn> Evening::next() const {
    return turnAt(rotation_.nextIndex([this](SingerId s) { return hasSong(s); }), rotation_);
}

std::optional<Turn> Evening::afterNext() const {
    // As the rotation will stand once the next singer has started: skips spent, their first song gone.
    Rotation after = rotation_;
    const std::optional<std::size_t> next = after.advance([this](SingerId s) { return hasSong(s); });
    if (!next) return std::nullopt;
    const SingerId nextSinger = after.seats()[*next].singer;
    const auto waiting = [&](SingerId s) { return queue(s).size() > (s == nextSinger ? 1u : 0u); };
    const std::optional<std::size_t> index = after.nextIndex(waiting);
    if (!index) return std::nullopt;
    std::optional<Turn> turn = turnAt(index, after);
    if (turn && turn->singer == nextSinger) {
        turn->song = queue(nextSinger)[1];
        turn->style = style(nextSinger, turn->song.path).value_or(SongStyle{});
    }
    return turn;
}

std::optional<Turn> Evening::startNext() {
    const std::optional<std::size_t> index = rotation_.advance([this](SingerId s) { return hasSong(s); });
    if (!index) return std::nullopt;
    const SingerId singer = rotation_.seats()[*index].singer;
    std::vector<QueuedSong>& songs = queues_[singer];
    currentSong_ = songs.front();
    songs.erase(songs.begin());
    const SongStyle style = this->style(singer, currentSong_->path).value_or(SongStyle{});
    const std::int64_t historyId = history_.empty() ? 1 : history_.back().first + 1;
    const HistoryEntry entry{singer, *currentSong_, clock_.now(), style};
    history_.emplace_back(historyId, entry);
    currentHistory_ = historyId;
    currentEnded_ = false;
    changed({singer}, [historyId, entry](HostDatabase& db) {
        Statement insert(db.connection(),
                         "INSERT OR REPLACE INTO history(id, singer, path, artist, title, sung, key, tempo) "
                         "VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
        insert.bind(1, historyId).bind(2, entry.singer).bind(3, entry.song.path).bind(4, entry.song.artist);
        insert.bind(5, entry.song.title).bind(6, entry.sung.timeIntervalSince1970());
        insert.bind(7, entry.style.key).bind(8, entry.style.tempo);
        insert.run();
    });
    return current();
}

void Evening::currentSongEnded() {
    if (!currentSong_ || currentEnded_) return;
    currentEnded_ = true;
    changed({});
}

void Evening::setCurrentStyle(SongStyle style) {
    const std::optional<SingerId> singer = rotation_.currentSinger();
    if (!singer || !currentSong_) return;
    const std::string path = currentSong_->path;
    if (this->style(*singer, path) == style) return;
    styles_[{*singer, path}] = style;
    const std::optional<std::int64_t> historyId = currentHistory_;
    for (auto& [id, entry] : history_)
        if (historyId && id == *historyId) entry.style = style;
    changed({}, [singer = *singer, path, style, historyId](HostDatabase& db) {
        Statement keep(db.connection(),
                       "INSERT OR REPLACE INTO styles(singer, path, key, tempo) VALUES(?, ?, ?, ?)");
        keep.bind(1, singer).bind(2, path).bind(3, style.key).bind(4, style.tempo);
        keep.run();
        if (!historyId) return;
        Statement sung(db.connection(), "UPDATE history SET key = ?, tempo = ? WHERE id = ?");
        sung.bind(1, style.key).bind(2, style.tempo).bind(3, *historyId);
        sung.run();
    });
}

std::optional<SongStyle> Evening::style(SingerId singer, const std::string& path) const {
    const auto found = styles_.find({singer, path});
    if (found == styles_.end()) return std::nullopt;
    return found->second;
}

std::vector<HistoryEntry> Evening::history(SingerId singer) const {
    std::vector<HistoryEntry> sung;
    for (const auto& [id, entry] : history_)
        if (entry.singer == singer) sung.push_back(entry);
    return sung;
}

void Evening::songMoved(const std::string& from, const std::string& to) {
    std::vector<SingerId> touched;
    for (auto& [singer, songs] : queues_)
        for (QueuedSong& song : songs)
            if (song.path == from) {
                song.path = to;
                touched.push_back(singer);
            }
    if (currentSong_ && currentSong_->path == from) currentSong_->path = to;
    for (auto& [id, entry] : history_)
        if (entry.song.path == from) entry.song.path = to;
    std::map<std::pair<SingerId, std::string>, SongStyle> styles;
    for (auto& [key, style] : styles_)
        styles[{key.first, key.second == from ? to : key.second}] = style;
    styles_ = std::move(styles);
    changed(touched, [from, to](HostDatabase& db) {
        for (const char* sql : {"UPDATE OR REPLACE styles SET path = ? WHERE path = ?",
                                "UPDATE history SET path = ? WHERE path = ?"}) {
            Statement move(db.connection(), sql);
            move.bind(1, to).bind(2, from);
            move.run();
        }
    });
}

void Evening::flush() {
    writer_->sync([] {});
}

} // namespace vantle::host
