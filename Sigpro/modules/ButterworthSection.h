#pragma once
// The second-order section step shared by the four Butterworth modules (sp_butlp, sp_buthp, sp_butbp,
// sp_butbr), whose records all carry coefficients a1 ... a5 and states s1, s2. Render thread.

namespace sigpro {

// One sample; float arithmetic in exactly this order, so results match the reference figures.
template <class Record> inline float butterworthSectionStep(Record& r, float x) {
    const float t = x - r.a4 * r.s1 - r.a5 * r.s2;
    const float y = (r.a1 * t + r.a2 * r.s1) + r.a3 * r.s2;
    r.s2 = r.s1;
    r.s1 = t;
    return y;
}

} // namespace sigpro
