#pragma once
// The base of the kernels that read one oscillator from the kernel's wavetable and fade to each new table
// as it arrives (the dynamic oscillator, the tremolo): the oscillator, the kept table, the lock-free
// handover of new tables to the render side and the 200-frame fade from the table in use.
//
// Threads as DSPBase, and setWavetable may also run while the kernel renders: the configuring side only
// publishes new tables and frees tables the render side has retired; the render side takes the newest
// table up at the start of each process call and retires the one it faded out (WavetableHandover.h).

#include "Sigpro/kernels/SigproDSPBase.h"
#include "Sigpro/kernels/WavetableHandover.h"
#include "Sigpro/modules/sp_dynamicosc.h"

#include <cstddef>
#include <vector>

namespace sigpro {

class WavetableFadeDSP : public SigproDSPBase {
public:
    // Of the fade to a new table, per frame: 200 frames.
    static constexpr double crossfadeStep = 0.005;

    ~WavetableFadeDSP() override;

    void init(int channelCount, double sampleRate) override;
    void deinit() override;
    // Restarts the oscillator at phase 0; nothing before init or after deinit.
    void reset() override;

protected:
    explicit WavetableFadeDSP(int inputBusCount);

    // Keeps a copy for the next init and, while initialized, publishes the table to the render side.
    void keepWavetable(const float* table, std::size_t length);

    // Render side, at the start of each process call: a new table starts the fade.
    void takeUpNewestTable();
    // Render side, once a frame, after the oscillator's frequency and amplitude are set: moves the fade on
    // and reads the table faded from and the table faded to (0 for a table that is not there). Both reads
    // are on one phase: only the second moves it on, and once the fade is over the old table weighs
    // nothing and is not read.
    void readFrame(float& fadingOut, float& fadingIn);
    // From 0 (all the old table) to 1 (all the new one).
    double crossfade() const { return crossfade_; }

    // Null before init, after deinit, or when it could not be made.
    sp_dynamicosc* oscillator_ = nullptr;

private:
    std::vector<float> wavetable_;
    WavetableHandover tables_;
    // Render side.
    double crossfade_ = 0.0;
};

} // namespace sigpro
