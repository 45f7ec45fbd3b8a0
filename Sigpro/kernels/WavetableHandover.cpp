#include "Sigpro/kernels/WavetableHandover.h"

#include <algorithm>

namespace sigpro {

WavetableHandover::~WavetableHandover() = default;

bool WavetableHandover::publish(sp_data* sp, std::span<const float> samples) {
    sp_ftbl* table = nullptr;
    if (samples.empty() || sp_ftbl_create(sp, &table, samples.size()) != 1) return false;
    std::copy(samples.begin(), samples.end(), table->table);
    records_.push_back(std::make_unique<Record>(table));
    pending_.store(records_.back().get(), std::memory_order_release);
    freeRetiredRecords();
    return true;
}

void WavetableHandover::freeRetiredRecords() {
    // Records older than a retired one were retired before it or never taken up: none is read any more.
    for (std::size_t index = records_.size(); index-- > 0;) {
        if (records_[index]->retired.load(std::memory_order_acquire)) {
            records_.erase(records_.begin(), records_.begin() + std::ptrdiff_t(index) + 1);
            return;
        }
    }
}

void WavetableHandover::clear() {
    current_ = previous_ = nullptr;
    pending_.store(nullptr, std::memory_order_relaxed);
    records_.clear();
}

bool WavetableHandover::takeUp() {
    Record* pending = pending_.load(std::memory_order_acquire);
    if (pending == current_) return false;
    if (previous_) previous_->retired.store(true, std::memory_order_release);
    previous_ = current_;
    current_ = pending;
    return previous_ != nullptr;
}

} // namespace sigpro
