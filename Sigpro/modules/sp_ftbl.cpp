#include "Sigpro/modules/sp_ftbl.h"

#include <cmath>
#include <cstdio>

namespace sigpro {

int sp_ftbl_create(sp_data* sp, sp_ftbl** ft, std::size_t n) {
    *ft = nullptr;
    // 2^24 / n must be a positive integer, or the index bits (its logarithm) are undefined.
    if (n == 0 || n > sp_ftbl_max_size) {
        std::fprintf(stderr, "sp_ftbl_create: table size %zu is not in 1 ... %zu\n", n, sp_ftbl_max_size);
        return 0;
    }
    auto* t = new sp_ftbl{};
    t->size = n;
    t->table = new float[n + 1]{};
    t->owns_table = 1;
    auto quotient = static_cast<std::uint32_t>(sp_ftbl_max_size / n);
    t->index_bits = static_cast<std::int32_t>(std::log2(static_cast<double>(quotient)));
    t->frac_mask = (std::int32_t{1} << t->index_bits) - 1;
    t->frac_scale = 1.0f / static_cast<float>(std::int32_t{1} << t->index_bits);
    t->phase_per_hz = static_cast<float>(static_cast<double>(sp_ftbl_max_size) / sp->sample_rate);
    *ft = t;
    return 1;
}

int sp_ftbl_destroy(sp_ftbl** ft) {
    if (*ft == nullptr) return 1;
    if ((*ft)->owns_table) delete[](*ft)->table;
    delete *ft;
    *ft = nullptr;
    return 1;
}

} // namespace sigpro
