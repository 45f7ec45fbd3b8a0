#include "Sigpro/modules/sp_pshift.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

#include <random>

using namespace sigpro;

// Every setting inside the pitch-shifter node's ranges (shift -24 ... 24, window and crossfade
// 0 ... 10000) keeps the output finite and within what the two interpolating taps can reach: three
// times the input's peak.
TEST(SpPshiftRange, EveryLegalSettingStaysFiniteAndBounded) {
    std::mt19937 gen(7u);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (float window : {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 3.0f, 1024.0f, 10000.0f})
        for (float crossfade : {0.0f, 1e-30f, 0.5f, 1.0f, 512.0f, 10000.0f})
            for (float shift : {-24.0f, -7.5f, 0.0f, 0.5f, 12.0f, 24.0f}) {
                sigprotest::Fresh<SP_COMPUTING_MODULE(pshift)> ps(sp_pshift_init);
                std::tie(*ps->shift, *ps->window, *ps->crossfade) = std::tuple(shift, window, crossfade);
                for (int i = 0; i < 12000; ++i) {
                    const float y = ps(noise(gen));
                    ASSERT_TRUE(std::fabs(y) <= 3.0f) << y << " at " << i << ", window " << window
                                                      << ", crossfade " << crossfade << ", shift " << shift;
                }
            }
}
