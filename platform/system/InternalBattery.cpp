#include "platform/system/InternalBattery.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace platform {

namespace {

namespace fs = std::filesystem;

std::optional<std::string> readBatteryText(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// A property that is missing or not a whole number gives no value.
std::optional<std::int64_t> readBatteryInteger(const fs::path& file) {
    const std::optional<std::string> text = readBatteryText(file);
    if (!text || text->empty()) return std::nullopt;
    std::int64_t value = 0;
    const char* end = text->data() + text->size();
    const auto [rest, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || rest != end) return std::nullopt;
    return value;
}

std::vector<fs::path> supplyFolders(const std::string& folder) {
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        found.push_back(it->path());
    std::sort(found.begin(), found.end());
    return found;
}

bool isSupplyOfType(const fs::path& supply, std::string_view type) {
    return readBatteryText(supply / "type") == std::string(type);
}

std::optional<double> dividedBy(const std::optional<std::int64_t>& value, double divisor) {
    if (!value) return std::nullopt;
    return static_cast<double>(*value) / divisor;
}

std::optional<double> percentOf(const std::optional<std::int64_t>& part,
                                const std::optional<std::int64_t>& whole) {
    if (!part || !whole || *whole <= 0) return std::nullopt;
    return static_cast<double>(*part) / static_cast<double>(*whole) * 100.0;
}

} // namespace

std::optional<double> InternalBattery::chargePercent() const {
    return percentOf(currentCapacity, maxCapacity);
}

std::optional<double> InternalBattery::healthPercent() const {
    return percentOf(maxCapacity, designCapacity);
}

std::optional<std::int64_t> InternalBattery::timeLeftMinutes() const {
    if (!isCharging) return std::nullopt;
    return *isCharging ? timeToFull : timeToEmpty;
}

std::string InternalBattery::timeLeftText() const {
    const std::optional<std::int64_t> minutes = timeLeftMinutes();
    if (!minutes || *minutes <= 0) return "-";
    char text[48];
    std::snprintf(text, sizeof text, "%.2lld:%.2lld", static_cast<long long>(*minutes / 60),
                  static_cast<long long>(*minutes % 60));
    return text;
}

InternalFinder::InternalFinder(std::string powerSupplyFolder) : folder_(std::move(powerSupplyFolder)) {}

bool InternalFinder::isBatteryPresent() {
    if (internalChecked_) return hasInternalBattery_;
    hasInternalBattery_ = !supplyFolders(folder_).empty();
    internalChecked_ = true;
    return hasInternalBattery_;
}

std::optional<std::chrono::year_month_day> InternalFinder::validDate(std::int64_t year, std::int64_t month,
                                                                     std::int64_t day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(year)),
                                           std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) return std::nullopt;
    return date;
}

std::optional<InternalBattery> InternalFinder::getInternalBattery() const {
    for (const fs::path& supply : supplyFolders(folder_))
        if (isSupplyOfType(supply, "Battery")) return readBattery(supply.string());
    return std::nullopt;
}

InternalBattery InternalFinder::readBattery(const std::string& batteryFolder) const {
    const fs::path battery(batteryFolder);
    InternalBattery record;

    record.name = readBatteryText(battery / "model_name");
    if (!record.name) record.name = battery.filename().string();
    // The kernel counts seconds; the record minutes.
    if (auto seconds = readBatteryInteger(battery / "time_to_empty_now")) record.timeToEmpty = *seconds / 60;
    if (auto seconds = readBatteryInteger(battery / "time_to_full_now")) record.timeToFull = *seconds / 60;

    // A driver reports either charge (µAh) or energy (µWh); the percentages only need one unit.
    const bool energy = !fs::exists(battery / "charge_full");
    const std::string unit = energy ? "energy_" : "charge_";
    record.currentCapacity = readBatteryInteger(battery / (unit + "now"));
    record.maxCapacity = readBatteryInteger(battery / (unit + "full"));
    record.designCapacity = readBatteryInteger(battery / (unit + "full_design"));
    record.cycleCount = readBatteryInteger(battery / "cycle_count");

    for (const fs::path& supply : supplyFolders(folder_))
        if (isSupplyOfType(supply, "Mains"))
            if (auto online = readBatteryInteger(supply / "online")) record.acPowered = *online != 0;
    if (const std::optional<std::string> status = readBatteryText(battery / "status")) {
        record.isCharging = *status == "Charging";
        record.isCharged = *status == "Full";
    }

    // Drivers differ in the sign of the current; the record's is negative while discharging.
    if (auto microamperes = readBatteryInteger(battery / "current_now")) {
        const std::int64_t milliamperes = (*microamperes < 0 ? -*microamperes : *microamperes) / 1000;
        record.amperage = record.isCharging.value_or(false) || record.isCharged.value_or(false)
                              ? milliamperes
                              : -milliamperes;
    }
    record.voltage = dividedBy(readBatteryInteger(battery / "voltage_now"), 1e6);
    record.temperature = dividedBy(readBatteryInteger(battery / "temp"), 10.0);
    record.manufacturer = readBatteryText(battery / "manufacturer");
    const auto year = readBatteryInteger(battery / "manufacture_year");
    const auto month = readBatteryInteger(battery / "manufacture_month");
    const auto day = readBatteryInteger(battery / "manufacture_day");
    if (year && month && day) record.manufactureDate = validDate(*year, *month, *day);

    if (record.amperage && record.voltage && record.isCharging) {
        const double watts = static_cast<double>(*record.amperage) * *record.voltage / 1000.0;
        record.watts = *record.isCharging ? watts : -watts;
    }
    return record;
}

} // namespace platform
