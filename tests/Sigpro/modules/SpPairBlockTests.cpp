#include "Sigpro/modules/sp_atone.h"
#include "Sigpro/modules/sp_butbp.h"
#include "Sigpro/modules/sp_butbr.h"
#include "Sigpro/modules/sp_buthp.h"
#include "Sigpro/modules/sp_butlp.h"
#include "Sigpro/modules/sp_dcblock.h"
#include "Sigpro/modules/sp_pareq.h"
#include "Sigpro/modules/sp_tone.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

template <class Record> struct PairFunctions {
    int (*create)(Record**);
    int (*init)(sp_data*, Record*);
    int (*compute)(sp_data*, Record*, float*, float*);
    int (*pair)(sp_data*, Record*, Record*, const float*, const float*, float*, float*, std::uint32_t);
    int (*destroy)(Record**);
};

// Blocks of 1, 255 and 344 frames, each with the parameters `set` gives for (block, channel): the pair
// function, in place, must give exactly what compute gives sample by sample.
template <class Record>
void expectPairIsComputeTwice(PairFunctions<Record> f, const std::function<void(Record&, int, int)>& set) {
    ContextHandle sp;
    Record* records[4];
    for (Record*& record : records) {
        ASSERT_EQ(f.create(&record), 1);
        f.init(sp.get(), record);
    }
    const std::vector<float> inputs[2] = {testsupport::noise(600, 1u), testsupport::noise(600, 2u)};
    std::vector<float> expected[2] = {std::vector<float>(600), std::vector<float>(600)};
    std::vector<float> paired[2] = {inputs[0], inputs[1]};
    std::uint32_t start = 0;
    for (int block = 0; block < 3; ++block) {
        const std::uint32_t frames = std::uint32_t(block == 0 ? 1 : block == 1 ? 255 : 344);
        for (int r = 0; r < 4; ++r)
            set(*records[r], block, r % 2);
        for (std::uint32_t i = start; i < start + frames; ++i)
            for (int c = 0; c < 2; ++c) {
                float x = inputs[c][i];
                f.compute(sp.get(), records[c], &x, &expected[c][i]);
            }
        f.pair(sp.get(), records[2], records[3], paired[0].data() + start, paired[1].data() + start,
               paired[0].data() + start, paired[1].data() + start, frames);
        start += frames;
    }
    EXPECT_EQ(std::pair(paired[0], paired[1]), std::pair(expected[0], expected[1]));
    for (Record*& record : records)
        f.destroy(&record);
}

#define SP_PAIR_FUNCTIONS(name)                                                                              \
    PairFunctions<sp_##name> {                                                                               \
        sp_##name##_create, sp_##name##_init, sp_##name##_compute, sp_##name##_compute_pair,                 \
            sp_##name##_destroy                                                                              \
    }

// Values by block; the left channel of block 1 gets `off` (a filter that is switched off there).
float blockValue(int block, int channel, float a, float b, float c, float off) {
    if (block == 1 && channel == 0) return off;
    return block == 0 ? a : block == 1 ? b : c;
}

} // namespace

TEST(SpPairBlock, PairFunctionsAreTheModulesComputeForBothChannels) {
    {
        SCOPED_TRACE("sp_pareq");
        expectPairIsComputeTwice<sp_pareq>(SP_PAIR_FUNCTIONS(pareq), [](sp_pareq& m, int block, int channel) {
            std::tie(m.mode, m.q) = std::pair(2.0f, 0.707f);
            m.frequency = blockValue(block, channel, 1000.0f, 3000.0f, 300.0f, 3000.0f);
            m.gain = blockValue(block, channel, 4.0f, 0.5f, 2.0f, 0.25f);
        });
    }
    auto cutoff = [](auto& m, int block, int channel) {
        m.frequency = blockValue(block, channel, 1000.0f, 200.0f, 5000.0f, 0.0f);
    };
    auto band = [](auto& m, int block, int channel) {
        m.frequency = blockValue(block, channel, 1000.0f, 2000.0f, 500.0f, 2000.0f);
        m.bandwidth = blockValue(block, channel, 100.0f, 300.0f, 50.0f, 0.0f);
    };
    {
        SCOPED_TRACE("Butterworth");
        expectPairIsComputeTwice<sp_butlp>(SP_PAIR_FUNCTIONS(butlp), cutoff);
        expectPairIsComputeTwice<sp_buthp>(SP_PAIR_FUNCTIONS(buthp), cutoff);
        expectPairIsComputeTwice<sp_butbp>(SP_PAIR_FUNCTIONS(butbp), band);
        expectPairIsComputeTwice<sp_butbr>(SP_PAIR_FUNCTIONS(butbr), band);
    }
    {
        SCOPED_TRACE("one-pole and DC blocker");
        expectPairIsComputeTwice<sp_tone>(SP_PAIR_FUNCTIONS(tone), [](sp_tone& m, int block, int channel) {
            m.half_power_point = blockValue(block, channel, 1000.0f, 200.0f, 4000.0f, 50.0f);
        });
        expectPairIsComputeTwice<sp_atone>(SP_PAIR_FUNCTIONS(atone), [](sp_atone& m, int block, int channel) {
            m.cutoff = blockValue(block, channel, 1000.0f, 200.0f, 4000.0f, 50.0f);
        });
        expectPairIsComputeTwice<sp_dcblock>(SP_PAIR_FUNCTIONS(dcblock), [](sp_dcblock&, int, int) {});
    }
}
