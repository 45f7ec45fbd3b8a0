#include <cstring>

#include "Sigpro/modules/sp_auxdata.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;

TEST(SpData, FreshContextHoldsTheDefaultsAndSeedsTheGenerator) {
    sp_data* sp = nullptr;
    sp_create(&sp);
    EXPECT_EQ(std::tuple(sp->sample_rate, sp->channels, sp->length, sp->position, *sp->out),
              std::tuple(44100, 1, std::uint64_t{220500}, std::uint64_t{0}, 0.0f));
    EXPECT_STREQ(sp->file_name, "test.wav");
    EXPECT_EQ((std::vector{sp_rand(sp), sp_rand(sp), sp_rand(sp), sp->rand_state}),
              (std::vector{12345u, 1406932606u, 654583775u, 654583775u}));
    for (int i = 0; i < 1000; ++i)
        ASSERT_LT(sp_rand(sp), 0x80000000u);
    sp_destroy(&sp);
    // Each context has its own sequence from its creation.
    EXPECT_EQ(sp_rand(ContextHandle().get()), 12345u);
}

TEST(SpData, AuxiliaryBufferIsZeroedReusedAndFreed) {
    sp_auxdata aux{};
    void* first = nullptr;
    // The same size again keeps the block but clears it, as a module's re-init needs.
    for (std::size_t size : {64, 64, 4096}) {
        if (aux.data != nullptr) std::memset(aux.data, 0x5A, aux.size);
        ASSERT_EQ(sp_auxdata_alloc(&aux, size), 1);
        EXPECT_EQ(aux.size, size);
        const auto* bytes = static_cast<const unsigned char*>(aux.data);
        EXPECT_TRUE(std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; })) << size;
        if (first != nullptr && size == 64) {
            EXPECT_EQ(aux.data, first);
        }
        first = aux.data;
    }
    EXPECT_EQ(sp_auxdata_free(&aux), 1);
    EXPECT_EQ(std::tuple(aux.data, aux.size), std::tuple(nullptr, std::size_t{0}));
    EXPECT_EQ(sp_auxdata_free(&aux), 1);
}

TEST(SpData, WavetableFieldsFollowFromSizeAndSampleRate) {
    // Sizes that are not powers of two truncate the quotient and then the logarithm: 2^24 / 1000 = 16777.
    for (auto [rate, size, bits] :
         {std::tuple{44100, std::size_t{4096}, 12}, std::tuple{48000, std::size_t{1000}, 14},
          std::tuple{44100, std::size_t{1}, 24}, std::tuple{44100, sp_ftbl_max_size, 0}}) {
        sp_ftbl* ft = nullptr;
        ASSERT_EQ(sp_ftbl_create(ContextHandle(rate).get(), &ft, size), 1);
        EXPECT_EQ(std::tuple(ft->size, ft->index_bits, ft->frac_mask, ft->frac_scale, ft->owns_table),
                  std::tuple(size, bits, (1 << bits) - 1, 1.0f / float(1 << bits), std::uint8_t{1}));
        EXPECT_EQ(ft->phase_per_hz, 16777216.0f / float(rate));
        const std::size_t checked = std::min<std::size_t>(size, 4096) + 1;
        EXPECT_TRUE(std::all_of(ft->table, ft->table + checked, [](float v) { return v == 0.0f; }));
        sp_ftbl_destroy(&ft);
        EXPECT_EQ(ft, nullptr);
    }
}

TEST(SpData, WavetableOfNoPointsOrTooManyIsRefusedWithAMessage) {
    testsupport::StderrCapture err;
    sp_ftbl* ft = reinterpret_cast<sp_ftbl*>(&err); // any non-null value must be replaced
    EXPECT_EQ(sp_ftbl_create(ContextHandle().get(), &ft, 0), 0);
    EXPECT_EQ(ft, nullptr);
    EXPECT_EQ(sp_ftbl_create(ContextHandle().get(), &ft, sp_ftbl_max_size + 1), 0);
    EXPECT_EQ(ft, nullptr);
    const std::string text = err.text();
    EXPECT_EQ(text.rfind("sp_ftbl_create: ", 0), 0u) << text;
    EXPECT_NE(text.find('\n'), text.size() - 1) << "one line per refusal";
}

TEST(SpData, WavetableThatBorrowsItsPointsLeavesThemToTheOwner) {
    sp_ftbl* ft = nullptr;
    ASSERT_EQ(sp_ftbl_create(ContextHandle().get(), &ft, 8), 1);
    float* points = ft->table;
    points[3] = 0.5f;
    ft->owns_table = 0;
    EXPECT_EQ(sp_ftbl_destroy(&ft), 1);
    EXPECT_EQ(points[3], 0.5f); // still ours; a sanitizer build would flag a freed read
    delete[] points;
}
