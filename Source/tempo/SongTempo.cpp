#include "SongTempo.h"

#include <array>
#include <cctype>
#include <string>

namespace vantle {

namespace {

struct DanceRow {
    Dance dance;
    std::string_view key;
    DanceBand band;
};

constexpr std::array<DanceRow, 14> danceRows{{
    {Dance::none, "none", {0, 0, 0}},
    {Dance::waltz, "waltz", {3, 28, 30}},
    {Dance::vienneseWaltz, "viennese-waltz", {3, 58, 60}},
    {Dance::tango, "tango", {4, 31, 33}},
    {Dance::foxtrot, "foxtrot", {4, 28, 30}},
    {Dance::quickstep, "quickstep", {4, 50, 52}},
    {Dance::samba, "samba", {2, 50, 52}},
    {Dance::chaCha, "cha-cha", {4, 30, 32}},
    {Dance::rumba, "rumba", {4, 25, 27}},
    {Dance::pasoDoble, "paso-doble", {2, 60, 62}},
    {Dance::jive, "jive", {4, 42, 44}},
    {Dance::polka, "polka", {2, 58, 62}},
    {Dance::westCoastSwing, "west-coast-swing", {4, 28, 32}},
    {Dance::squareDance, "square-dance", {4, 31, 33}},
}};

// Letters only, lower case: "Cha Cha", "cha_cha" and "cha-cha" compare equal.
std::string foldedDanceKey(std::string_view text) {
    std::string folded;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded;
}

} // namespace

const std::vector<Dance>& allDances() {
    static const std::vector<Dance> dances = [] {
        std::vector<Dance> list;
        for (const auto& row : danceRows)
            list.push_back(row.dance);
        return list;
    }();
    return dances;
}

std::string_view danceKey(Dance dance) {
    for (const auto& row : danceRows) {
        if (row.dance == dance) return row.key;
    }
    return "none";
}

std::optional<Dance> danceFromKey(std::string_view key) {
    const std::string folded = foldedDanceKey(key);
    if (folded.empty()) return std::nullopt;
    for (const auto& row : danceRows) {
        if (foldedDanceKey(row.key) == folded) return row.dance;
    }
    return std::nullopt;
}

DanceBand defaultBand(Dance dance) {
    for (const auto& row : danceRows) {
        if (row.dance == dance) return row.band;
    }
    return {};
}

} // namespace vantle
