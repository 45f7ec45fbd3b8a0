#include "RozezEru/Internals/Table.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/AudioSignal.h"
#include "RozezEru/Internals/Log.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/FloatText.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace rozezeru {

namespace {

constexpr float tablePi = 3.1415927f;
constexpr float tableTwoPi = 6.2831855f;
// Band-limited tables are planned for this top frequency whatever the engine's rate.
constexpr double tableBandLimit = 22050.0;

// The remainder that stays in 0..<n, so that a negative starting phase wraps like a positive one.
std::int64_t tableWrap(std::int64_t k, std::int64_t n) {
    const std::int64_t r = k % n;
    return r < 0 ? r + n : r;
}

// Writes shape(i, k, r) to every sample: k = i + the phase offset, r = k wrapped into the table.
template <typename Shape> void tableGenerate(std::vector<float>& content, std::int64_t offset, Shape shape) {
    const auto n = std::int64_t(content.size());
    for (std::int64_t i = 0; i < n; ++i)
        content[std::size_t(i)] = shape(i, i + offset, tableWrap(i + offset, n));
}

template <typename Amplitude>
void tableAddHarmonics(std::vector<float>& content, std::int64_t harmonicCount, Amplitude amplitude) {
    const float n = float(content.size());
    for (std::int64_t h = 1; h <= harmonicCount; ++h) {
        const float a = amplitude(h);
        const float cycles = (float(h) + float(h)) * tablePi;
        for (std::size_t i = 0; i < content.size(); ++i)
            content[i] += std::sin(float(i) * cycles / n) * a;
    }
}

// The fewest harmonics k ≥ 1 for which (k + 1) · f reaches the band limit; none for a frequency too
// low to count them in 64 bits.
std::optional<std::int64_t> tableHarmonicCount(double frequency) {
    const double ratio = tableBandLimit / frequency;
    if (!(ratio < 9.0e15)) return std::nullopt;
    auto k = std::max<std::int64_t>(1, std::int64_t(std::ceil(ratio)) - 1);
    while (double(k + 1) * frequency < tableBandLimit)
        ++k;
    while (k > 1 && double(k) * frequency >= tableBandLimit)
        --k;
    return k;
}

// Keeps only the first band of a single harmonic.
void tableAppendBand(std::vector<HarmonicBand>& bands, HarmonicBand band) {
    if (band.second == 1 && !bands.empty() && bands.back().second == 1) return;
    bands.push_back(band);
}

std::vector<float> tableChannelZero(const platform::PcmBuffer& buffer) {
    auto channels = toFloatChannelData(buffer);
    return channels && !channels->empty() ? std::move(channels->front()) : std::vector<float>();
}

} // namespace

TableType TableType::harmonicType(std::vector<float> amplitudes) {
    TableType type(harmonic);
    type.amplitudes_ = std::move(amplitudes);
    return type;
}

Table::Table(TableType type, std::int64_t count, float phase)
    : content_(std::size_t(std::max<std::int64_t>(count, 0)), 0.0f), phase_(phase), type_(std::move(type)) {
    fill();
}

Table::Table(std::vector<float> content, float phase)
    : content_(std::move(content)), phase_(phase), type_(TableType::custom) {}

std::shared_ptr<Table> Table::fromAudioFile(platform::AudioFile& file) {
    if (file.length() < 0) return nullptr;
    auto buffer = bufferFromFile(file);
    if (!buffer || !buffer.value() || !buffer.value()->floatChannelData()) return nullptr;
    auto table = std::make_shared<Table>(TableType::sine, file.length());
    const std::vector<float> samples = tableChannelZero(*buffer.value());
    std::copy_n(samples.begin(), std::min(samples.size(), table->content_.size()), table->content_.begin());
    return table;
}

std::shared_ptr<Table> Table::fromAudioFile(const platform::Url& url) {
    auto file = platform::AudioFile::openForReading(url.path());
    if (!file) return nullptr;
    auto buffer = bufferFromFile(*file.value());
    if (!buffer || !buffer.value() || !buffer.value()->floatChannelData()) return nullptr;
    auto table = std::make_shared<Table>(TableType::sine, std::int64_t(buffer.value()->frameLength()));
    table->content_ = tableChannelZero(*buffer.value());
    return table;
}

void Table::setPhase(float phase) {
    phase_ = phase > 0.0f ? std::min(phase, 1.0f) : 0.0f;
}

