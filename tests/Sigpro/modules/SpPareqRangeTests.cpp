#include "Sigpro/modules/sp_pareq.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

#include <random>

using namespace sigpro;

// The equaliser nodes allow q from 0: every shape stays finite and stable there, and a q of 0 sounds
// as the smallest q the section takes.
TEST(SpPareqRange, EveryShapeStaysFiniteAtQZero) {
    std::mt19937 gen(11u);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (float mode : {0.0f, 1.0f, 2.0f})
        for (float frequency : {12.0f, 1000.0f, 20000.0f})
            for (float gain : {0.0f, 1.0f, 10.0f}) {
                sigprotest::Fresh<SP_COMPUTING_MODULE(pareq)> atZero(sp_pareq_init), atMinimum(sp_pareq_init);
                for (sp_pareq* eq : {atZero.get(), atMinimum.get()})
                    std::tie(eq->mode, eq->frequency, eq->gain) = std::tuple(mode, frequency, gain);
                std::tie(atZero->q, atMinimum->q) = std::pair(0.0f, 0.001f);
                for (int i = 0; i < 20000; ++i) {
                    const float x = noise(gen), y = atZero(x);
                    ASSERT_TRUE(std::fabs(y) < 100.0f)
                        << y << " at " << i << ", mode " << mode << ", " << frequency << " Hz, gain " << gain;
                    ASSERT_EQ(y, atMinimum(x)) << i;
                }
            }
}
