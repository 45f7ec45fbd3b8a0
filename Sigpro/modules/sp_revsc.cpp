#include "Sigpro/modules/sp_revsc.h"

#include "Sigpro/modules/DelayCubic.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace sigpro {
namespace {

struct RevscLineParameters {
    double delay;     // seconds
    double variation; // seconds
    double frequency; // Hz of the random segments
    double seed;
};

constexpr RevscLineParameters revscLineTable[8] = {
    {2473.0 / 44100.0, 0.0010, 3.100, 1966.0},  {2767.0 / 44100.0, 0.0011, 3.500, 29491.0},
    {3217.0 / 44100.0, 0.0017, 1.110, 22937.0}, {3557.0 / 44100.0, 0.0006, 3.973, 9830.0},
    {3907.0 / 44100.0, 0.0010, 2.341, 20643.0}, {4127.0 / 44100.0, 0.0011, 1.897, 22937.0},
    {2143.0 / 44100.0, 0.0017, 0.891, 29491.0}, {1933.0 / 44100.0, 0.0006, 3.221, 14417.0},
};

constexpr double revscFixedOne = 268435456.0; // 2^28
constexpr std::int32_t revscFractionMask = (1 << 28) - 1;
// The read head never runs backwards nor more than four samples a sample, whatever the drift depth:
// the 28-bit fraction then cannot overflow and one wrap keeps the position inside the line.
constexpr double revscMaxStep = 4.0 * revscFixedOne;

double revscDriftDelay(const sp_revsc* p, const RevscLineParameters& line, std::int32_t seed) {
    return seed * line.variation * (1.0 / 32768.0) * p->pitch_modulation + line.delay;
}

void revscStartSegment(sp_revsc* p, sp_revsc_line& line, const RevscLineParameters& params) {
    line.seed = static_cast<std::int16_t>(static_cast<std::uint16_t>((line.seed * 15625 + 1) & 0xFFFF));
    const long count = std::lround(p->sample_rate_f / params.frequency);
    line.segment_count = count > 1 ? static_cast<std::int32_t>(count) : 1;

    double current = line.write_position - (line.read_fraction / revscFixedOne + line.read_position);
    while (current < 0.0)
        current += line.size;
    const double next = revscDriftDelay(p, params, line.seed);
    double step =
        ((current / p->sample_rate_f - next) / line.segment_count * p->sample_rate_f + 1.0) * revscFixedOne;
    if (!(step > 0.0)) step = 0.0;
    if (step > revscMaxStep) step = revscMaxStep;
    line.read_fraction_step = static_cast<std::int32_t>(std::lround(step));
}

} // namespace

int sp_revsc_create(sp_revsc** p) {
    return createModuleRecord(p);
}

int sp_revsc_destroy(sp_revsc** p) {
    if (p != nullptr && *p != nullptr) sp_auxdata_free(&(*p)->storage);
    destroyModuleRecord(p);
    return 1;
}

int sp_revsc_init(sp_data* sp, sp_revsc* p) {
    p->ready = 0;
    p->feedback = 0.97f;
    p->lowpass_frequency = 10000.0f;
    p->pitch_modulation = 1.0f;
    p->sample_rate_f = static_cast<float>(sp->sample_rate > 1 ? sp->sample_rate : 1);
    p->damping = 1.0f;
    p->last_lowpass_frequency = 0.0f;

    std::size_t total = 0;
    for (int n = 0; n < 8; ++n) {
        const RevscLineParameters& params = revscLineTable[n];
        const auto seconds = static_cast<float>(params.variation * 1.125 + params.delay);
        const float samples = p->sample_rate_f * seconds;
        p->lines[n].size = static_cast<std::int32_t>(static_cast<double>(samples) + 16.5);
        total += static_cast<std::size_t>(p->lines[n].size);
    }
    if (!sp_auxdata_alloc(&p->storage, sizeof(float) * total)) {
        for (sp_revsc_line& line : p->lines)
            line = sp_revsc_line{};
        std::fputs("sp_revsc: out of memory\n", stderr);
        return 0;
    }

    auto* block = static_cast<float*>(p->storage.data);
    for (int n = 0; n < 8; ++n) {
        const RevscLineParameters& params = revscLineTable[n];
        sp_revsc_line& line = p->lines[n];
        line.samples = block;
        block += line.size;
        line.seed = static_cast<std::int32_t>(params.seed + 0.5);
        line.write_position = 0;
        line.filter_state = 0.0f;
        const float start = static_cast<float>(line.size) -
                            static_cast<float>(revscDriftDelay(p, params, line.seed)) * p->sample_rate_f;
        line.read_position = static_cast<std::int32_t>(start);
        line.read_fraction = static_cast<std::int32_t>(
            std::lround((start - static_cast<float>(line.read_position)) * revscFixedOne));
        revscStartSegment(p, line, params);
    }
    p->ready = 1;
    return 1;
}

int sp_revsc_compute(sp_data*, sp_revsc* p, float* in_left, float* in_right, float* out_left,
                     float* out_right) {
    if (p->ready < 1) {
        *out_left = *out_right = 0.0f;
        return 0;
    }
    if (p->lowpass_frequency != p->last_lowpass_frequency) {
        p->last_lowpass_frequency = p->lowpass_frequency;
        const double b =
            2.0 - std::cos(2.0 * std::numbers::pi * double(p->lowpass_frequency) / p->sample_rate_f);
        p->damping = static_cast<float>(b - std::sqrt(b * b - 1.0));
    }

    float junction = 0.0f;
    for (const sp_revsc_line& line : p->lines)
        junction += line.filter_state;
    junction *= 0.25f;

    float sums[2] = {0.0f, 0.0f};
    for (int n = 0; n < 8; ++n) {
        sp_revsc_line& line = p->lines[n];
        const float input = (n & 1) == 0 ? *in_left : *in_right;
        line.samples[line.write_position] = input + junction - line.filter_state;
        if (++line.write_position >= line.size) line.write_position = 0;

        if (line.read_fraction > revscFractionMask) {
            line.read_position += line.read_fraction >> 28;
            line.read_fraction &= revscFractionMask;
            if (line.read_position >= line.size) line.read_position -= line.size;
        }
        const std::int32_t i = line.read_position;
        const std::int32_t before = i > 0 ? i - 1 : line.size - 1;
        const std::int32_t next = i + 1 < line.size ? i + 1 : i + 1 - line.size;
        const std::int32_t after = next + 1 < line.size ? next + 1 : next + 1 - line.size;
        const auto a = static_cast<float>(line.read_fraction / revscFixedOne);
        float v =
            delayCubic(a, line.samples[before], line.samples[i], line.samples[next], line.samples[after]);
        line.read_fraction += line.read_fraction_step;

        v *= p->feedback;
        line.filter_state = (line.filter_state - v) * p->damping + v;
        sums[n & 1] += line.filter_state;
        if (--line.segment_count < 1) revscStartSegment(p, line, revscLineTable[n]);
    }
    *out_left = sums[0] * 0.35f;
    *out_right = sums[1] * 0.35f;
    return 1;
}

} // namespace sigpro