std::vector<float> Table::slice(std::int64_t from, std::int64_t to) const {
    return std::vector<float>(content_.begin() + from, content_.begin() + to);
}

void Table::replaceSubrange(std::int64_t from, std::int64_t to, std::span<const float> samples) {
    content_.erase(content_.begin() + from, content_.begin() + to);
    content_.insert(content_.begin() + from, samples.begin(), samples.end());
}

std::int64_t Table::phaseOffset() const {
    const float samples = float(count()) * phase_;
    // Beyond ±2^63 (or not a number) there is no sample to start from.
    return std::isfinite(samples) && std::fabs(samples) < 9.2e18f ? std::int64_t(samples) : 0;
}

void Table::fill() {
    switch (type_.shape()) {
    case TableType::harmonic:
        return fillHarmonics(type_.amplitudes());
    case TableType::sine:
        return fillSine();
    case TableType::triangle:
        return fillTriangle();
    case TableType::square:
        return fillSquare();
    case TableType::sawtooth:
        return fillSawtooth();
    case TableType::reverseSawtooth:
        return fillReverseSawtooth();
    case TableType::positiveSine:
        return fillPositiveSine();
    case TableType::positiveTriangle:
        return fillPositiveTriangle();
    case TableType::positiveSquare:
        return fillPositiveSquare();
    case TableType::positiveSawtooth:
        return fillPositiveSawtooth();
    case TableType::positiveReverseSawtooth:
        return fillPositiveReverseSawtooth();
    case TableType::zero:
        return fillZero();
    case TableType::custom:
        return;
    }
}

void Table::fillSine() {
    const float n = float(count());
    tableGenerate(content_, phaseOffset(),
                  [n](auto, std::int64_t k, auto) { return std::sin(float(k) * tableTwoPi / n); });
}

void Table::fillPositiveSine() {
    const float n = float(count());
    tableGenerate(content_, phaseOffset(), [n](auto, std::int64_t k, auto) {
        return 0.5f * std::sin(float(k) * tableTwoPi / n) + 0.5f;
    });
}

void Table::fillSawtooth() {
    const float n = float(count());
    tableGenerate(content_, phaseOffset(),
                  [n](auto, auto, std::int64_t r) { return (float(r) + float(r)) / n + -1.0f; });
}

void Table::fillReverseSawtooth() {
    const float n = float(count());
    tableGenerate(content_, phaseOffset(),
                  [n](auto, auto, std::int64_t r) { return 1.0f - (float(r) + float(r)) / n; });
}

void Table::fillPositiveSawtooth() {
    const float n = float(count());
    tableGenerate(content_, phaseOffset(), [n](auto, auto, std::int64_t r) { return float(r) / n; });
}

void Table::fillPositiveReverseSawtooth() {
    const float n = float(count());
    tableGenerate(content_, phaseOffset(), [n](auto, auto, std::int64_t r) { return 1.0f - float(r) / n; });
}

void Table::fillSquare() {
    const std::int64_t half = count() / 2;
    tableGenerate(content_, phaseOffset(),
                  [half](auto, auto, std::int64_t r) { return r < half ? -1.0f : 1.0f; });
}

void Table::fillPositiveSquare() {
    const std::int64_t half = count() / 2;
    tableGenerate(content_, phaseOffset(),
                  [half](auto, auto, std::int64_t r) { return r < half ? 0.0f : 1.0f; });
}

// The triangle turns at exactly half the table: with an odd count a turn at the rounded-down half
// would put the middle sample on the falling side, above the peak.
void Table::fillTriangle() {
    const std::int64_t n = count();
    const float slope = 4.0f / float(n);
    tableGenerate(content_, phaseOffset(), [n, slope](auto, auto, std::int64_t r) {
        return 2 * r < n ? float(r) * slope + -1.0f : 3.0f - float(r) * slope;
    });
}

void Table::fillPositiveTriangle() {
    const std::int64_t n = count();
    const float slope = 2.0f / float(n);
    tableGenerate(content_, phaseOffset(), [n, slope](auto, auto, std::int64_t r) {
        return 2 * r < n ? float(r) * slope : 2.0f - float(r) * slope;
    });
}

void Table::fillZero() {
    std::fill(content_.begin(), content_.end(), 0.0f);
}

