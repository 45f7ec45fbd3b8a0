#include "Sigpro/modules/sp_phaser.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sigpro {

struct sp_phaser_state {
    // Parameters, in registration order.
    float max_notch1_frequency;
    float min_notch1_frequency;
    float notch_width;
    float notch_frequency;
    float vibrato_mode;
    float depth;
    float feedback_gain;
    float invert;
    float level;
    float lfo_bpm;

    float period;        // 1 / sample rate (rate clamped to 1 ... 192000)
    float sweep_per_bpm; // oscillator step in radians per sample for one cycle a minute
    float sine;          // oscillator outputs of the previous frame
    float cosine;
    std::int32_t started;
    // Factors that depend on one parameter each, with the value they were computed from; valid once
    // `cached` is set.
    std::int32_t cached;
    float cached_level, gain;
    float cached_width, radius;
    float cached_bpm, sin_step, cos_step;
    // Two states per all-pass section, four sections per channel, and each channel's last cascade output.
    float sections[2][4][2];
    float last_output[2];
};

namespace {

// One channel's input through the four all-pass sections at base angular frequency `base` (rad/s).
inline float phaserCascade(sp_phaser_state& s, int channel, float x, float base, float radius2,
                           float twiceRadius, const float (&ratios)[4]) {
    for (int k = 0; k < 4; ++k) {
        float* z = s.sections[channel][k];
        const float theta = base * ratios[k] * s.period;
        const float a1 = twiceRadius * static_cast<float>(std::cos(double(theta)));
        const float v = x - (radius2 * z[1] - a1 * z[0]);
        x = radius2 * v - a1 * z[0] + z[1];
        z[1] = z[0];
        z[0] = v;
    }
    return x;
}

} // namespace

int sp_phaser_create(sp_phaser** p) {
    return createModuleRecord(p);
}

int sp_phaser_destroy(sp_phaser** p) {
    if (p != nullptr && *p != nullptr) sp_auxdata_free(&(*p)->memory);
    destroyModuleRecord(p);
    return 1;
}

int sp_phaser_init(sp_data* sp, sp_phaser* p) {
    p->parameter_count = 0;
    if (!sp_auxdata_alloc(&p->memory, sizeof(sp_phaser_state))) {
        p->state = nullptr;
        for (float*& parameter : p->parameters)
            parameter = nullptr;
        p->max_notch1_frequency = p->min_notch1_frequency = p->notch_width = p->notch_frequency = nullptr;
        p->vibrato_mode = p->depth = p->feedback_gain = p->invert = p->level = p->lfo_bpm = nullptr;
        std::fputs("sp_phaser: out of memory\n", stderr);
        return 0;
    }
    // The zero-filled block is the cleared state.
    auto* s = static_cast<sp_phaser_state*>(p->memory.data);
    const int rate = sp->sample_rate < 2 ? 1 : std::min(192000, sp->sample_rate);
    s->period = 1.0f / static_cast<float>(rate);
    s->sweep_per_bpm = 0.10472f * s->period;

    // Registered as sliders, with their declared (not enforced) ranges, then the check boxes:
    // "MaxNotch1Freq" 20 ... 10000, "MinNotch1Freq" 20 ... 5000, "Notch width" 10 ... 5000,
    // "NotchFreq" 1.1 ... 4, "VibratoMode" check box, "depth" 0 ... 1, "feedback gain" 0 ... 1,
    // "invert" check box, "level" -60 ... 10 dB, "lfobpm" 24 ... 360.
    float* registered[10] = {&s->max_notch1_frequency,
                             &s->min_notch1_frequency,
                             &s->notch_width,
                             &s->notch_frequency,
                             &s->vibrato_mode,
                             &s->depth,
                             &s->feedback_gain,
                             &s->invert,
                             &s->level,
                             &s->lfo_bpm};
    const float defaults[10] = {800.0f, 100.0f, 1000.0f, 1.5f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 30.0f};
    for (int i = 0; i < 10; ++i) {
        *registered[i] = defaults[i];
        p->parameters[p->parameter_count++] = registered[i];
    }
    p->max_notch1_frequency = p->parameters[0];
    p->min_notch1_frequency = p->parameters[1];
    p->notch_width = p->parameters[2];
    p->notch_frequency = p->parameters[3];
    p->vibrato_mode = p->parameters[4];
    p->depth = p->parameters[5];
    p->feedback_gain = p->parameters[6];
    p->invert = p->parameters[7];
    p->level = p->parameters[8];
    p->lfo_bpm = p->parameters[9];
    p->state = s;
    return 1;
}

int sp_phaser_compute(sp_data*, sp_phaser* p, float* in_left, float* in_right, float* out_left,
                      float* out_right) {
    sp_phaser_state* s = p->state;
    if (s == nullptr) {
        *out_left = *out_right = 0.0f;
        return 1;
    }
    if (!s->cached || s->level != s->cached_level) {
        s->cached_level = s->level;
        s->gain = static_cast<float>(std::pow(10.0, 0.05 * double(s->level)));
    }
    if (!s->cached || s->notch_width != s->cached_width) {
        s->cached_width = s->notch_width;
        s->radius = static_cast<float>(std::exp(double(-(3.14159f * s->notch_width * s->period))));
    }
    if (!s->cached || s->lfo_bpm != s->cached_bpm) {
        s->cached_bpm = s->lfo_bpm;
        const float step = s->sweep_per_bpm * s->lfo_bpm;
        s->sin_step = static_cast<float>(std::sin(double(step)));
        s->cos_step = static_cast<float>(std::cos(double(step)));
    }
    s->cached = 1;
    const float gain = s->gain;
    const float wet = s->vibrato_mode != 0.0f ? 1.0f : 0.5f * s->depth;
    const float dry = 1.0f - wet;
    const float signedWet = std::trunc(s->invert) != 0.0f ? -wet : wet;

    const float radius = s->radius;
    const float radius2 = radius * radius;
    const float twiceRadius = 2.0f * radius;
    const float r = s->notch_frequency;
    const float ratios[4] = {r, r * r, r * r * r, r * r * r * r};

    const float lowest = 6.28319f * s->min_notch1_frequency;
    const float halfRange =
        (6.28319f * std::max(s->max_notch1_frequency, s->min_notch1_frequency) - lowest) * 0.5f;

    const float sinStep = s->sin_step, cosStep = s->cos_step;
    const float sine = sinStep * s->cosine + cosStep * s->sine;
    const float cosine = cosStep * s->cosine - sinStep * s->sine + (1.0f - static_cast<float>(s->started));
    s->sine = sine;
    s->cosine = cosine;
    s->started = 1;

    const float inputs[2] = {*in_left, *in_right};
    const float bases[2] = {(1.0f - sine) * halfRange + lowest, (1.0f - cosine) * halfRange + lowest};
    float outputs[2];
    for (int c = 0; c < 2; ++c) {
        const float u = gain * inputs[c] + s->feedback_gain * s->last_output[c];
        const float y = phaserCascade(*s, c, u, bases[c], radius2, twiceRadius, ratios);
        s->last_output[c] = y;
        outputs[c] = inputs[c] * dry * gain + y * signedWet;
    }
    *out_left = outputs[0];
    *out_right = outputs[1];
    return 1;
}

} // namespace sigpro
