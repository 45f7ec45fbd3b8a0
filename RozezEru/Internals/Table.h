#pragma once
// Wavetables: one cycle of a periodic waveform as 32-bit floats, with the phase it starts at and the
// shape it was made as, for oscillators to hand to their kernels; and the operations on lists of them
// (cutting a signal into tables, decimating and interpolating lists, tables from audio files).
//
// Tables are shared (std::shared_ptr): a list may hold one table several times, and interpolation
// hands on unchanged tables rather than copies. All arithmetic is single precision with 2π taken as
// the float 6.2831855, so the samples are exactly those of the shapes' formulas in float.
//
// A table is built, read and changed on one thread at a time, never the render thread.

#include "platform/foundation/Url.h"

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace platform {
class AudioFile;
} // namespace platform

namespace rozezeru {

// The shape of a table; only `harmonic` carries data, the amplitudes of its overtones.
class TableType {
public:
    enum Case {
        harmonic,
        sine,
        triangle,
        square,
        sawtooth,
        reverseSawtooth,
        positiveSine,
        positiveTriangle,
        positiveSquare,
        positiveSawtooth,
        positiveReverseSawtooth,
        zero,
        custom,
    };

    TableType(Case shape = sine) : case_(shape) {}
    // A sine plus partial m + 2 at amplitudes[m].
    static TableType harmonicType(std::vector<float> amplitudes);

    Case shape() const { return case_; }
    const std::vector<float>& amplitudes() const { return amplitudes_; }
    friend bool operator==(const TableType&, const TableType&) = default;

private:
    Case case_;
    std::vector<float> amplitudes_;
};

// Highest fundamental (Hz) of a band, and how many harmonics stay below 22050 Hz there.
using HarmonicBand = std::pair<double, std::int64_t>;

class Table {
public:
    struct Extremes {
        float smallest = 999999.0f;
        float largest = -999999.0f;
        float magnitude = -1.0f;
    };

    // `count` samples (none for a negative count) of the shape, from `phase` (kept unclamped here).
    Table(TableType type, std::int64_t count, float phase = 0.0f);
    // These samples, type custom.
    explicit Table(std::vector<float> content, float phase = 0.0f);

    // Channel 0 of the whole file, typed sine; null when it cannot be read or holds no float samples.
    static std::shared_ptr<Table> fromAudioFile(platform::AudioFile& file);
    static std::shared_ptr<Table> fromAudioFile(const platform::Url& url);

    const std::vector<float>& content() const { return content_; }
    std::vector<float>& content() { return content_; }
    void setContent(std::vector<float> content) { content_ = std::move(content); }
    float phase() const { return phase_; }
    // Limited to 0…1 (a value that is not a number counts as 0).
    void setPhase(float phase);
    const TableType& type() const { return type_; }

    std::int64_t count() const { return std::int64_t(content_.size()); }
    bool isEmpty() const { return content_.empty(); }
    // Index within 0..<count.
    float operator[](std::int64_t index) const { return content_[std::size_t(index)]; }
    float& operator[](std::int64_t index) { return content_[std::size_t(index)]; }
    std::vector<float>::iterator begin() { return content_.begin(); }
    std::vector<float>::iterator end() { return content_.end(); }
    std::vector<float>::const_iterator begin() const { return content_.begin(); }
    std::vector<float>::const_iterator end() const { return content_.end(); }
    // Samples from..<to (within 0…count), and their replacement by samples of any number.
    std::vector<float> slice(std::int64_t from, std::int64_t to) const;
    void replaceSubrange(std::int64_t from, std::int64_t to, std::span<const float> samples);

    // count · phase in float, truncated; 0 when that is not a finite number of samples.
    std::int64_t phaseOffset() const;

    // Overwrite every sample with the shape from the current phase; the count stays.
    void fillSine();
    void fillTriangle();
    void fillSquare();
    void fillSawtooth();
    void fillReverseSawtooth();
    void fillPositiveSine();
    void fillPositiveTriangle();
    void fillPositiveSquare();
    void fillPositiveSawtooth();
    void fillPositiveReverseSawtooth();
    void fillZero();
    void fillHarmonics(std::span<const float> amplitudes);

    // Scales to a peak magnitude of 1 when the peak is above 0.000001, logging "absMax = <peak>: NOW
    // NORMALIZED" or ": NOT NORMALIZED".
    void normalize();
    void reverseInPlace();
    void negateInPlace();
    // sqrt(Σ (a - b)²) / count over the samples both tables have (NaN for an empty table).
    float rootSquareDifference(const Table& other) const;
    Extremes extremes() const;

    // Additive synthesis from phase 0 (which they set), onto the content or onto silence.
    void addSawtoothHarmonics(std::int64_t harmonicCount, bool clearFirst);
    void addSquareHarmonics(std::int64_t harmonicCount, bool clearFirst);
    void addTriangleHarmonics(std::int64_t harmonicCount, bool clearFirst);
    // A pulse of duty `width` from -1 to 1, from phase 0.
    void fillPulseHarmonics(std::int64_t harmonicCount, float width);

    // Bands from the start frequency up in steps of `octaveStep` octaves, each with the harmonics that
    // stay below 22050 Hz; at most one band of a single harmonic. A start frequency that is not
    // positive, a step that is not, or steps too small to reach 22050 Hz in a million give none.
    static std::vector<HarmonicBand> harmonicBands(double startFrequency, double octaveStep);
    // The same for `count` frequencies spaced evenly from lowest to highest; frequencies that are not
    // positive are skipped, those from 22050 Hz up give (22050, 1).
    static std::vector<HarmonicBand> harmonicBands(std::int64_t count, double lowestFrequency,
                                                   double highestFrequency);
    // Whole tables of `tableSize` samples, in order; the rest is dropped.
    static std::vector<std::shared_ptr<Table>> splitIntoTables(std::span<const float> samples,
                                                               std::int64_t tableSize);
    // Each table decimated by the first table's count / size with a two-tap mean:
    // (count − 2) / factor + 1 samples each. None for an empty list, a first table shorter than 2 or a
    // size outside 1…its count.
    static std::vector<std::shared_ptr<Table>>
    downsampleTables(const std::vector<std::shared_ptr<Table>>& tables, std::int64_t size);
    // Exactly `count` tables spread over the list: neighbours or their mixes. None for an empty list or
    // a count below 1; a mix of tables of different lengths is as long as the shorter.
    static std::vector<std::shared_ptr<Table>>
    interpolateTables(const std::vector<std::shared_ptr<Table>>& tables, std::int64_t count);
    // Channel 0 of the file cut into tables and interpolated to 256; none when the file cannot be read
    // or is shorter than one table.
    static std::vector<std::shared_ptr<Table>> wavetablesFromAudioFile(const platform::Url& url,
                                                                       std::int64_t tableSize);

private:
    // The generator of the table's type.
    void fill();

    std::vector<float> content_;
    float phase_ = 0.0f;
    TableType type_;
};

} // namespace rozezeru
