#pragma once
// The positive form of empty(), for conditions that read better without a negation. Any thread.

namespace rozezeru {

// Texts, arrays, maps, sets: anything with empty().
template <typename Collection> bool isNotEmpty(const Collection& collection) {
    return !collection.empty();
}

} // namespace rozezeru
