#pragma once
// The init that sp_allpass and sp_comb share: their records have the same layout, a delay line of one
// loop time with a reverberation time. Kernel set-up and reset only.

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace sigpro {

template <class Record> int loopDelayLineInit(sp_data* sp, Record* p, float loopTime, const char* name) {
    p->reverb_time = 3.5f;
    p->loop_time = loopTime;
    p->coefficient = 0.0f;
    p->last_reverb_time = 0.0f;
    p->position = 0;
    p->line_length = 0;

    const float rate = static_cast<float>(sp->sample_rate);
    double length = std::trunc(double(rate * loopTime) + 0.5);
    if (!(length >= 1.0)) {
        // A loop shorter than half a sample (or not a number) would leave nothing to wrap around: run the
        // shortest loop there is, and let the coefficient follow the loop actually run.
        length = 1.0;
        if (rate > 0.0f) p->loop_time = 1.0f / rate;
    }
    if (length > double(INT32_MAX)) {
        sp_auxdata_free(&p->buffer);
        std::fprintf(stderr, "%s: loop time of %g s is too long\n", name, double(loopTime));
        return 0;
    }
    if (!sp_auxdata_alloc(&p->buffer, sizeof(float) * static_cast<std::size_t>(length))) {
        std::fprintf(stderr, "%s: out of memory\n", name);
        return 0;
    }
    p->line_length = static_cast<std::int32_t>(length);
    return 1;
}

} // namespace sigpro
