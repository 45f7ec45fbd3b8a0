#include "Sigpro/modules/sp_data.h"

#include <cstring>

namespace sigpro {

int sp_create(sp_data** spp) {
    auto* sp = new sp_data{};
    sp->out = new float[1]{0.0f};
    sp->sample_rate = 44100;
    sp->channels = 1;
    sp->length = 5u * 44100u;
    sp->position = 0;
    std::strncpy(sp->file_name, "test.wav", sizeof sp->file_name - 1);
    sp->rand_state = 0;
    *spp = sp;
    return 0;
}

int sp_destroy(sp_data** spp) {
    if (*spp == nullptr) return 0;
    delete[](*spp)->out;
    delete *spp;
    *spp = nullptr;
    return 0;
}

std::uint32_t sp_rand(sp_data* sp) {
    std::uint32_t val = (1103515245u * sp->rand_state + 12345u) & 0x7FFFFFFFu;
    sp->rand_state = val;
    return val;
}

} // namespace sigpro
