#pragma once
// Physical model of the voice: a parametric glottal pulse with aspiration noise drives a 44-cell waveguide
// vocal tract with a 28-cell nasal branch. Output is computed in blocks of 512 samples and handed out one
// per compute call; tract shape and velum changes take effect at block boundaries. Render thread (init on
// set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

inline constexpr int sp_voc_block_size = 512;
inline constexpr int sp_voc_tract_cells = 44;
inline constexpr int sp_voc_nose_cells = 28;
inline constexpr int sp_voc_max_transients = 4;

// A click released when a closure of the tract opens.
struct sp_voc_transient {
    std::int32_t position;
    float time_alive;
    float lifetime;
    float strength;
    float exponent;
    std::uint8_t is_free;
    sp_voc_transient* next;
};

// The four click records and the list of the active ones.
struct sp_voc_transient_pool {
    sp_voc_transient pool[sp_voc_max_transients];
    sp_voc_transient* root; // active transients, newest first
    std::int32_t count;
};

// Waveguides of the tract and the nose with their junctions; reshaped once per block.
struct sp_voc_tract {
    std::int32_t length;
    float diameter[sp_voc_tract_cells];
    float rest_diameter[sp_voc_tract_cells];
    float target_diameter[sp_voc_tract_cells];
    float new_diameter[sp_voc_tract_cells];
    float right[sp_voc_tract_cells];
    float left[sp_voc_tract_cells];
    float junction_right[sp_voc_tract_cells + 1];
    float junction_left[sp_voc_tract_cells + 1];
    float reflection[sp_voc_tract_cells];
    float new_reflection[sp_voc_tract_cells];
    float area[sp_voc_tract_cells];

    std::int32_t nose_length;
    std::int32_t nose_start;
    std::int32_t tip_start;
    float nose_right[sp_voc_nose_cells];
    float nose_left[sp_voc_nose_cells];
    float nose_junction_right[sp_voc_nose_cells + 1];
    float nose_junction_left[sp_voc_nose_cells + 1];
    float nose_diameter[sp_voc_nose_cells];
    float nose_area[sp_voc_nose_cells];
    float nose_reflection[sp_voc_nose_cells];

    float reflection_left, reflection_right, reflection_nose;
    float new_reflection_left, new_reflection_right, new_reflection_nose;

    float glottal_reflection;
    float lip_reflection;
    float velum_target;
    float movement_speed; // per second
    float block_time;     // seconds per block
    float seconds_per_sample;
    std::int32_t last_obstruction; // -1 for none

    sp_voc_transient_pool transients;
    float lip_output;
    float nose_output;
};

struct sp_voc {
    float frequency; // Hz; taken at the next glottal period
    float tenseness; // 0 ... 1; the pulse shape takes it at the next glottal period
    // Glottal pulse of the current period (time in seconds, shape in normalised time).
    float Rd;
    float waveform_length;
    float time_in_waveform;
    float alpha;
    float E0;
    float epsilon;
    float shift;
    float delta;
    float Te;
    float omega;
    float seconds_per_sample;
    sp_voc_tract tract;
    float block[sp_voc_block_size];
    std::int32_t counter; // next sample of block to hand out; 0 computes a new block
};

int sp_voc_create(sp_voc** p);
int sp_voc_destroy(sp_voc** p);
int sp_voc_init(sp_data* sp, sp_voc* p);
int sp_voc_compute(sp_data* sp, sp_voc* p, float* out);

void sp_voc_set_frequency(sp_voc* p, float frequency);
void sp_voc_set_tenseness(sp_voc* p, float tenseness);
// Target diameter of the first nose cell.
void sp_voc_set_velum(sp_voc* p, float opening);
// Shapes the tongue into the target diameters of cells 10 (blade) to 38 (before the lips).
void sp_voc_set_tongue_shape(sp_voc* p, float tongue_index, float tongue_diameter);
// The tongue curve over cells blade_start ... lip_start - 1 of `diameters`.
void sp_voc_set_diameters(sp_voc* p, int blade_start, int lip_start, int tip_start, float* diameters,
                          float tongue_index, float tongue_diameter);
int sp_voc_get_counter(const sp_voc* p);

} // namespace sigpro
