#include "Source/tempo/EntryTempo.h"

#include "Source/tempo/DanceTable.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace vantle {

namespace {

// Beat times as 32-bit floats, little-endian: a tenth of a millisecond over hours, a quarter of the
// size of a list of reals.
platform::Bytes packedTimes(const std::vector<double>& times) {
    platform::Bytes bytes(times.size() * 4);
    for (std::size_t i = 0; i < times.size(); ++i) {
        const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(times[i]));
        for (int b = 0; b < 4; ++b)
            bytes[i * 4 + b] = static_cast<std::uint8_t>(bits >> (8 * b));
    }
    return bytes;
}

// Nothing unless the data holds whole times, finite and ascending. A beat may lie a moment before the
// file's start: a grid carried back past the first sound.
std::optional<std::vector<double>> unpackedTimes(const platform::Bytes& bytes) {
    if (bytes.size() % 4 != 0 || bytes.size() / 4 > EntryTempo::maximumBeats) return std::nullopt;
    std::vector<double> times(bytes.size() / 4);
    for (std::size_t i = 0; i < times.size(); ++i) {
        std::uint32_t bits = 0;
        for (int b = 0; b < 4; ++b)
            bits |= std::uint32_t(bytes[i * 4 + b]) << (8 * b);
        times[i] = std::bit_cast<float>(bits);
        if (!std::isfinite(times[i]) || (i > 0 && times[i] < times[i - 1])) return std::nullopt;
    }
    return times;
}

} // namespace

EntryTempo::EntryTempo(const platform::KeyedDecoder& decoder) {
    if (auto key = decoder.tryDecode<std::string>("dance")) chosenDance = danceFromKey(*key);
    if (auto target = decoder.tryDecode<double>("targetBPM"); target && std::isfinite(*target) && *target > 0)
        targetBeatsPerMinute = *target;
    const auto bpm = decoder.tryDecode<double>("bpm");
    const auto beats = decoder.tryDecode<platform::Bytes>("beats");
    const auto downbeats = decoder.tryDecode<platform::Bytes>("downbeats");
    if (!bpm || !std::isfinite(*bpm) || *bpm <= 0 || !beats || !downbeats) return;
    auto beatTimes = unpackedTimes(*beats);
    auto downbeatTimes = unpackedTimes(*downbeats);
    if (!beatTimes || !downbeatTimes) return;
    SongTempo read;
    read.bpm = *bpm;
    read.beatsPerBar = std::clamp(static_cast<int>(decoder.decode<std::int64_t>("beatsPerBar", 4)), 2, 4);
    read.beats = std::move(*beatTimes);
    read.downbeats = std::move(*downbeatTimes);
    read.sure = decoder.decode("sure", false);
    read.corrected = decoder.decode("corrected", false);
    tempo = std::move(read);
    fileSize = decoder.decode<std::uint64_t>("fileSize", 0);
    fileModified = decoder.decode<std::int64_t>("fileModified", 0);
    if (auto key = decoder.tryDecode<std::string>("analysedFor"))
        analysedFor = danceFromKey(*key).value_or(Dance::none);
}

void EntryTempo::encode(platform::KeyedEncoder& encoder) const {
    if (chosenDance) encoder.encode("dance", danceKey(*chosenDance));
    encoder.encodeIfPresent("targetBPM", targetBeatsPerMinute);
    if (!tempo) return;
    encoder.encode("bpm", tempo->bpm);
    encoder.encode("beatsPerBar", std::int64_t(tempo->beatsPerBar));
    encoder.encode("beats", packedTimes(tempo->beats));
    encoder.encode("downbeats", packedTimes(tempo->downbeats));
    encoder.encode("sure", tempo->sure);
    encoder.encode("corrected", tempo->corrected);
    encoder.encode("fileSize", fileSize);
    encoder.encode("fileModified", fileModified);
    encoder.encode("analysedFor", danceKey(analysedFor));
}

Dance EntryTempo::dance(const DanceTable& table, std::string_view tags) const {
    return chosenDance ? *chosenDance : table.danceForTags(tags);
}

} // namespace vantle
