#pragma once
// Balancer: scales a signal so that its power follows a comparator's, both measured by 10 Hz one-pole
// averages. Inputs: signal, comparator; one output. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_bal {
    float half_power_freq; // Hz, of the power averages
    float c1, c2;
    float signal_power;
    float comparator_power;
    float gain; // applied to the next sample
};

int sp_bal_create(sp_bal** p);
int sp_bal_destroy(sp_bal** p);
int sp_bal_init(sp_data* sp, sp_bal* p);
// Outputs the signal times the gain found at the previous sample.
int sp_bal_compute(sp_data* sp, sp_bal* p, float* signal, float* comparator, float* out);

} // namespace sigpro
