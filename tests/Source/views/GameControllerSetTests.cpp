#include "Source/views/GameControllerSet.h"
#include "platform/foundation/Console.h"
#include "platform/system/FakeGameControllerBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using platform::FakeGameControllerBackend;
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

struct RemoteWorld {
    FakeGameControllerBackend* fake = nullptr;
    std::unique_ptr<platform::GameControllerCenter> center;
    RecordingRemoteDelegate delegate;

    RemoteWorld() {
        auto backend = std::make_unique<FakeGameControllerBackend>();
        fake = backend.get();
        center = std::make_unique<platform::GameControllerCenter>(std::move(backend));
    }
};

using Calls = std::vector<std::string>;

} // namespace

TEST(GameControllerSet, reportsControllerCountsAsControllersComeAndGo) {
    RemoteWorld world;
    const auto first = world.fake->connect("Xbox Wireless Controller", "Xbox One");

    platform::ScopedConsoleCapture console;
    int willChange = 0;
    std::unique_ptr<GameControllerSet> remote;
    remote = std::make_unique<GameControllerSet>(&world.delegate, *world.center);
    remote->setWillChangeHandler([&] {
        ++willChange;
        // The delegate has heard the count before the change is announced.
        EXPECT_EQ(world.delegate.calls.back().front(), '#');
    });
    EXPECT_EQ(world.delegate.take(), Calls{"#1"});
    EXPECT_EQ(console.lines(),
              (std::vector<std::string>{"Xbox Wireless Controller added", "Xbox One category"}));
    EXPECT_EQ(remote->controllersPaired().size(), 1u);

    console.clear();
    const auto second = world.fake->connect(std::nullopt, "Switch Pro Controller");
    const auto third = world.fake->connect(std::nullopt, "DualShock 4");
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"switch added", "Switch Pro Controller category",
                                                         "default added", "DualShock 4 category"}));
    world.fake->disconnect(third);
    world.fake->disconnect(second);
    world.fake->disconnect(first);
    EXPECT_EQ(world.delegate.take(), (Calls{"#2", "#3", "#2", "#1", "#0"}));
    EXPECT_EQ(willChange, 5);

    // Unplugged and plugged in again, the remote pairs the controller afresh and goes on reporting.
    const auto again = world.fake->connect("Xbox Wireless Controller", "Xbox One");
    world.fake->press(again, GamepadButton::buttonA);
    world.fake->release(again, GamepadButton::buttonA);
    EXPECT_EQ(world.delegate.take(), (Calls{"#1", "+A", "-A"}));
    world.fake->disconnect(again);
    const auto onceMore = world.fake->connect("Xbox Wireless Controller", "Xbox One");
    world.fake->press(onceMore, GamepadButton::rightShoulder);
    EXPECT_EQ(world.delegate.take(), (Calls{"#0", "#1", "+R"}));
}

TEST(GameControllerSet, reportsEveryMappedButtonAndNothingElse) {
    RemoteWorld world;
    const auto pad = world.fake->connect();
    GameControllerSet remote(&world.delegate, *world.center);
    world.delegate.take();

    const std::vector<std::pair<GamepadButton, std::string>> expected = {
        {GamepadButton::buttonA, "A"},         {GamepadButton::buttonB, "B"},
        {GamepadButton::buttonX, "X"},         {GamepadButton::buttonY, "Y"},
        {GamepadButton::leftShoulder, "L"},    {GamepadButton::rightShoulder, "R"},
        {GamepadButton::dpadUp, "dpadUp"},     {GamepadButton::dpadDown, "dpadDown"},
        {GamepadButton::dpadLeft, "dpadLeft"}, {GamepadButton::dpadRight, "dpadRight"},
        {GamepadButton::leftTrigger, "L2"},    {GamepadButton::rightTrigger, "R2"},
    };
    for (const auto& [input, name] : expected) {
        world.fake->press(pad, input);
        world.fake->press(pad, input); // held: no second press
        world.fake->release(pad, input);
        EXPECT_EQ(world.delegate.take(), (Calls{"+" + name, "-" + name})) << name;
    }
    EXPECT_EQ(remote.buttonMap().size(), expected.size());

    // A trigger pulled part way is no press; pulled past half way it is, and it is let go near rest.
    world.fake->setValue(pad, GamepadButton::leftTrigger, 0.3f);
    world.fake->setValue(pad, GamepadButton::leftTrigger, 0.7f);
    world.fake->setValue(pad, GamepadButton::leftTrigger, 0.4f);
    world.fake->setValue(pad, GamepadButton::leftTrigger, 0.1f);
    EXPECT_EQ(world.delegate.take(), (Calls{"+L2", "-L2"}));
}

TEST(GameControllerSet, controllersWithoutTheGamepadProfileAreCountedButNeverPaired) {
    RemoteWorld world;
    GameControllerSet remote(&world.delegate, *world.center);
    EXPECT_TRUE(world.delegate.calls.empty()); // nothing connected at creation: no report

    platform::ScopedConsoleCapture console;
    const auto stick = world.fake->connect("Flight Stick", "Generic", false);
    world.fake->press(stick, GamepadButton::buttonA);
    EXPECT_TRUE(world.delegate.calls.empty());
    EXPECT_TRUE(console.lines().empty());
    EXPECT_EQ(remote.controllersPaired().size(), 1u);

    const auto pad = world.fake->connect("Pad");
    world.fake->press(pad, GamepadButton::buttonY);
    world.fake->disconnect(stick);
    EXPECT_EQ(world.delegate.take(), (Calls{"#2", "+Y", "#1"}));
}

TEST(GameControllerSet, goesQuietWithoutDelegateAndOnceDestroyed) {
    platform::ScopedConsoleCapture console;
    RemoteWorld world;
    const auto pad = world.fake->connect();
    {
        GameControllerSet silent(nullptr, *world.center);
        world.fake->press(pad, GamepadButton::buttonA);
        world.fake->connect();
        EXPECT_EQ(silent.controllersPaired().size(), 2u);
    }
    {
        GameControllerSet remote(&world.delegate, *world.center);
        EXPECT_EQ(world.delegate.take(), Calls{"#2"});
        world.fake->release(pad, GamepadButton::buttonA);
        EXPECT_EQ(world.delegate.take(), Calls{"-A"});
    }
    // Destroyed: its handlers and observations are gone with it.
    world.fake->press(pad, GamepadButton::buttonB);
    world.fake->connect();
    EXPECT_TRUE(world.delegate.calls.empty());
}
