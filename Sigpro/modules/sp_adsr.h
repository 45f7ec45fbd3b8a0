#pragma once
// Gated attack-decay-sustain-release envelope; the input sample is the gate and the attack's target.
// Kernels write the four times/levels before each sample. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_adsr {
    float attack;  // s; the attack's time constant is 0.6 of it
    float decay;   // s, time constant of the fall toward sustain
    float sustain; // fraction of the gate value
    float release; // s, time constant of the fall after the gate closes
    float pole;
    float one_minus_pole;
    float level; // the output
    float target;
    float previous_gate;
    std::int32_t stage; // sp_adsr_idle, _attack, _decay or _release
};

inline constexpr std::int32_t sp_adsr_idle = 0;
inline constexpr std::int32_t sp_adsr_attack = 1;
inline constexpr std::int32_t sp_adsr_decay = 2;
inline constexpr std::int32_t sp_adsr_release = 4;

int sp_adsr_create(sp_adsr** p);
int sp_adsr_destroy(sp_adsr** p);
int sp_adsr_init(sp_data* sp, sp_adsr* p);
// The decay starts once the attack passes 0.99 of its target (of the gate value, so that soft notes decay
// too); a gate rising during the decay does not restart the attack.
int sp_adsr_compute(sp_data* sp, sp_adsr* p, float* in, float* out);

} // namespace sigpro