void Table::fillHarmonics(std::span<const float> amplitudes) {
    const float n = float(count());
    const std::int64_t offset = phaseOffset();
    // The offset moves every partial by the same number of samples, not by its own multiple.
    tableGenerate(content_, offset, [&](std::int64_t i, auto, auto) {
        float v = std::sin(float(i + offset) * tableTwoPi / n);
        for (std::size_t m = 0; m < amplitudes.size(); ++m)
            v = v + std::sin(float(std::int64_t(m + 2) * i + offset) * tableTwoPi / n) * amplitudes[m];
        return v;
    });
}

void Table::normalize() {
    float peak = -1.0f;
    for (float x : content_)
        peak = std::max(peak, std::fabs(x));
    std::string message = "absMax = ";
    message += platform::floatText(peak);
    if (peak > 0.000001f) {
        for (float& x : content_)
            x /= peak;
        message += ": NOW NORMALIZED";
    } else {
        message += ": NOT NORMALIZED";
    }
    Log(LogSite("normalize()"), message);
}

void Table::reverseInPlace() {
    std::reverse(content_.begin(), content_.end());
}

void Table::negateInPlace() {
    for (float& x : content_)
        x = -x;
}

float Table::rootSquareDifference(const Table& other) const {
    float sum = 0.0f;
    for (std::size_t i = 0; i < std::min(content_.size(), other.content_.size()); ++i) {
        const float difference = content_[i] - other.content_[i];
        sum += difference * difference;
    }
    return std::sqrt(sum) / float(count());
}

Table::Extremes Table::extremes() const {
    Extremes result;
    for (float x : content_) {
        result.smallest = std::min(result.smallest, x);
        result.largest = std::max(result.largest, x);
        result.magnitude = std::max(result.magnitude, std::fabs(x));
    }
    return result;
}

void Table::addSawtoothHarmonics(std::int64_t harmonicCount, bool clearFirst) {
    phase_ = 0.0f;
    if (clearFirst) fillZero();
    tableAddHarmonics(content_, harmonicCount, [](std::int64_t h) { return 1.0f / float(h); });
}

void Table::addSquareHarmonics(std::int64_t harmonicCount, bool clearFirst) {
    phase_ = 0.0f;
    if (clearFirst) fillZero();
    tableAddHarmonics(content_, harmonicCount, [](std::int64_t h) { return float(h & 1) / float(h); });
}

void Table::addTriangleHarmonics(std::int64_t harmonicCount, bool clearFirst) {
    phase_ = 0.0f;
    if (clearFirst) fillZero();
    tableAddHarmonics(content_, harmonicCount, [](std::int64_t h) {
        const float sign = (h - 1) % 4 == 0 ? 1.0f : (h - 1) % 4 == 2 ? -1.0f : 0.0f;
        return sign / float(h * h);
    });
}

void Table::fillPulseHarmonics(std::int64_t harmonicCount, float width) {
    phase_ = 0.0f;
    std::fill(content_.begin(), content_.end(), width);
    const std::int64_t n = count();
    if (n == 0) return;
    const float samples = float(n) * width * 0.5f;
    const std::int64_t shift = std::isfinite(samples) ? std::int64_t(samples) : 0;
    for (std::int64_t h = 1; h <= harmonicCount; ++h) {
        const float amplitude = 2.0f / (float(h) * tablePi);
        const float coefficient = std::sin(float(h) * tablePi * width) * amplitude;
        const float cycles = (float(h) + float(h)) * tablePi;
        // The cosine of sample i lands on sample i + shift.
        for (std::int64_t i = 0; i < n; ++i) {
            float& target = content_[std::size_t(tableWrap(i + shift, n))];
            target = std::cos(float(i) * cycles / float(n)) * coefficient + target;
        }
    }
    for (float& x : content_) {
        x = x + x;
        x = x + -1.0f;
    }
}

std::vector<HarmonicBand> Table::harmonicBands(double startFrequency, double octaveStep) {
    if (!(startFrequency > 0.0) || !(startFrequency < tableBandLimit) || !(octaveStep > 0.0)) return {};
    // Each step is one band to plan; a plan that never ends is refused.
    if (!(std::log2(tableBandLimit / startFrequency) / octaveStep < 1.0e6)) return {};
    const auto first = tableHarmonicCount(startFrequency);
    if (!first) return {};
    std::vector<HarmonicBand> bands;
    double octaves = 0.0, frequency = startFrequency;
    while (frequency < tableBandLimit) {
        const std::int64_t k = *tableHarmonicCount(frequency);
        tableAppendBand(bands, {tableBandLimit / double(k), k});
        octaves += octaveStep;
        frequency = startFrequency * std::exp2(octaves);
    }
    return bands;
}

