#include "Sigpro/modules/sp_bar.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace sigpro {
namespace {

constexpr float barPi = std::numbers::pi_v<float>;
// Largest grid accepted (12 MB of rows); far beyond any stable stiffness at audio rates.
constexpr float barMaxPoints = float(1 << 20);

// Loss and scheme coefficients from the current stiffness, loss and decay time. N stays as init chose it.
void barSetup(sp_data* sp, sp_bar* p) {
    const float dt = 1.0f / float(sp->sample_rate);
    const double K = p->stiffness;
    const double b = p->high_freq_loss;
    const float decayFactor = static_cast<float>(std::pow(10.0, double(3.0f * dt / p->decay_time)));
    const float sig = (decayFactor - 1.0f) * 2.0f * float(sp->sample_rate);
    const float dxmin = static_cast<float>(std::sqrt(double(dt) * (b + std::hypot(b, 2.0 * K))));
    const float dx = 1.0f / std::trunc(1.0f / dxmin);
    const float dx2 = dx * dx;
    const float dx4 = dx2 * dx2;

    const double t = dt;
    const double h = 1.0 + double(sig) * t / 2.0;
    p->s0 = static_cast<float>((2.0 - 6.0 * K * K * t * t / dx4 - 2.0 * b * t / dx2) / h);
    p->s1 = static_cast<float>((b * t / dx2 + 4.0 * K * K * t * t / dx4) / h);
    p->s2 = static_cast<float>(-K * K * t * t / (dx4 * h));
    p->t0 = static_cast<float>((-1.0 + 2.0 * b * t / dx2 + double(sig) * t / 2.0) / h);
    p->t1 = static_cast<float>(-b * t / (dx2 * h));
}

bool barBoundaryInRange(float rounded) {
    return rounded >= 0.0f && rounded <= 3.0f;
}

} // namespace

int sp_bar_create(sp_bar** p) {
    return createModuleRecord(p);
}

int sp_bar_destroy(sp_bar** p) {
    if (p != nullptr && *p != nullptr) sp_auxdata_free(&(*p)->grid);
    destroyModuleRecord(p);
    return 1;
}

int sp_bar_init(sp_data* sp, sp_bar* p, float stiffness, float high_freq_loss) {
    p->left_boundary = 1.0f;
    p->right_boundary = 1.0f;
    p->stiffness = stiffness;
    p->high_freq_loss = high_freq_loss;
    p->scan_speed = 0.23f;
    p->decay_time = 3.0f;
    p->strike_position = 0.2f;
    p->strike_velocity = 500.0f;
    p->strike_width = 0.05f;
    p->step = 0;
    p->struck = 0;
    p->boundary_reported = 0;
    p->points = 0;
    p->row_new = p->row_current = p->row_previous = nullptr;

    const float dt = 1.0f / float(sp->sample_rate);
    const double b = high_freq_loss;
    const float dxmin =
        static_cast<float>(std::sqrt(double(dt) * (b + std::hypot(b, 2.0 * double(stiffness)))));
    const float points = std::trunc(1.0f / dxmin);
    if (!(points >= 1.0f && points <= barMaxPoints)) {
        std::fprintf(stderr, "sp_bar: stiffness %g and high-frequency loss %g give no usable grid\n",
                     double(stiffness), double(high_freq_loss));
        return 0;
    }
    const auto N = static_cast<std::int32_t>(points);
    const std::size_t row = std::size_t(N) + 5;
    if (!sp_auxdata_alloc(&p->grid, 3 * row * sizeof(float))) {
        std::fputs("sp_bar: out of memory\n", stderr);
        return 0;
    }
    p->points = N;
    p->row_new = static_cast<float*>(p->grid.data);
    p->row_current = p->row_new + row;
    p->row_previous = p->row_current + row;
    barSetup(sp, p);
    return 1;
}

