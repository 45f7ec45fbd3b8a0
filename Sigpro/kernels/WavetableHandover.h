#pragma once
// Hands wavetables from the configuring thread to the render thread without a lock, for the kernels that
// fade from one table to the next while they render (the tremolo, the dynamic oscillator). Each table
// published becomes a record; the render side takes the newest record up at the start of a render call and
// retires the one it faded from, and the configuring side frees only records that are retired or older
// than a retired one, so no table is freed while the render side may still read it.
//
// Threads: publish and clear on the configuring thread (clear only while nothing renders); takeUp, current
// and previous on the render thread.

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ftbl.h"

#include <atomic>
#include <memory>
#include <span>
#include <vector>

namespace sigpro {

class WavetableHandover {
public:
    WavetableHandover() = default;
    WavetableHandover(const WavetableHandover&) = delete;
    WavetableHandover& operator=(const WavetableHandover&) = delete;
    ~WavetableHandover();

    // Builds a table of `samples` for the context's rate and makes it the newest, then frees what the
    // render side no longer reads. Nothing is published for no samples, or for a table sp_ftbl_create
    // refuses (it says why); the result tells whether a table was.
    bool publish(sp_data* sp, std::span<const float> samples);
    // Forgets every table, the render side's too.
    void clear();

    // Takes the newest table up. True when it follows another table: a fade from previous() to current()
    // begins.
    bool takeUp();
    // Null until a table was taken up.
    sp_ftbl* current() const { return current_ ? current_->table : nullptr; }
    // The table current() replaced, null before the first replacement.
    sp_ftbl* previous() const { return previous_ ? previous_->table : nullptr; }

private:
    struct Record {
        explicit Record(sp_ftbl* table) : table(table) {}
        ~Record() { sp_ftbl_destroy(&table); }
        Record(const Record&) = delete;
        Record& operator=(const Record&) = delete;

        sp_ftbl* table;
        // Set by the render side once it will not read the table again.
        std::atomic<bool> retired{false};
    };

    void freeRetiredRecords();

    // Configuring side: every record made and not yet freed, oldest first.
    std::vector<std::unique_ptr<Record>> records_;
    std::atomic<Record*> pending_{nullptr};
    // Render side.
    Record* current_ = nullptr;
    Record* previous_ = nullptr;
};

} // namespace sigpro