std::vector<HarmonicBand> Table::harmonicBands(std::int64_t count, double lowestFrequency,
                                               double highestFrequency) {
    std::vector<HarmonicBand> bands;
    for (std::int64_t i = 0; i < count; ++i) {
        // With a count of 1 this is 0 / 0: not a frequency below the limit, so the band (22050, 1).
        const double frequency =
            double(i) * (highestFrequency - lowestFrequency) / double(count - 1) + lowestFrequency;
        if (!(frequency < tableBandLimit)) {
            tableAppendBand(bands, {tableBandLimit, 1});
            continue;
        }
        if (!(frequency > 0.0)) continue;
        if (const auto k = tableHarmonicCount(frequency))
            tableAppendBand(bands, {tableBandLimit / double(*k), *k});
    }
    return bands;
}

std::vector<std::shared_ptr<Table>> Table::splitIntoTables(std::span<const float> samples,
                                                           std::int64_t tableSize) {
    std::vector<std::shared_ptr<Table>> tables;
    if (tableSize < 1) return tables;
    const auto size = std::size_t(tableSize);
    for (std::size_t start = 0; samples.size() - start >= size; start += size)
        tables.push_back(std::make_shared<Table>(std::vector<float>(
            samples.begin() + std::ptrdiff_t(start), samples.begin() + std::ptrdiff_t(start + size))));
    return tables;
}

std::vector<std::shared_ptr<Table>> Table::downsampleTables(const std::vector<std::shared_ptr<Table>>& tables,
                                                            std::int64_t size) {
    std::vector<std::shared_ptr<Table>> result;
    if (tables.empty() || !tables.front()) return result;
    const std::int64_t n = tables.front()->count();
    if (n < 2 || size < 1 || size > n) return result;
    const std::int64_t factor = n / size;
    // The last pair starts at n − 2 at the latest.
    const std::int64_t length = (n - 2) / factor + 1;
    for (const auto& table : tables) {
        const std::int64_t available = table && table->count() >= 2 ? (table->count() - 2) / factor + 1 : 0;
        std::vector<float> samples(std::size_t(std::min(length, available)));
        for (std::size_t k = 0; k < samples.size(); ++k)
            samples[k] =
                0.5f * (*table)[std::int64_t(k) * factor] + 0.5f * (*table)[std::int64_t(k) * factor + 1];
        result.push_back(std::make_shared<Table>(std::move(samples)));
    }
    return result;
}

std::vector<std::shared_ptr<Table>>
Table::interpolateTables(const std::vector<std::shared_ptr<Table>>& tables, std::int64_t count) {
    std::vector<std::shared_ptr<Table>> result;
    if (tables.empty() || count < 1) return result;
    const double threshold = 0.01 * double(tables.size());
    // With one table the step is infinite and every position is 0: that table throughout.
    const double step = std::ceil(double(count) / double(tables.size() - 1));
    for (std::int64_t i = 1; i <= count; ++i) {
        const double x = double(i - 1) / step;
        const auto j = std::size_t(x);
        const double f = std::fmod(x, 1.0);
        if (1.0 - f < threshold) {
            result.push_back(tables[j + 1]);
        } else if (f < threshold) {
            result.push_back(tables[j]);
        } else {
            const std::vector<float>& a = tables[j]->content();
            const std::vector<float>& b = tables[j + 1]->content();
            std::vector<float> mix(std::min(a.size(), b.size()));
            const float share = float(f);
            for (std::size_t k = 0; k < mix.size(); ++k)
                mix[k] = a[k] + share * (b[k] - a[k]);
            result.push_back(std::make_shared<Table>(std::move(mix)));
        }
    }
    return result;
}

std::vector<std::shared_ptr<Table>> Table::wavetablesFromAudioFile(const platform::Url& url,
                                                                   std::int64_t tableSize) {
    const auto signal = loadAudioSignal(url);
    if (!signal) return {};
    const auto tables = splitIntoTables(signal->samples, tableSize);
    return interpolateTables(tables, 256);
}

} // namespace rozezeru
