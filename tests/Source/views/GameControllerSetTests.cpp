#include "Source/views/GameControllerSet.h"
#include "platform/foundation/Console.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/FakeGameControllerBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using testsupport::FakeGameControllerBackend;
using platform::GamepadButton;
using vantle::GameControllerSet;
using vantle::RemoteControlButton;

namespace {

// Writes every report as a line: "+A", "-A", "#2".
class RecordingRemoteDelegate final : public vantle::RemoteControlDelegate {
public:
    void pressed(RemoteControlButton button) override {
        calls.push_back("+" + std::string(vantle::remoteControlButtonName(button)));
    }
    void released(RemoteControlButton button) override {
        calls.push_back("-" + std::string(vantle::remoteControlButtonName(button)));
    }
    void connected(int count) override { calls.push_back("#" + std::to_string(count)); }

    std::vector<std::string> take() { return std::exchange(calls, {}); }
    std::vector<std::string> calls;
};

class GameControllerSetTest : public ::testing::Test {
protected:
    GameControllerSetTest() {
        auto backend = std::make_unique<FakeGameControllerBackend>();
        fake = backend.get();
        center = std::make_unique<platform::GameControllerCenter>(std::move(backend));
    }

    FakeGameControllerBackend* fake = nullptr;
    std::unique_ptr<platform::GameControllerCenter> center;
    RecordingRemoteDelegate delegate;
};

using Calls = std::vector<std::string>;

} // namespace

TEST_F(GameControllerSetTest, reportsControllerCountsAsControllersComeAndGo) {
    const auto first = fake->connect("Xbox Wireless Controller", "Xbox One");

    testsupport::ScopedConsoleCapture console;
    int willChange = 0;
    std::unique_ptr<GameControllerSet> remote;
    remote = std::make_unique<GameControllerSet>(&delegate, *center);
    remote->setWillChangeHandler([&] {
        ++willChange;
        // The delegate has heard the count before the change is announced.
        EXPECT_EQ(delegate.calls.back().front(), '#');
    });
    EXPECT_EQ(delegate.take(), Calls{"#1"});
    EXPECT_EQ(console.lines(),
              (std::vector<std::string>{"Xbox Wireless Controller added", "Xbox One category"}));
    EXPECT_EQ(remote->controllersPaired().size(), 1u);

    console.clear();
    const auto second = fake->connect(std::nullopt, "Switch Pro Controller");
    const auto third = fake->connect(std::nullopt, "DualShock 4");
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"switch added", "Switch Pro Controller category",
                                                         "default added", "DualShock 4 category"}));
    fake->disconnect(third);
    fake->disconnect(second);
    fake->disconnect(first);
    EXPECT_EQ(delegate.take(), (Calls{"#2", "#3", "#2", "#1", "#0"}));
    EXPECT_EQ(willChange, 5);

    // Unplugged and plugged in again, the remote pairs the controller afresh and goes on reporting.
    const auto again = fake->connect("Xbox Wireless Controller", "Xbox One");
    fake->press(again, GamepadButton::buttonA);
    fake->release(again, GamepadButton::buttonA);
    EXPECT_EQ(delegate.take(), (Calls{"#1", "+A", "-A"}));
    fake->disconnect(again);
    const auto onceMore = fake->connect("Xbox Wireless Controller", "Xbox One");
    fake->press(onceMore, GamepadButton::rightShoulder);
    EXPECT_EQ(delegate.take(), (Calls{"#0", "#1", "+R"}));
}

TEST_F(GameControllerSetTest, reportsEveryMappedButtonAndNothingElse) {
    const auto pad = fake->connect();
    GameControllerSet remote(&delegate, *center);
    delegate.take();

    const std::vector<std::pair<GamepadButton, std::string>> expected = {
        {GamepadButton::buttonA, "A"},         {GamepadButton::buttonB, "B"},
        {GamepadButton::buttonX, "X"},         {GamepadButton::buttonY, "Y"},
        {GamepadButton::leftShoulder, "L"},    {GamepadButton::rightShoulder, "R"},
        {GamepadButton::dpadUp, "dpadUp"},     {GamepadButton::dpadDown, "dpadDown"},
        {GamepadButton::dpadLeft, "dpadLeft"}, {GamepadButton::dpadRight, "dpadRight"},
        {GamepadButton::leftTrigger, "L2"},    {GamepadButton::rightTrigger, "R2"},
    };
    for (const auto& [input, name] : expected) {
        fake->press(pad, input);
        fake->release(pad, input);
        EXPECT_EQ(delegate.take(), (Calls{"+" + name, "-" + name})) << name;
    }
    EXPECT_EQ(remote.buttonMap().size(), expected.size());
}

TEST_F(GameControllerSetTest, controllersWithoutTheGamepadProfileAreCountedButNeverPaired) {
    GameControllerSet remote(&delegate, *center);
    EXPECT_TRUE(delegate.calls.empty()); // nothing connected at creation: no report

    testsupport::ScopedConsoleCapture console;
    const auto stick = fake->connect("Flight Stick", "Generic", false);
    fake->press(stick, GamepadButton::buttonA);
    EXPECT_TRUE(delegate.calls.empty());
    EXPECT_TRUE(console.lines().empty());
    EXPECT_EQ(remote.controllersPaired().size(), 1u);

    const auto pad = fake->connect("Pad");
    fake->press(pad, GamepadButton::buttonY);
    fake->disconnect(stick);
    EXPECT_EQ(delegate.take(), (Calls{"#2", "+Y", "#1"}));
}

TEST_F(GameControllerSetTest, goesQuietWithoutDelegateAndOnceDestroyed) {
    testsupport::ScopedConsoleCapture console;
    const auto pad = fake->connect();
    {
        GameControllerSet silent(nullptr, *center);
        fake->press(pad, GamepadButton::buttonA);
        fake->connect();
        EXPECT_EQ(silent.controllersPaired().size(), 2u);
    }
    {
        GameControllerSet remote(&delegate, *center);
        EXPECT_EQ(delegate.take(), Calls{"#2"});
        fake->release(pad, GamepadButton::buttonA);
        EXPECT_EQ(delegate.take(), Calls{"-A"});
    }
    // Destroyed: its handlers and observations are gone with it.
    fake->press(pad, GamepadButton::buttonB);
    fake->connect();
    EXPECT_TRUE(delegate.calls.empty());
}