int sp_bar_compute(sp_data* sp, sp_bar* p, float* in, float* out) {
    const int N = p->points;
    if (N == 0) {
        *out = 0.0f;
        return 1;
    }
    const float dt = 1.0f / float(sp->sample_rate);
    const float w = 2.0f * barPi * p->scan_speed / float(sp->sample_rate);
    // Any non-zero sample, NaN included, strikes again.
    if (*in != 0.0f) {
        p->struck = 0;
        barSetup(sp, p);
    }

    const float leftEnd = std::round(p->left_boundary);
    const float rightEnd = std::round(p->right_boundary);
    if (!barBoundaryInRange(leftEnd) || !barBoundaryInRange(rightEnd)) {
        if (!p->boundary_reported)
            std::fputs("sp_bar: Ends must be clamped(1), pivoting(2), or free(3)\n", stderr);
        p->boundary_reported = 1;
        return 0;
    }
    p->boundary_reported = 0;

    float* c = p->row_current;
    float* n = p->row_new;
    const float* prev = p->row_previous;
    switch (static_cast<int>(leftEnd)) {
    case 1:
        c[2] = 0.0f;
        c[3] = 0.0f;
        break;
    case 2:
        c[2] = 0.0f;
        c[1] = -c[3];
        break;
    case 3:
        c[1] = 2.0f * c[2] - c[3];
        c[0] = 3.0f * c[1] - 3.0f * c[2] + c[3];
        break;
    default:
        break;
    }
    switch (static_cast<int>(rightEnd)) {
    case 1:
        c[N + 1] = 0.0f;
        c[N + 2] = 0.0f;
        break;
    case 2:
        c[N + 2] = 0.0f;
        c[N + 3] = -c[N + 1];
        break;
    case 3:
        c[N + 3] = 2.0f * c[N + 2] - c[N + 1];
        c[N + 4] = 3.0f * c[N + 3] - 3.0f * c[N + 2] + c[N + 1];
        break;
    default:
        break;
    }

    const float s0 = p->s0, s1 = p->s1, s2 = p->s2, t0 = p->t0, t1 = p->t1;
    for (int i = 0; i <= N; ++i)
        n[i + 2] = s0 * c[i + 2] + s1 * (c[i + 3] + c[i + 1]) + s2 * (c[i + 4] + c[i]) + t0 * prev[i + 2] +
                   t1 * (prev[i + 3] + prev[i + 1]);

    if (p->struck == 0) {
        p->struck = 1;
        for (int i = 0; i < N; ++i) {
            const float d = std::fabs(float(i) / float(N) - p->strike_position);
            if (d <= p->strike_width)
                n[i + 2] += (static_cast<float>(std::cos(double(d * barPi / p->strike_width))) + 1.0f) *
                            p->strike_velocity * dt / 2.0f;
        }
    }

    // sin((step + 1) w) by the angle sum, as the sweep has always been formed.
    const float stepAngle = float(p->step) * w;
    const float sine =
        static_cast<float>(std::sin(double(stepAngle))) * static_cast<float>(std::cos(double(w))) +
        static_cast<float>(std::cos(double(stepAngle))) * static_cast<float>(std::sin(double(w)));
    float a = float(N) * (0.5f + 0.5f * sine);
    // Keeps a non-finite scan speed from reading outside the grid.
    if (!(a >= 0.0f)) a = 0.0f;
    if (a > float(N)) a = float(N);
    const int j = static_cast<int>(a);
    const float f = a - float(j);
    *out = f * n[j + 3] + (1.0f - f) * n[j + 2];

    // Wraps instead of overflowing after 2^31 samples; the sweep's sine does not mind the sign.
    p->step = static_cast<std::int32_t>(static_cast<std::uint32_t>(p->step) + 1u);
    float* oldPrevious = p->row_previous;
    p->row_previous = p->row_current;
    p->row_current = p->row_new;
    p->row_new = oldPrevious;
    return 1;
}

} // namespace sigpro
