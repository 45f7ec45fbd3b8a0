#include "platform/system/FakeGameControllerBackend.h"
#include "platform/system/GameControllerCenter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using platform::ControllerButtonInput;
using platform::FakeGameControllerBackend;
using platform::GameController;
using platform::GameControllerCenter;
using platform::GamepadButton;

namespace {

struct CenterWithFake {
    FakeGameControllerBackend* fake = nullptr;
    std::unique_ptr<GameControllerCenter> center;

    explicit CenterWithFake(const std::function<void(FakeGameControllerBackend&)>& beforeStart = {}) {
        auto backend = std::make_unique<FakeGameControllerBackend>();
        fake = backend.get();
        if (beforeStart) beforeStart(*fake);
        center = std::make_unique<GameControllerCenter>(std::move(backend));
    }
};

} // namespace

TEST(GameControllerCenter, listsControllersAndNotifiesTheirComingAndGoing) {
    CenterWithFake world([](FakeGameControllerBackend& fake) { fake.connect("Early Pad", "Xbox One"); });
    GameControllerCenter& center = *world.center;
    ASSERT_TRUE(center.isRunning());
    ASSERT_EQ(center.controllers().size(), 1u);
    EXPECT_EQ(center.controllers()[0]->vendorName(), std::optional<std::string>("Early Pad"));
    EXPECT_EQ(center.controllers()[0]->productCategory(), "Xbox One");
    EXPECT_NE(center.controllers()[0]->extendedGamepad(), nullptr);

    std::vector<std::string> events;
    auto connected = center.observeDidConnect([&](const std::shared_ptr<GameController>& controller) {
        events.push_back("+" + controller->vendorName().value_or("?") + " " +
                         std::to_string(center.controllers().size()));
    });
    auto disconnected = center.observeDidDisconnect([&](const std::shared_ptr<GameController>& controller) {
        events.push_back("-" + controller->vendorName().value_or("?") + " " +
                         std::to_string(center.controllers().size()));
    });

    const auto stick = world.fake->connect(std::nullopt, "Generic", false);
    const auto second = world.fake->connect("Second Pad");
    ASSERT_EQ(center.controllers().size(), 3u);
    EXPECT_FALSE(center.controllers()[1]->vendorName().has_value());
    EXPECT_EQ(center.controllers()[1]->extendedGamepad(), nullptr);
    EXPECT_EQ(center.controllers()[2]->vendorName(), std::optional<std::string>("Second Pad"));

    // A controller has left the list by the time its disconnection is told.
    EXPECT_TRUE(world.fake->disconnect(stick));
    EXPECT_FALSE(world.fake->disconnect(stick));
    connected.cancel();
    world.fake->connect("Unheard Pad");
    EXPECT_TRUE(world.fake->disconnect(second));
    EXPECT_EQ(events, (std::vector<std::string>{"+? 2", "+Second Pad 3", "-? 2", "-Second Pad 2"}));

    // Observations may outlive the centre.
    world.center.reset();
    disconnected.cancel();
}

TEST(GameControllerCenter, observersMayCancelEachOtherWhileNotified) {
    CenterWithFake world;
    std::vector<int> calls;
    GameControllerCenter::Observation second;
    auto first = world.center->observeDidConnect([&](const auto&) {
        calls.push_back(1);
        second.cancel();
    });
    second = world.center->observeDidConnect([&](const auto&) { calls.push_back(2); });
    world.fake->connect();
    EXPECT_EQ(calls, std::vector<int>{1});
}

TEST(GameControllerCenter, buttonsReportOnlyChangesOfTheirPressedState) {
    CenterWithFake world;
    const auto id = world.fake->connect();
    const auto stickId = world.fake->connect("Stick", "Generic", false);
    platform::ExtendedGamepad* gamepad = world.center->controllers()[0]->extendedGamepad();
    ASSERT_NE(gamepad, nullptr);

    std::vector<std::pair<float, bool>> a;
    std::vector<std::pair<float, bool>> trigger;
    gamepad->button(GamepadButton::buttonA)
        .setPressedChangedHandler(
            [&](ControllerButtonInput&, float value, bool pressed) { a.emplace_back(value, pressed); });
    gamepad->button(GamepadButton::leftTrigger)
        .setPressedChangedHandler(
            [&](ControllerButtonInput&, float value, bool pressed) { trigger.emplace_back(value, pressed); });

    world.fake->press(id, GamepadButton::buttonA);
    world.fake->press(id, GamepadButton::buttonA);
    EXPECT_TRUE(gamepad->button(GamepadButton::buttonA).isPressed());
    world.fake->release(id, GamepadButton::buttonA);
    world.fake->release(id, GamepadButton::buttonA);
    EXPECT_EQ(a, (std::vector<std::pair<float, bool>>{{1.0f, true}, {0.0f, false}}));

    // A trigger goes down at half way and up again only below a quarter.
    for (float value : {0.3f, 0.6f, 0.9f, 0.4f, 0.26f, 0.2f, 0.45f, 2.0f, -1.0f})
        world.fake->setValue(id, GamepadButton::leftTrigger, value);
    EXPECT_EQ(trigger, (std::vector<std::pair<float, bool>>{
                           {0.6f, true}, {0.2f, false}, {1.0f, true}, {0.0f, false}}));
    EXPECT_FALSE(gamepad->button(GamepadButton::buttonA).isAnalog());
    EXPECT_TRUE(gamepad->button(GamepadButton::rightTrigger).isAnalog());

    // Other inputs, controllers without the profile and removed handlers stay quiet.
    world.fake->press(id, GamepadButton::buttonB);
    world.fake->press(stickId, GamepadButton::buttonA);
    gamepad->button(GamepadButton::buttonA).setPressedChangedHandler({});
    world.fake->press(id, GamepadButton::buttonA);
    EXPECT_EQ(a.size(), 2u);
    EXPECT_TRUE(gamepad->button(GamepadButton::buttonB).isPressed());
}

TEST(GameControllerCenter, aHandlerMayReplaceItselfAndAControllerPluggedInAgainIsANewObject) {
    CenterWithFake world;
    const auto id = world.fake->connect("Pad");
    std::shared_ptr<GameController> original = world.center->controllers()[0];
    int calls = 0;
    original->extendedGamepad()
        ->button(GamepadButton::buttonX)
        .setPressedChangedHandler([&](ControllerButtonInput& input, float, bool) {
            ++calls;
            input.setPressedChangedHandler({});
        });
    world.fake->press(id, GamepadButton::buttonX);
    world.fake->release(id, GamepadButton::buttonX);
    EXPECT_EQ(calls, 1);

    original->extendedGamepad()
        ->button(GamepadButton::buttonY)
        .setPressedChangedHandler([&](ControllerButtonInput&, float, bool) { ++calls; });
    world.fake->disconnect(id);
    const auto again = world.fake->connect("Pad");
    ASSERT_EQ(world.center->controllers().size(), 1u);
    const auto& replugged = world.center->controllers()[0];
    EXPECT_NE(replugged, original);
    EXPECT_NE(replugged->id(), original->id());
    EXPECT_FALSE(replugged->extendedGamepad()->button(GamepadButton::buttonY).hasPressedChangedHandler());
    world.fake->press(again, GamepadButton::buttonY);
    EXPECT_EQ(calls, 1);
}
