#include "Source/karaoke/host/Rotation.h"

#include <algorithm>

namespace vantle::host {

std::string_view newcomerRuleName(NewcomerRule rule) {
    return rule == NewcomerRule::afterCurrentRound ? "afterCurrentRound" : "endOfRotation";
}

std::optional<NewcomerRule> newcomerRuleNamed(std::string_view name) {
    if (name == "endOfRotation") return NewcomerRule::endOfRotation;
    if (name == "afterCurrentRound") return NewcomerRule::afterCurrentRound;
    return std::nullopt;
}

std::optional<SingerId> Rotation::currentSinger() const {
    if (!current_) return std::nullopt;
    return seats_[*current_].singer;
}

std::optional<std::size_t> Rotation::indexOf(SingerId singer) const {
    const auto found =
        std::find_if(seats_.begin(), seats_.end(), [&](const Seat& seat) { return seat.singer == singer; });
    if (found == seats_.end()) return std::nullopt;
    return static_cast<std::size_t>(found - seats_.begin());
}

std::size_t Rotation::add(SingerId singer, NewcomerRule rule) {
    if (const auto seated = indexOf(singer)) return *seated;
    std::size_t at = seats_.size();
    if (rule == NewcomerRule::afterCurrentRound && current_) at = *current_;
    seats_.insert(seats_.begin() + static_cast<std::ptrdiff_t>(at), Seat{singer});
    if (current_ && at <= *current_) ++*current_;
    return at;
}

void Rotation::move(std::size_t from, std::size_t to) {
    if (from >= seats_.size()) return;
    const std::optional<SingerId> current = currentSinger();
    const Seat seat = seats_[from];
    seats_.erase(seats_.begin() + static_cast<std::ptrdiff_t>(from));
    to = std::min(to, seats_.size());
    seats_.insert(seats_.begin() + static_cast<std::ptrdiff_t>(to), seat);
    if (current) current_ = indexOf(*current);
}

void Rotation::remove(SingerId singer) {
    const auto at = indexOf(singer);
    if (!at) return;
    seats_.erase(seats_.begin() + static_cast<std::ptrdiff_t>(*at));
    if (!current_) return;
    if (*current_ == *at) {
        // The turn passes on from where they sat: the one after them is next, as it would have been.
        current_ = *at == 0 ? std::optional<std::size_t>() : std::optional<std::size_t>(*at - 1);
        if (seats_.empty()) current_.reset();
    } else if (*at < *current_) {
        --*current_;
    }
}

void Rotation::setAway(SingerId singer, bool away) {
    if (const auto at = indexOf(singer)) seats_[*at].away = away;
}

void Rotation::setSkipRound(SingerId singer, bool skip) {
    if (const auto at = indexOf(singer)) seats_[*at].skipRound = skip;
}

std::optional<std::size_t> Rotation::scan(const HasSong& hasSong, std::vector<std::size_t>* skipped) const {
    const std::size_t count = seats_.size();
    const std::size_t start = current_ ? *current_ + 1 : 0;
    for (std::size_t step = 0; step < count; ++step) {
        const std::size_t at = (start + step) % count;
        const Seat& seat = seats_[at];
        if (seat.away || !hasSong(seat.singer)) continue;
        if (seat.skipRound) {
            if (skipped) skipped->push_back(at);
            continue;
        }
        return at;
    }
    return std::nullopt;
}

std::optional<std::size_t> Rotation::nextIndex(const HasSong& hasSong) const {
    return scan(hasSong, nullptr);
}

std::optional<std::size_t> Rotation::advance(const HasSong& hasSong) {
    std::vector<std::size_t> skipped;
    const std::optional<std::size_t> next = scan(hasSong, &skipped);
    if (!next) return std::nullopt;
    for (const std::size_t at : skipped)
        seats_[at].skipRound = false;
    current_ = next;
    return next;
}

void Rotation::restore(std::vector<Seat> seats, std::optional<std::size_t> current) {
    seats_ = std::move(seats);
    current_ = current && *current < seats_.size() ? current : std::nullopt;
}

} // namespace vantle::host
