#include "Sigpro/modules/sp_zitarev.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <numbers>

namespace sigpro {
namespace {

struct ZitarevLineTimes {
    double total;   // s
    double allpass; // s
};

constexpr ZitarevLineTimes zitarevLineTable[8] = {
    {0.219991, 0.019123}, {0.256891, 0.027333}, {0.192303, 0.029291}, {0.210389, 0.024421},
    {0.125000, 0.013458}, {0.127837, 0.031604}, {0.174713, 0.022904}, {0.153129, 0.020346},
};

// Which Hadamard output each line takes.
constexpr int zitarevFeedSource[8] = {7, 3, 5, 1, 6, 2, 4, 0};

constexpr float zitarevMaxRate = 192000.0f;
// The pre-delay lines are never shorter than this, so a longer pre-delay than the top of the range still
// works where the line happens to hold it.
constexpr std::uint32_t zitarevMinPredelayLength = 8192;

std::uint32_t zitarevLineLength(std::int64_t samples) {
    return std::bit_ceil(static_cast<std::uint32_t>(std::max<std::int64_t>(samples, 1)));
}

std::int32_t zitarevSamples(double seconds, float rate) {
    return static_cast<std::int32_t>(std::floor(seconds * rate + 0.5));
}

void zitarevBindParameters(sp_zitarev* p, sp_zitarev_state* s) {
    for (float*& parameter : p->parameters)
        parameter = nullptr;
    p->parameter_count = 0;
    if (s != nullptr) {
        float* values[11] = {&s->predelay,
                             &s->crossover_frequency,
                             &s->low_release_time,
                             &s->mid_release_time,
                             &s->damping_frequency,
                             &s->equalizer_frequency1,
                             &s->equalizer_level1,
                             &s->equalizer_frequency2,
                             &s->equalizer_level2,
                             &s->dry_wet_mix,
                             &s->level};
        for (int i = 0; i < 11; ++i)
            p->parameters[i] = values[i];
        p->parameter_count = 11;
    }
    p->predelay = p->parameters[0];
    p->crossover_frequency = p->parameters[1];
    p->low_release_time = p->parameters[2];
    p->mid_release_time = p->parameters[3];
    p->damping_frequency = p->parameters[4];
    p->equalizer_frequency1 = p->parameters[5];
    p->equalizer_level1 = p->parameters[6];
    p->equalizer_frequency2 = p->parameters[7];
    p->equalizer_level2 = p->parameters[8];
    p->dry_wet_mix = p->parameters[9];
    p->level = p->parameters[10];
}

void zitarevUpdateCoefficients(sp_zitarev_state* s) {
    const float rate = s->sample_rate;
    if (s->level != s->seen_level) {
        s->seen_level = s->level;
        s->level_gain = static_cast<float>(std::pow(10.0, 0.05 * s->level));
    }
    const float frequencies[2] = {s->equalizer_frequency1, s->equalizer_frequency2};
    const float levels[2] = {s->equalizer_level1, s->equalizer_level2};
    for (int i = 0; i < 2; ++i) {
        if (frequencies[i] == s->seen_equalizer[i][0] && levels[i] == s->seen_equalizer[i][1]) continue;
        s->seen_equalizer[i][0] = frequencies[i];
        s->seen_equalizer[i][1] = levels[i];
        s->equalizer_coefficients[i] = zitarevEqualizerCoefficients(frequencies[i], levels[i], rate);
    }
    if (s->crossover_frequency != s->seen_crossover) {
        s->seen_crossover = s->crossover_frequency;
        const double inverse = 1.0 / std::tan(3.14159 * s->crossover_frequency / rate);
        s->crossover_b = static_cast<float>(1.0 / (inverse + 1.0));
        s->crossover_a = static_cast<float>(-(1.0 - inverse) / (inverse + 1.0));
    }
    if (s->low_release_time != s->seen_decay[0] || s->mid_release_time != s->seen_decay[1] ||
        s->damping_frequency != s->seen_decay[2]) {
        s->seen_decay[0] = s->low_release_time;
        s->seen_decay[1] = s->mid_release_time;
        s->seen_decay[2] = s->damping_frequency;
        const double cosine = std::cos(2.0 * std::numbers::pi * s->damping_frequency / rate);
        for (int n = 0; n < 8; ++n) {
            const double low = std::exp(s->decay_constant[n] / s->low_release_time);
            const double mid = std::exp(s->decay_constant[n] / s->mid_release_time);
            const double u = (1.0 - mid * mid * cosine) / (1.0 - mid * mid);
            const double pole = u - std::sqrt(std::max(0.0, u * u - 1.0));
            s->low_ratio[n] = static_cast<float>(low / mid - 1.0);
            s->mid_gain[n] = static_cast<float>(mid * (1.0 - pole));
            s->pole[n] = static_cast<float>(pole);
        }
    }
}

} // namespace

int sp_zitarev_create(sp_zitarev** p) {
    return createModuleRecord(p);
}

int sp_zitarev_destroy(sp_zitarev** p) {
    if (p != nullptr && *p != nullptr && (*p)->state != nullptr) {
        sp_auxdata_free(&(*p)->state->memory);
        delete (*p)->state;
    }
    destroyModuleRecord(p);
    return 1;
}

int sp_zitarev_init(sp_data* sp, sp_zitarev* p) {
    if (p->state == nullptr) p->state = new (std::nothrow) sp_zitarev_state{};
    sp_zitarev_state* s = p->state;
    zitarevBindParameters(p, s);
    if (s == nullptr) {
        std::fputs("sp_zitarev: out of memory\n", stderr);
        return 0;
    }
    const sp_auxdata memory = s->memory;
    *s = sp_zitarev_state{};
    s->memory = memory;

    s->predelay = 60.0f;
    s->crossover_frequency = 200.0f;
    s->low_release_time = 3.0f;
    s->mid_release_time = 2.0f;
    s->damping_frequency = 6000.0f;
    s->equalizer_frequency1 = 315.0f;
    s->equalizer_level1 = 0.0f;
    s->equalizer_frequency2 = 1500.0f;
    s->equalizer_level2 = 0.0f;
    s->dry_wet_mix = 1.0f;
    s->level = 0.0f;
    s->sample_rate = std::clamp(static_cast<float>(sp->sample_rate), 1.0f, zitarevMaxRate);

    // Lines shorter than one sample cannot hold a delay, so the diffuser delays at least one sample and the
    // main line at least none beyond it; that also keeps the decay constant (and 1 - gM^2) away from 0.
    std::size_t total = 0;
    for (int n = 0; n < 8; ++n) {
        const std::int32_t allpass = std::max(1, zitarevSamples(zitarevLineTable[n].allpass, s->sample_rate));
        const std::int32_t whole =
            std::max(allpass, zitarevSamples(zitarevLineTable[n].total, s->sample_rate));
        s->allpass_delay[n] = allpass;
        s->total_delay[n] = whole;
        s->decay_constant[n] = -6.90776f * static_cast<float>(whole) / s->sample_rate;
        s->main_mask[n] = zitarevLineLength(whole - allpass + 1) - 1;
        s->allpass_mask[n] = zitarevLineLength(allpass) - 1;
        total += s->main_mask[n] + 1 + s->allpass_mask[n] + 1;
    }
    const auto longestPredelay = static_cast<std::int64_t>(0.001f * s->sample_rate * sp_zitarev_max_predelay);
    s->predelay_mask = std::max(zitarevMinPredelayLength, zitarevLineLength(longestPredelay + 1)) - 1;
    total += 2 * (std::size_t{s->predelay_mask} + 1);

    if (!sp_auxdata_alloc(&s->memory, sizeof(float) * total)) {
        std::fputs("sp_zitarev: out of memory\n", stderr);
        return 0;
    }
    auto* block = static_cast<float*>(s->memory.data);
    for (int n = 0; n < 8; ++n) {
        s->main_line[n] = block;
        block += s->main_mask[n] + 1;
        s->allpass_line[n] = block;
        block += s->allpass_mask[n] + 1;
    }
    for (float*& line : s->predelay_line) {
        line = block;
        block += s->predelay_mask + 1;
    }

    const float unseen = std::numeric_limits<float>::quiet_NaN();
    s->seen_level = s->seen_crossover = unseen;
    for (auto& pair : s->seen_equalizer)
        pair[0] = pair[1] = unseen;
    for (float& seen : s->seen_decay)
        seen = unseen;
    s->ready = 1;
    return 1;
}

int sp_zitarev_compute(sp_data*, sp_zitarev* p, float* in_left, float* in_right, float* out_left,
                       float* out_right) {
    sp_zitarev_state* s = p->state;
    if (s == nullptr || !s->ready) {
        *out_left = *out_right = 0.0f;
        return 1;
    }
    zitarevUpdateCoefficients(s);
    s->mix = 0.999f * s->mix + 0.001f * s->dry_wet_mix;
    s->gain = 0.999f * s->gain + 0.001f * s->level_gain;

    const std::uint32_t now = s->counter;
    s->predelay_line[0][now & s->predelay_mask] = *in_left;
    s->predelay_line[1][now & s->predelay_mask] = *in_right;
    const float wanted = 0.001f * s->sample_rate * s->predelay;
    std::uint32_t back = 0;
    if (wanted >= static_cast<float>(s->predelay_mask))
        back = s->predelay_mask;
    else if (wanted > 0.0f)
        back = static_cast<std::uint32_t>(wanted);
    const float left = 0.3f * s->predelay_line[0][(now - back) & s->predelay_mask];
    const float right = 0.3f * s->predelay_line[1][(now - back) & s->predelay_mask];

    const float a = s->crossover_a;
    const float b = s->crossover_b;
    for (int n = 0; n < 8; ++n) {
        const float x1 = s->mix_previous[n];
        s->lowpass[n] = a * s->lowpass[n] + b * (x1 + s->mix_before[n]);
        s->decay[n] = s->pole[n] * s->decay[n] + s->mid_gain[n] * (s->low_ratio[n] * s->lowpass[n] + x1);
        s->main_line[n][now & s->main_mask[n]] = s->decay[n] * 0.353553f + 1e-20f;
    }

    float o[8];
    for (int n = 0; n < 8; ++n) {
        const auto mainBack = static_cast<std::uint32_t>(s->total_delay[n] - s->allpass_delay[n]);
        const float z = s->main_line[n][(now - mainBack) & s->main_mask[n]];
        const float delayed = s->allpass_out[n];
        const float input = n < 4 ? right : left;
        const float entering = (n & 2) == 0 ? -input : input;
        float v;
        if (n < 4) {
            v = z + 0.6f * delayed + entering;
            o[n] = delayed - 0.6f * v;
        } else {
            v = z - 0.6f * delayed + entering;
            o[n] = delayed + 0.6f * v;
        }
        const auto allpassBack = static_cast<std::uint32_t>(s->allpass_delay[n] - 1);
        s->allpass_line[n][now & s->allpass_mask[n]] = v;
        s->allpass_out[n] = s->allpass_line[n][(now - allpassBack) & s->allpass_mask[n]];
    }

    const float h[8] = {
        o[0] + o[1] + o[2] + o[3] + o[4] + o[5] + o[6] + o[7],
        (o[4] + o[5] + o[6] + o[7]) - (o[0] + o[1] + o[2] + o[3]),
        (o[2] + o[3] + o[6] + o[7]) - (o[0] + o[1] + o[4] + o[5]),
        (o[0] + o[1] + o[6] + o[7]) - (o[2] + o[3] + o[4] + o[5]),
        (o[1] + o[3] + o[5] + o[7]) - (o[0] + o[2] + o[4] + o[6]),
        (o[0] + o[2] + o[5] + o[7]) - (o[1] + o[3] + o[4] + o[6]),
        (o[0] + o[3] + o[4] + o[7]) - (o[1] + o[2] + o[5] + o[6]),
        (o[1] + o[2] + o[4] + o[7]) - (o[0] + o[3] + o[5] + o[6]),
    };
    for (int n = 0; n < 8; ++n) {
        s->mix_before[n] = s->mix_previous[n];
        s->mix_previous[n] = h[zitarevFeedSource[n]];
    }

    float wet[2] = {0.37f * (h[1] + h[2]), 0.37f * (h[1] - h[2])};
    for (int channel = 0; channel < 2; ++channel)
        for (int section = 0; section < 2; ++section)
            wet[channel] = zitarevEqualizerStep(s->equalizer_coefficients[section],
                                                s->equalizer[channel][section], wet[channel]);

    const float dry = 1.0f - s->mix;
    *out_left = (*in_left * dry + wet[0] * s->mix) * s->gain;
    *out_right = (*in_right * dry + wet[1] * s->mix) * s->gain;
    s->counter = now + 1;
    return 1;
}

} // namespace sigpro
