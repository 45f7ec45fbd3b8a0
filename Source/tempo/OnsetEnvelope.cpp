#include "OnsetEnvelope.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>

namespace vantle {

namespace {

// The bass band where a kick drum and a bass line start bars.
constexpr double bassLowHz = 30;
constexpr double bassHighHz = 180;
// The band whose pitch classes tell a chord change: above the bass, whose line walks within a bar, and
// below most melodies.
constexpr double chromaLowHz = 130;
constexpr double chromaHighHz = 800;

unsigned windowFor(double sampleRate) {
    // About 46 ms: sharp enough in time for beats, fine enough in frequency for the bass.
    unsigned window = 256;
    while (window < sampleRate * 0.046 && window < 16384)
        window *= 2;
    return window;
}

} // namespace

struct OnsetEnvelope::Aubio {
    Aubio(unsigned window, unsigned hop)
        : phaseVocoder(new_aubio_pvoc(window, hop)), flux(new_aubio_specdesc("specflux", window)),
          input(new_fvec(hop)), spectrum(new_cvec(window)), fluxOut(new_fvec(1)) {}
    ~Aubio() {
        del_aubio_pvoc(phaseVocoder);
        del_aubio_specdesc(flux);
        del_fvec(input);
        del_cvec(spectrum);
        del_fvec(fluxOut);
    }
    Aubio(const Aubio&) = delete;
    Aubio& operator=(const Aubio&) = delete;

    aubio_pvoc_t* phaseVocoder;
    aubio_specdesc_t* flux;
    fvec_t* input;
    cvec_t* spectrum;
    fvec_t* fluxOut;
};

OnsetEnvelope::OnsetEnvelope(double sampleRate)
    : sampleRate_(sampleRate), window_(windowFor(sampleRate)), hop_(window_ / 4),
      aubio_(std::make_unique<Aubio>(window_, hop_)) {
    const unsigned bins = window_ / 2 + 1;
    previousBass_.assign(bins, 0.0f);
    pitchClassOfBin_.assign(bins, -1);
    for (unsigned bin = 1; bin < bins; ++bin) {
        const double hz = bin * sampleRate / window_;
        if (hz >= chromaLowHz && hz <= chromaHighHz)
            pitchClassOfBin_[bin] = int(std::lround(12 * std::log2(hz / 440.0)) % 12 + 12) % 12;
    }
    frames_.frameRate = sampleRate / hop_;
    // A frame holds the window ending with its hop; its sound sits around the window's middle.
    frames_.firstFrameSeconds = (double(hop_) - double(window_) / 2) / sampleRate;
}

OnsetEnvelope::~OnsetEnvelope() = default;

void OnsetEnvelope::add(const float* mono, std::size_t frames) {
    fvec_t* input = aubio_->input;
    while (frames > 0) {
        const std::size_t take = std::min<std::size_t>(frames, hop_ - filled_);
        std::copy(mono, mono + take, input->data + filled_);
        filled_ += take;
        mono += take;
        frames -= take;
        if (filled_ == hop_) {
            analyseHop();
            filled_ = 0;
        }
    }
}

void OnsetEnvelope::analyseHop() {
    cvec_t* spectrum = aubio_->spectrum;
    fvec_t* fluxOut = aubio_->fluxOut;
    aubio_pvoc_do(aubio_->phaseVocoder, aubio_->input, spectrum);
    aubio_specdesc_do(aubio_->flux, spectrum, fluxOut);
    frames_.flux.push_back(fluxOut->data[0]);

    // Log-compressed, so that a soft bass note counts beside a loud kick.
    float bass = 0;
    std::array<float, 12> chroma{};
    for (unsigned bin = 1; bin < spectrum->length; ++bin) {
        const float magnitude = spectrum->norm[bin];
        const double hz = bin * sampleRate_ / window_;
        if (hz >= bassLowHz && hz <= bassHighHz) {
            const float level = std::log1p(100.0f * magnitude);
            bass += std::max(0.0f, level - previousBass_[bin]);
            previousBass_[bin] = level;
        }
        if (pitchClassOfBin_[bin] >= 0) chroma[pitchClassOfBin_[bin]] += magnitude;
    }
    frames_.bassFlux.push_back(bass);
    frames_.chroma.push_back(chroma);
}

} // namespace vantle
