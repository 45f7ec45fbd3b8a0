#include "Sigpro/modules/sp_voc.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {
namespace {

constexpr float vocPi = std::numbers::pi_v<float>;

// Moves `current` towards `target` by at most `up` or `down`, never past it.
inline float vocMoveTowards(float current, float target, float up, float down) {
    if (current < target) return current + up < target ? current + up : target;
    return current - down > target ? current - down : target;
}

// Shape of the glottal pulse for the current frequency and tenseness (Liljencrants-Fant model).
void vocSetupWaveform(sp_voc* v) {
    v->Rd = 3.0f * (1.0f - v->tenseness);
    v->waveform_length = 1.0f / v->frequency;
    float Rd = v->Rd;
    if (Rd < 0.5f) Rd = 0.5f;
    if (Rd > 2.7f) Rd = 2.7f;

    const float Ra = 0.048f * Rd - 0.01f;
    const float Rk = 0.118f * Rd + 0.224f;
    const float Rg = (0.25f * Rk) * (0.5f + 1.2f * Rk) / (0.11f * Rd - Ra * (0.5f + 1.2f * Rk));

    const float Tp = 1.0f / (2.0f * Rg);
    const float Te = Tp + Tp * Rk;
    const float epsilon = 1.0f / Ra;
    const float shift = static_cast<float>(std::exp(double(-epsilon * (1.0f - Te))));
    const float delta = 1.0f - shift;

    const float integral = ((1.0f - Te) * shift + (shift - 1.0f) / epsilon) / delta;
    const float omega = vocPi / Tp;
    const float s = static_cast<float>(std::sin(double(omega * Te)));
    const float y = (integral - (Te - Tp) * 0.5f) * vocPi * s / (2.0f * Tp);
    const float alpha = static_cast<float>(std::log(double(y))) / (Tp * 0.5f - Te);

    v->alpha = alpha;
    v->E0 = -1.0f / (s * static_cast<float>(std::exp(double(alpha * Te))));
    v->epsilon = epsilon;
    v->shift = shift;
    v->delta = delta;
    v->Te = Te;
    v->omega = omega;
}

float vocGlottalSample(const sp_voc* v) {
    const float t = v->time_in_waveform / v->waveform_length;
    if (t > v->Te)
        return (v->shift - static_cast<float>(std::exp(double(-v->epsilon * (t - v->Te))))) / v->delta;
    return v->E0 * static_cast<float>(std::exp(double(v->alpha * t))) *
           static_cast<float>(std::sin(double(v->omega * t)));
}

void vocAddTransient(sp_voc_tract* tr, int position) {
    sp_voc_transient_pool& pool = tr->transients;
    if (pool.count >= sp_voc_max_transients) return;
    for (sp_voc_transient& t : pool.pool) {
        if (!t.is_free) continue;
        t.is_free = 0;
        t.position = position;
        t.time_alive = 0.0f;
        t.lifetime = 0.2f;
        t.strength = 0.3f;
        t.exponent = 200.0f;
        t.next = pool.root;
        pool.root = &t;
        ++pool.count;
        return;
    }
}

void vocProcessTransients(sp_voc_tract* tr) {
    sp_voc_transient_pool& pool = tr->transients;
    sp_voc_transient* previous = nullptr;
    sp_voc_transient* t = pool.root;
    while (t != nullptr) {
        const float amplitude =
            t->strength * static_cast<float>(std::exp2(double(-t->exponent * t->time_alive)));
        tr->right[t->position] += amplitude * 0.5f;
        tr->left[t->position] += amplitude * 0.5f;
        t->time_alive += tr->seconds_per_sample * 0.5f;
        sp_voc_transient* next = t->next;
        if (t->time_alive > t->lifetime) {
            if (previous != nullptr)
                previous->next = next;
            else
                pool.root = next;
            t->next = nullptr;
            t->is_free = 1;
            --pool.count;
        } else {
            previous = t;
        }
        t = next;
    }
}

// Moves the diameters towards their targets once per block; a closure that opens releases a click.
void vocReshape(sp_voc_tract* tr) {
    const float amount = tr->block_time * tr->movement_speed;
    int obstruction = -1;
    for (int i = 0; i < tr->length; ++i) {
        const float diameter = tr->diameter[i];
        if (diameter <= 0.001f) obstruction = i;
        float slowReturn;
        if (i < tr->nose_start)
            slowReturn = 0.6f;
        else if (i >= tr->tip_start)
            slowReturn = 1.0f;
        else
            slowReturn = 0.6f + 0.4f * float(i - tr->nose_start) / float(tr->tip_start - tr->nose_start);
        tr->diameter[i] =
            vocMoveTowards(diameter, tr->target_diameter[i], slowReturn * amount, 2.0f * amount);
    }
    if (tr->last_obstruction > -1 && obstruction == -1 && tr->nose_area[0] < 0.05f)
        vocAddTransient(tr, tr->last_obstruction);
    tr->last_obstruction = obstruction;

    tr->nose_diameter[0] =
        vocMoveTowards(tr->nose_diameter[0], tr->velum_target, 0.25f * amount, 0.1f * amount);
    tr->nose_area[0] = tr->nose_diameter[0] * tr->nose_diameter[0];
}

// The coefficients of the previous block become the current ones; new ones come from the diameters.
void vocComputeReflections(sp_voc_tract* tr) {
    for (int i = 0; i < tr->length; ++i)
        tr->area[i] = tr->diameter[i] * tr->diameter[i];
    for (int i = 1; i < tr->length; ++i) {
        tr->reflection[i] = tr->new_reflection[i];
        if (tr->area[i] == 0.0f)
            tr->new_reflection[i] = 0.999f;
        else
            tr->new_reflection[i] = (tr->area[i - 1] - tr->area[i]) / (tr->area[i - 1] + tr->area[i]);
    }
    tr->reflection_left = tr->new_reflection_left;
    tr->reflection_right = tr->new_reflection_right;
    tr->reflection_nose = tr->new_reflection_nose;
    const int v = tr->nose_start;
    const float sum = tr->area[v] + tr->area[v + 1] + tr->nose_area[0];
    tr->new_reflection_left = (2.0f * tr->area[v] - sum) / sum;
    tr->new_reflection_right = (2.0f * tr->area[v + 1] - sum) / sum;
    tr->new_reflection_nose = (2.0f * tr->nose_area[0] - sum) / sum;
}

// One step of both waveguides; lambda interpolates the reflections across the block.
void vocTractStep(sp_voc_tract* tr, float input, float lambda) {
    vocProcessTransients(tr);
    const int n = tr->length;
    tr->junction_right[0] = tr->left[0] * tr->glottal_reflection + input;
    tr->junction_left[n] = tr->right[n - 1] * tr->lip_reflection;

    for (int i = 1; i < n; ++i) {
        const float r = tr->reflection[i] * (1.0f - lambda) + tr->new_reflection[i] * lambda;
        const float w = r * (tr->right[i - 1] + tr->left[i]);
        tr->junction_right[i] = tr->right[i - 1] - w;
        tr->junction_left[i] = tr->left[i] + w;
    }

    const int v = tr->nose_start;
    float r = tr->reflection_left * (1.0f - lambda) + tr->new_reflection_left * lambda;
    tr->junction_left[v] = r * tr->right[v - 1] + (1.0f + r) * (tr->nose_left[0] + tr->left[v]);
    r = tr->reflection_right * (1.0f - lambda) + tr->new_reflection_right * lambda;
    tr->junction_right[v] = r * tr->left[v] + (1.0f + r) * (tr->right[v - 1] + tr->nose_left[0]);
    r = tr->reflection_nose * (1.0f - lambda) + tr->new_reflection_nose * lambda;
    tr->nose_junction_right[0] = r * tr->nose_left[0] + (1.0f + r) * (tr->left[v] + tr->right[v - 1]);

    for (int i = 0; i < n; ++i) {
        tr->right[i] = tr->junction_right[i] * 0.999f;
        tr->left[i] = tr->junction_left[i + 1] * 0.999f;
    }
    tr->lip_output = tr->right[n - 1];

    const int m = tr->nose_length;
    tr->nose_junction_left[m] = tr->nose_right[m - 1] * tr->lip_reflection;
    for (int i = 1; i < m; ++i) {
        const float w = tr->nose_reflection[i] * (tr->nose_right[i - 1] + tr->nose_left[i]);
        tr->nose_junction_right[i] = tr->nose_right[i - 1] - w;
        tr->nose_junction_left[i] = tr->nose_left[i] + w;
    }
    for (int i = 0; i < m; ++i) {
        tr->nose_right[i] = tr->nose_junction_right[i];
        tr->nose_left[i] = tr->nose_junction_left[i + 1];
    }
    tr->nose_output = tr->nose_right[m - 1];
}

void vocTractInit(sp_data* sp, sp_voc_tract* tr) {
    tr->length = sp_voc_tract_cells;
    for (int i = 0; i < tr->length; ++i) {
        const float d = i < 7 ? 0.6f : (i < 12 ? 1.1f : 1.5f);
        tr->diameter[i] = tr->rest_diameter[i] = tr->target_diameter[i] = tr->new_diameter[i] = d;
    }
    tr->nose_length = sp_voc_nose_cells;
    tr->nose_start = 17;
    tr->tip_start = 32;
    tr->glottal_reflection = 0.75f;
    tr->lip_reflection = -0.85f;
    tr->velum_target = 0.01f;
    tr->movement_speed = 15.0f;
    tr->block_time = float(sp_voc_block_size) / float(sp->sample_rate);
    tr->seconds_per_sample = 1.0f / float(sp->sample_rate);
    tr->last_obstruction = -1;
    for (sp_voc_transient& t : tr->transients.pool)
        t.is_free = 1;

    for (int i = 0; i < tr->nose_length; ++i) {
        const float d = 2.0f * float(i) / float(tr->nose_length);
        float diameter = d < 1.0f ? 0.4f + 1.6f * d : 0.5f + 1.5f * (2.0f - d);
        if (diameter > 1.9f) diameter = 1.9f;
        tr->nose_diameter[i] = diameter;
        tr->nose_area[i] = diameter * diameter;
    }
    // Junction 0 of the nose is the three-way junction with the tract, which has coefficients of its own.
    for (int i = 1; i < tr->nose_length; ++i)
        tr->nose_reflection[i] =
            (tr->nose_area[i - 1] - tr->nose_area[i]) / (tr->nose_area[i - 1] + tr->nose_area[i]);
    tr->nose_diameter[0] = tr->velum_target;
    vocComputeReflections(tr);
}

void vocComputeBlock(sp_data* sp, sp_voc* v) {
    sp_voc_tract* tr = &v->tract;
    vocReshape(tr);
    vocComputeReflections(tr);
    for (int i = 0; i < sp_voc_block_size; ++i) {
        v->time_in_waveform += v->seconds_per_sample;
        if (v->time_in_waveform > v->waveform_length) {
            v->time_in_waveform -= v->waveform_length;
            vocSetupWaveform(v);
        }
        const float glottal = vocGlottalSample(v);
        const float noise = 2.0f * (float(sp_rand(sp)) * 4.656613e-10f) - 1.0f;
        const float aspiration =
            noise * (1.0f - static_cast<float>(std::sqrt(double(v->tenseness)))) * 0.3f * 0.2f;
        const float input = glottal + aspiration;

        float sum = 0.0f;
        vocTractStep(tr, input, float(i) / float(sp_voc_block_size));
        sum += tr->lip_output + tr->nose_output;
        vocTractStep(tr, input, (float(i) + 0.5f) / float(sp_voc_block_size));
        sum += tr->lip_output + tr->nose_output;
        v->block[i] = sum * 0.125f;
    }
}

} // namespace

