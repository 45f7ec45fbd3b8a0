#include "Source/tempo/DanceTable.h"

#include <cmath>

namespace vantle {

namespace {

bool tempoInTableRange(double barsPerMinute) {
    return std::isfinite(barsPerMinute) && barsPerMinute >= DanceTable::slowestBarsPerMinute &&
           barsPerMinute <= DanceTable::fastestBarsPerMinute;
}

// One character of UTF-8 text (or none): a tag is what a song's tags text holds one of.
bool isOneTag(std::string_view tag) {
    if (tag.empty()) return true;
    const auto lead = static_cast<unsigned char>(tag[0]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return tag.size() == length;
}

} // namespace

DanceSettings DanceTable::settings(Dance dance) const {
    if (auto found = changed_.find(dance); found != changed_.end()) return found->second;
    return {defaultBand(dance), std::nullopt, {}};
}

void DanceTable::set(Dance dance, const DanceSettings& settings) {
    if (dance == Dance::none) return;
    DanceSettings row = this->settings(dance);
    const DanceBand& band = settings.band;
    if (band.beatsPerBar >= 2 && band.beatsPerBar <= 4) row.band.beatsPerBar = band.beatsPerBar;
    if (tempoInTableRange(band.lowBarsPerMinute) && tempoInTableRange(band.highBarsPerMinute) &&
        band.lowBarsPerMinute <= band.highBarsPerMinute) {
        row.band.lowBarsPerMinute = band.lowBarsPerMinute;
        row.band.highBarsPerMinute = band.highBarsPerMinute;
    }
    if (!settings.target || tempoInTableRange(*settings.target)) row.target = settings.target;
    if (isOneTag(settings.tag)) {
        row.tag = settings.tag;
        if (!row.tag.empty()) {
            for (auto& [other, otherRow] : changed_)
                if (other != dance && otherRow.tag == row.tag) otherRow.tag.clear();
        }
    }
    changed_[dance] = row;
    // A tag taken from another row may leave it at its defaults.
    std::erase_if(changed_, [](const auto& item) {
        return item.second == DanceSettings{defaultBand(item.first), std::nullopt, {}};
    });
}

Dance DanceTable::danceForTags(std::string_view tags) const {
    if (tags.empty()) return Dance::none;
    for (const auto& [dance, row] : changed_) {
        // The map is in menu order: the first dance tagged wins.
        if (!row.tag.empty() && tags.find(row.tag) != std::string_view::npos) return dance;
    }
    return Dance::none;
}

platform::PlistValue DanceTable::encoded() const {
    platform::PlistDictionary rows;
    for (const auto& [dance, row] : changed_) {
        platform::PlistDictionary fields;
        fields.set("beatsPerBar", row.band.beatsPerBar);
        fields.set("low", row.band.lowBarsPerMinute);
        fields.set("high", row.band.highBarsPerMinute);
        if (row.target) fields.set("target", *row.target);
        if (!row.tag.empty()) fields.set("tag", row.tag);
        rows.set(std::string(danceKey(dance)), std::move(fields));
    }
    return rows;
}

DanceTable DanceTable::decoded(const platform::PlistValue& value) {
    DanceTable table;
    const platform::PlistDictionary* rows = value.asDictionary();
    if (!rows) return table;
    for (const auto& [key, fields] : *rows) {
        const std::optional<Dance> dance = danceFromKey(key);
        if (!dance || !fields.asDictionary()) continue;
        DanceSettings row = table.settings(*dance);
        auto number = [&](std::string_view name) -> std::optional<double> {
            const platform::PlistValue* field = fields.find(name);
            if (!field) return std::nullopt;
            if (auto real = field->asReal()) return *real;
            if (auto integer = field->asInteger()) return static_cast<double>(*integer);
            return std::nullopt;
        };
        if (auto meter = number("beatsPerBar")) row.band.beatsPerBar = static_cast<int>(*meter);
        if (auto low = number("low")) row.band.lowBarsPerMinute = *low;
        if (auto high = number("high")) row.band.highBarsPerMinute = *high;
        row.target = number("target");
        if (const platform::PlistValue* tag = fields.find("tag"); tag && tag->asString())
            row.tag = *tag->asString();
        // Each value is checked as the user's would be; one that is out of range keeps the default.
        table.set(*dance, row);
    }
    return table;
}

} // namespace vantle
