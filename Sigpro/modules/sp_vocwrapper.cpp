#include "Sigpro/modules/sp_vocwrapper.h"

#include "Sigpro/modules/RecordLifetime.h"

namespace sigpro {

int sp_vocwrapper_create(sp_vocwrapper** p) {
    if (!createModuleRecord(p)) return 0;
    if (sp_voc_create(&(*p)->voice)) return 1;
    destroyModuleRecord(p);
    return 0;
}

int sp_vocwrapper_destroy(sp_vocwrapper** p) {
    if (p != nullptr && *p != nullptr) sp_voc_destroy(&(*p)->voice);
    destroyModuleRecord(p);
    return 1;
}

int sp_vocwrapper_init(sp_data* sp, sp_vocwrapper* p) {
    p->frequency = 160.0f;
    p->position = 1.0f;
    p->tenseness = 0.6f;
    p->nasality = 0.0f;
    return sp_voc_init(sp, p->voice);
}

int sp_vocwrapper_compute(sp_data* sp, sp_vocwrapper* p, float*, float* out) {
    sp_voc* voice = p->voice;
    if (sp_voc_get_counter(voice) == 0) {
        sp_voc_set_velum(voice, p->nasality * 0.8f + 0.01f);
        sp_voc_set_tongue_shape(voice, p->position * 16.0f + 12.0f, p->diameter * 3.5f);
    }
    sp_voc_set_frequency(voice, p->frequency);
    sp_voc_set_tenseness(voice, p->tenseness);
    return sp_voc_compute(sp, voice, out);
}

} // namespace sigpro