int sp_voc_create(sp_voc** p) {
    return createModuleRecord(p);
}

int sp_voc_destroy(sp_voc** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_voc_init(sp_data* sp, sp_voc* p) {
    *p = sp_voc{};
    p->frequency = 140.0f;
    p->tenseness = 0.6f;
    p->seconds_per_sample = 1.0f / float(sp->sample_rate);
    vocSetupWaveform(p);
    vocTractInit(sp, &p->tract);
    return 1;
}

int sp_voc_compute(sp_data* sp, sp_voc* p, float* out) {
    if (p->counter == 0) {
        vocComputeBlock(sp, p);
        *out = p->block[0];
        p->counter = 1;
        return 1;
    }
    *out = p->block[p->counter];
    p->counter = (p->counter + 1) % sp_voc_block_size;
    return 1;
}

void sp_voc_set_frequency(sp_voc* p, float frequency) {
    p->frequency = frequency;
}

void sp_voc_set_tenseness(sp_voc* p, float tenseness) {
    p->tenseness = tenseness;
}

void sp_voc_set_velum(sp_voc* p, float opening) {
    p->tract.velum_target = opening;
}

void sp_voc_set_tongue_shape(sp_voc* p, float tongue_index, float tongue_diameter) {
    sp_voc_set_diameters(p, 10, 39, 32, p->tract.target_diameter, tongue_index, tongue_diameter);
}

void sp_voc_set_diameters(sp_voc*, int blade_start, int lip_start, int tip_start, float* diameters,
                          float tongue_index, float tongue_diameter) {
    const float fixed = 2.0f + (tongue_diameter - 2.0f) / 1.5f;
    for (int i = blade_start; i < lip_start; ++i) {
        const float angle = 1.1f * vocPi * (tongue_index - float(i)) / float(tip_start - blade_start);
        float curve = (1.5f - fixed) * static_cast<float>(std::cos(double(angle)));
        if (i == blade_start - 2 || i == lip_start - 1) curve *= 0.8f;
        if (i == blade_start || i == lip_start - 2) curve *= 0.94f;
        diameters[i] = 1.5f - curve;
    }
}

int sp_voc_get_counter(const sp_voc* p) {
    return p->counter;
}

} // namespace sigpro
