#include <gtest/gtest.h>

#include <cstring>

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ftbl.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;

TEST(SpData, FreshContextHoldsTheDefaultsAndSeedsTheGenerator) {
    ContextHandle sp;
    EXPECT_EQ(sp->sample_rate, 44100);
    EXPECT_EQ(sp->channels, 1);
    EXPECT_EQ(sp->length, 220500u);
    EXPECT_EQ(sp->position, 0u);
    EXPECT_STREQ(sp->file_name, "test.wav");
    ASSERT_NE(sp->out, nullptr);
    EXPECT_EQ(*sp->out, 0.0f);

    EXPECT_EQ(sp_rand(sp.get()), 12345u);
    EXPECT_EQ(sp_rand(sp.get()), 1406932606u);
    EXPECT_EQ(sp_rand(sp.get()), 654583775u);
    EXPECT_EQ(sp->rand_state, 654583775u);
    for (int i = 0; i < 1000; ++i)
        EXPECT_LT(sp_rand(sp.get()), 0x80000000u);

    // Each context has its own sequence from its creation.
    ContextHandle other;
    EXPECT_EQ(sp_rand(other.get()), 12345u);
}

TEST(SpData, AuxiliaryBufferIsZeroedReusedAndFreed) {
    sp_auxdata aux{};
    ASSERT_EQ(sp_auxdata_alloc(&aux, 64), 1);
    ASSERT_NE(aux.data, nullptr);
    EXPECT_EQ(aux.size, 64u);
    auto* bytes = static_cast<unsigned char*>(aux.data);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(bytes[i], 0);

    // A second allocation of the same size keeps the block but clears it, as a module's re-init needs.
    std::memset(aux.data, 0x5A, 64);
    void* before = aux.data;
    ASSERT_EQ(sp_auxdata_alloc(&aux, 64), 1);
    EXPECT_EQ(aux.data, before);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(static_cast<unsigned char*>(aux.data)[i], 0);

    ASSERT_EQ(sp_auxdata_alloc(&aux, 4096), 1);
    EXPECT_EQ(aux.size, 4096u);
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(static_cast<unsigned char*>(aux.data)[i], 0);

    EXPECT_EQ(sp_auxdata_free(&aux), 1);
    EXPECT_EQ(aux.data, nullptr);
    EXPECT_EQ(aux.size, 0u);
    EXPECT_EQ(sp_auxdata_free(&aux), 1);
}

TEST(SpData, WavetableFieldsFollowFromSizeAndSampleRate) {
    ContextHandle sp;
    sp_ftbl* ft = nullptr;
    ASSERT_EQ(sp_ftbl_create(sp.get(), &ft, 4096), 1);
    ASSERT_NE(ft, nullptr);
    EXPECT_EQ(ft->size, 4096u);
    EXPECT_EQ(ft->index_bits, 12);
    EXPECT_EQ(ft->frac_mask, 4095);
    EXPECT_EQ(ft->frac_scale, 1.0f / 4096.0f);
    EXPECT_EQ(ft->phase_per_hz, 16777216.0f / 44100.0f);
    EXPECT_EQ(ft->owns_table, 1);
    for (int i = 0; i <= 4096; ++i)
        ASSERT_EQ(ft->table[i], 0.0f) << i;
    sp_ftbl_destroy(&ft);
    EXPECT_EQ(ft, nullptr);

    // Sizes that are not powers of two truncate the quotient and then the logarithm.
    sp->sample_rate = 48000;
    ASSERT_EQ(sp_ftbl_create(sp.get(), &ft, 1000), 1);
    EXPECT_EQ(ft->index_bits, 14); // 2^24 / 1000 = 16777, log2 = 14.03
    EXPECT_EQ(ft->frac_mask, 16383);
    EXPECT_EQ(ft->phase_per_hz, 16777216.0f / 48000.0f);
    sp_ftbl_destroy(&ft);

    ASSERT_EQ(sp_ftbl_create(sp.get(), &ft, 1), 1);
    EXPECT_EQ(ft->index_bits, 24);
    sp_ftbl_destroy(&ft);
    ASSERT_EQ(sp_ftbl_create(sp.get(), &ft, sp_ftbl_max_size), 1);
    EXPECT_EQ(ft->index_bits, 0);
    EXPECT_EQ(ft->frac_mask, 0);
    sp_ftbl_destroy(&ft);
}

TEST(SpData, WavetableOfNoPointsOrTooManyIsRefusedWithAMessage) {
    ContextHandle sp;
    StderrCapture err;
    sp_ftbl* ft = reinterpret_cast<sp_ftbl*>(&err); // any non-null value must be replaced
    EXPECT_EQ(sp_ftbl_create(sp.get(), &ft, 0), 0);
    EXPECT_EQ(ft, nullptr);
    EXPECT_EQ(sp_ftbl_create(sp.get(), &ft, sp_ftbl_max_size + 1), 0);
    EXPECT_EQ(ft, nullptr);
    std::string text = err.text();
    EXPECT_EQ(text.rfind("sp_ftbl_create: ", 0), 0u) << text;
    EXPECT_NE(text.find('\n'), text.size() - 1) << "one line per refusal";
}

TEST(SpData, WavetableThatBorrowsItsPointsLeavesThemToTheOwner) {
    ContextHandle sp;
    sp_ftbl* ft = nullptr;
    ASSERT_EQ(sp_ftbl_create(sp.get(), &ft, 8), 1);
    float* points = ft->table;
    points[3] = 0.5f;
    ft->owns_table = 0;
    EXPECT_EQ(sp_ftbl_destroy(&ft), 1);
    EXPECT_EQ(points[3], 0.5f); // still ours; a sanitizer build would flag a freed read
    delete[] points;
}
