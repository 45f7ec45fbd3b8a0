#include "platform/system/InternalBattery.h"

#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

using platform::InternalBattery;
using platform::InternalFinder;
using Files = std::map<std::string, std::string>;

// One power supply of a fake /sys/class/power_supply.
void writeSupply(const testsupport::TemporaryFolder& root, const std::string& name, const Files& files) {
    std::filesystem::create_directories(root.file(name));
    for (const auto& [file, text] : files)
        std::ofstream(root.file(name + "/" + file)) << text << "\n";
}

TEST(InternalBattery, ReadsFiguresFromThePowerSupplyTree) {
    testsupport::TemporaryFolder root;
    writeSupply(root, "AC", {{"type", "Mains"}, {"online", "0"}});
    writeSupply(root, "BAT0",
                {{"type", "Battery"},
                 {"status", "Discharging"},
                 {"model_name", "5B10W13930"},
                 {"manufacturer", "SMP"},
                 {"charge_now", "4000000"},
                 {"charge_full", "5000000"},
                 {"charge_full_design", "6250000"},
                 {"cycle_count", "41"},
                 {"current_now", "1500000"},
                 {"voltage_now", "12600000"},
                 {"temp", "301"},
                 {"time_to_empty_now", "8100"},
                 {"manufacture_year", "2025"},
                 {"manufacture_month", "1"},
                 {"manufacture_day", "15"}});
    InternalFinder finder(root.path);
    ASSERT_TRUE(finder.isBatteryPresent());
    const std::optional<InternalBattery> battery = finder.getInternalBattery();
    ASSERT_TRUE(battery);
    EXPECT_EQ(battery->name, "5B10W13930");
    EXPECT_EQ(battery->manufacturer, "SMP");
    EXPECT_EQ(battery->acPowered, false);
    EXPECT_EQ(battery->isCharging, false);
    EXPECT_EQ(battery->amperage, -1500);
    EXPECT_DOUBLE_EQ(*battery->voltage, 12.6);
    EXPECT_DOUBLE_EQ(*battery->watts, 18.9);
    EXPECT_DOUBLE_EQ(*battery->temperature, 30.1);
    EXPECT_DOUBLE_EQ(*battery->chargePercent(), 80.0);
    EXPECT_DOUBLE_EQ(*battery->healthPercent(), 80.0);
    EXPECT_EQ(battery->cycleCount, 41);
    EXPECT_EQ(battery->timeLeftText(), "02:15");
    EXPECT_EQ(battery->manufactureDate, std::chrono::year(2025) / 1 / 15);
}

TEST(InternalBattery, ChargingGivesPositivePowerAndTimeToFull) {
    testsupport::TemporaryFolder root;
    writeSupply(root, "BAT1",
                {{"type", "Battery"},
                 {"status", "Charging"},
                 {"energy_now", "10"},
                 {"energy_full", "20"},
                 {"current_now", "-2000000"},
                 {"voltage_now", "12600000"},
                 {"time_to_full_now", "360000"}});
    const std::optional<InternalBattery> battery = InternalFinder(root.path).getInternalBattery();
    ASSERT_TRUE(battery);
    EXPECT_DOUBLE_EQ(*battery->watts, 25.2);
    EXPECT_DOUBLE_EQ(*battery->chargePercent(), 50.0);
    EXPECT_EQ(battery->timeLeftText(), "100:00");
}

TEST(InternalBattery, MissingOrImpossibleFiguresGiveNoValue) {
    testsupport::TemporaryFolder root;
    writeSupply(root, "BAT0",
                {{"type", "Battery"},
                 {"charge_now", "10"},
                 {"charge_full", "0"},
                 {"charge_full_design", "-5"},
                 {"voltage_now", "twelve"},
                 {"manufacture_year", "2021"},
                 {"manufacture_month", "2"},
                 {"manufacture_day", "30"}});
    const std::optional<InternalBattery> battery = InternalFinder(root.path).getInternalBattery();
    ASSERT_TRUE(battery);
    EXPECT_FALSE(battery->chargePercent());
    EXPECT_FALSE(battery->healthPercent());
    EXPECT_FALSE(battery->voltage);
    EXPECT_FALSE(battery->watts);
    EXPECT_FALSE(battery->manufactureDate);
    EXPECT_EQ(battery->timeLeftText(), "-");

    struct DateCase {
        std::int64_t year, month, day;
        bool valid;
    };
    for (const DateCase c : {DateCase{2021, 6, 3, true},
                             {2024, 2, 29, true},
                             {2023, 2, 29, false},
                             {2021, 0, 3, false},
                             {2021, 13, 3, false},
                             {2021, 4, 31, false},
                             {2021, 4, 0, false}})
        EXPECT_EQ(InternalFinder::validDate(c.year, c.month, c.day).has_value(), c.valid)
            << c.year << "-" << c.month << "-" << c.day;

    InternalBattery times;
    times.isCharging = false;
    for (const std::int64_t minutes : {0, -5}) {
        times.timeToEmpty = minutes;
        EXPECT_EQ(times.timeLeftText(), "-");
    }
}

TEST(InternalBattery, NoPowerSupplyGivesNoBattery) {
    testsupport::TemporaryFolder root;
    writeSupply(root, "AC", {{"type", "Mains"}, {"online", "1"}});
    InternalFinder finder(root.path);
    EXPECT_TRUE(finder.isBatteryPresent());
    EXPECT_FALSE(finder.getInternalBattery());
    EXPECT_FALSE(InternalFinder(root.file("absent")).isBatteryPresent());
}

} // namespace
