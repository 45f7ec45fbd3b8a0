#include "platform/system/InternalBattery.h"

#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

namespace {

using platform::InternalBattery;
using platform::InternalFinder;

// One power supply of a fake /sys/class/power_supply, its files given as "name=value" words.
void writeSupply(const testsupport::TemporaryFolder& root, const std::string& name,
                 const std::string& files) {
    std::filesystem::create_directories(root.file(name));
    std::istringstream words(files);
    for (std::string word; words >> word;) {
        const auto equals = word.find('=');
        std::ofstream(root.file(name + "/" + word.substr(0, equals))) << word.substr(equals + 1) << "\n";
    }
}

TEST(InternalBattery, ReadsFiguresFromThePowerSupplyTree) {
    testsupport::TemporaryFolder root;
    writeSupply(root, "AC", "type=Mains online=0");
    writeSupply(root, "BAT0",
                "type=Battery status=Discharging model_name=5B10W13930 manufacturer=SMP "
                "charge_now=4000000 charge_full=5000000 charge_full_design=6250000 cycle_count=41 "
                "current_now=1500000 voltage_now=12600000 temp=301 time_to_empty_now=8100 "
                "manufacture_year=2025 manufacture_month=1 manufacture_day=15");
    InternalFinder finder(root.path);
    ASSERT_TRUE(finder.isBatteryPresent());
    const std::optional<InternalBattery> battery = finder.getInternalBattery();
    ASSERT_TRUE(battery);
    EXPECT_EQ(std::tuple(battery->name, battery->manufacturer, battery->acPowered, battery->amperage,
                         battery->cycleCount, battery->timeLeftText()),
              std::tuple("5B10W13930", "SMP", false, -1500, 41, "02:15"));
    EXPECT_DOUBLE_EQ(*battery->voltage, 12.6);
    EXPECT_DOUBLE_EQ(*battery->watts, 18.9);
    EXPECT_DOUBLE_EQ(*battery->temperature, 30.1);
    EXPECT_DOUBLE_EQ(*battery->chargePercent(), 80.0);
    EXPECT_DOUBLE_EQ(*battery->healthPercent(), 80.0);
    EXPECT_EQ(battery->manufactureDate, std::chrono::year(2025) / 1 / 15);

    writeSupply(root, "BAT0", "status=Charging current_now=-2000000 time_to_full_now=360000");
    const std::optional<InternalBattery> charging = finder.getInternalBattery();
    ASSERT_TRUE(charging);
    EXPECT_DOUBLE_EQ(*charging->watts, 25.2);
    EXPECT_EQ(charging->timeLeftText(), "100:00");
}

TEST(InternalBattery, MissingOrImpossibleFiguresGiveNoValue) {
    testsupport::TemporaryFolder root;
    writeSupply(root, "BAT0",
                "type=Battery charge_now=10 charge_full=0 charge_full_design=-5 voltage_now=twelve "
                "manufacture_year=2021 manufacture_month=2 manufacture_day=30");
    const std::optional<InternalBattery> battery = InternalFinder(root.path).getInternalBattery();
    ASSERT_TRUE(battery);
    EXPECT_FALSE(battery->chargePercent() || battery->healthPercent() || battery->voltage || battery->watts ||
                 battery->manufactureDate);
    EXPECT_EQ(battery->timeLeftText(), "-");

    using Date = std::array<std::int64_t, 3>;
    for (const Date& date :
         {Date{2023, 2, 29}, Date{2021, 0, 3}, Date{2021, 13, 3}, Date{2021, 4, 31}, Date{2021, 4, 0}})
        EXPECT_FALSE(InternalFinder::validDate(date[0], date[1], date[2]))
            << date[0] << "-" << date[1] << "-" << date[2];
    EXPECT_TRUE(InternalFinder::validDate(2024, 2, 29));

    InternalBattery times;
    times.isCharging = false;
    times.timeToEmpty = 0;
    EXPECT_EQ(times.timeLeftText(), "-");

    testsupport::TemporaryFolder mainsOnly;
    writeSupply(mainsOnly, "AC", "type=Mains online=1");
    EXPECT_FALSE(InternalFinder(mainsOnly.path).getInternalBattery());
    EXPECT_FALSE(InternalFinder(mainsOnly.file("absent")).isBatteryPresent());
}

} // namespace
