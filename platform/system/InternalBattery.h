#pragma once
// The state of the computer's internal battery, read from the kernel's power-supply class
// (/sys/class/power_supply), which stands in for the power-source list and the smart-battery service.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// One reading of the battery. Every field may have no value: a driver offers what it knows. Any
// thread (a plain value).
class InternalBattery {
public:
    std::optional<std::string> name;
    std::optional<std::int64_t> timeToFull;  // minutes
    std::optional<std::int64_t> timeToEmpty; // minutes
    std::optional<std::string> manufacturer;
    std::optional<std::chrono::year_month_day> manufactureDate;
    // Charge and capacities in the unit the driver uses (µAh or µWh), the same for all three.
    std::optional<std::int64_t> currentCapacity;
    std::optional<std::int64_t> maxCapacity;
    std::optional<std::int64_t> designCapacity;
    std::optional<std::int64_t> cycleCount;
    std::optional<std::int64_t> designCycleCount;
    std::optional<bool> acPowered;
    std::optional<bool> isCharging;
    std::optional<bool> isCharged;
    // Milliamperes, negative while the battery discharges.
    std::optional<std::int64_t> amperage;
    std::optional<double> voltage; // volts
    std::optional<double> watts;
    std::optional<double> temperature; // °C

    // No value without both figures, or when the divisor is not above zero.
    std::optional<double> chargePercent() const;
    std::optional<double> healthPercent() const;
    // "hh:mm" of the time to full (charging) or to empty; "-" when unknown or not above zero.
    std::string timeLeftText() const;
    std::optional<std::int64_t> timeLeftMinutes() const;
};

// Reads the battery from a power-supply folder (the kernel's, or a test's). Any one thread.
class InternalFinder {
public:
    explicit InternalFinder(std::string powerSupplyFolder = "/sys/class/power_supply");

    // Whether any power supply is listed; worked out once.
    bool isBatteryPresent();
    // A fresh reading of the first battery; nothing when there is none.
    std::optional<InternalBattery> getInternalBattery() const;

    // A real calendar day, or nothing (month 13, 31 February, …).
    static std::optional<std::chrono::year_month_day> validDate(std::int64_t year, std::int64_t month,
                                                                std::int64_t day);

private:
    InternalBattery readBattery(const std::string& batteryFolder) const;

    std::string folder_;
    bool internalChecked_ = false;
    bool hasInternalBattery_ = false;
};

} // namespace platform
