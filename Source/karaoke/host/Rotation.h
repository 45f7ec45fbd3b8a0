#pragma once
// The order singers take turns in, and its rules: who is current, who comes next, where a newcomer
// goes. Plain values; the evening keeps it. Any one thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace vantle::host {

using SingerId = std::int64_t;

// Where a singer new to the rotation is placed.
enum class NewcomerRule {
    // Last in the list: sings in this round, after everyone still waiting in it. The default: it is
    // where a host looks for them.
    endOfRotation,
    // Just before the current singer: everyone already in the rotation sings once before them.
    afterCurrentRound,
};

std::string_view newcomerRuleName(NewcomerRule rule);
std::optional<NewcomerRule> newcomerRuleNamed(std::string_view name);

struct Seat {
    SingerId singer = 0;
    // Away: passed over until back. Skipping: passed over once, the next time their turn comes.
    bool away = false;
    bool skipRound = false;
    friend bool operator==(const Seat&, const Seat&) = default;
};

class Rotation {
public:
    // Whether a singer has a song waiting.
    using HasSong = std::function<bool(SingerId)>;

    const std::vector<Seat>& seats() const { return seats_; }
    std::optional<std::size_t> currentIndex() const { return current_; }
    std::optional<SingerId> currentSinger() const;
    std::optional<std::size_t> indexOf(SingerId singer) const;

    // Seats the singer by the rule and returns where; a singer already seated stays where they are.
    std::size_t add(SingerId singer, NewcomerRule rule);
    // The seat at `from` moves to `to` (an index of the list after it left); current stays with its singer.
    void move(std::size_t from, std::size_t to);
    void remove(SingerId singer);
    void setAway(SingerId singer, bool away);
    void setSkipRound(SingerId singer, bool skip);
    // The next seat after the current one (from the top without one), round the list back to the current
    // one, whose singer is present, not skipping and has a song waiting.
    std::optional<std::size_t> nextIndex(const HasSong& hasSong) const;
    // The next seat becomes current; the skips it passed over are spent. Nothing changes without one.
    std::optional<std::size_t> advance(const HasSong& hasSong);
    // Restores a kept rotation as it was (a current index outside the seats is none).
    void restore(std::vector<Seat> seats, std::optional<std::size_t> current);

private:
    std::optional<std::size_t> scan(const HasSong& hasSong, std::vector<std::size_t>* skipped) const;
    std::vector<Seat> seats_;
    std::optional<std::size_t> current_;
};

} // namespace vantle::host
