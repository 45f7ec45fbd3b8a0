#include "tests/support/FakeGameControllerBackend.h"
#include "platform/system/GameControllerCenter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace platform;
using namespace testsupport;
using Lines = std::vector<std::string>;

namespace {

// A centre over a fake back end, which may have controllers before the centre starts it.
struct CenterWithFake {
    explicit CenterWithFake(const std::function<void(FakeGameControllerBackend&)>& beforeStart = {}) {
        auto backend = std::make_unique<FakeGameControllerBackend>();
        fake = backend.get();
        if (beforeStart) beforeStart(*fake);
        center = std::make_unique<GameControllerCenter>(std::move(backend));
    }
    // "vendor category", with " pad" when the controller has the extended gamepad profile.
    Lines controllers() const {
        Lines lines;
        for (const auto& c : center->controllers())
            lines.push_back(c->vendorName().value_or("?") + " " + c->productCategory() +
                            (c->extendedGamepad() ? " pad" : ""));
        return lines;
    }

    FakeGameControllerBackend* fake = nullptr;
    std::unique_ptr<GameControllerCenter> center;
};

} // namespace

TEST(GameControllerCenter, listsControllersAndNotifiesTheirComingAndGoing) {
    CenterWithFake world([](FakeGameControllerBackend& fake) { fake.connect("Early Pad", "Xbox One"); });
    GameControllerCenter& center = *world.center;
    ASSERT_TRUE(center.isRunning());
    EXPECT_EQ(world.controllers(), Lines{"Early Pad Xbox One pad"});

    Lines events;
    auto observe = [&](const char* sign) {
        return [&events, &center, sign](const std::shared_ptr<GameController>& controller) {
            events.push_back(sign + controller->vendorName().value_or("?") + " " +
                             std::to_string(center.controllers().size()));
        };
    };
    auto connected = center.observeDidConnect(observe("+"));
    auto disconnected = center.observeDidDisconnect(observe("-"));
    const auto stick = world.fake->connect(std::nullopt, "Generic", false);
    const auto second = world.fake->connect("Second Pad");
    EXPECT_EQ(world.controllers(), (Lines{"Early Pad Xbox One pad", "? Generic", "Second Pad Generic pad"}));

    // A controller has left the list by the time its disconnection is told.
    EXPECT_TRUE(world.fake->disconnect(stick));
    EXPECT_FALSE(world.fake->disconnect(stick));
    connected.cancel();
    world.fake->connect("Unheard Pad");
    EXPECT_TRUE(world.fake->disconnect(second));
    EXPECT_EQ(events, (Lines{"+? 2", "+Second Pad 3", "-? 2", "-Second Pad 2"}));

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
    ExtendedGamepad& gamepad = *world.center->controllers()[0]->extendedGamepad();
    std::vector<std::pair<float, bool>> a, trigger;
    for (auto [button, changes] :
         {std::pair(GamepadButton::buttonA, &a), {GamepadButton::leftTrigger, &trigger}})
        gamepad.button(button).setPressedChangedHandler(
            [changes](ControllerButtonInput&, float value, bool pressed) {
                changes->emplace_back(value, pressed);
            });

    world.fake->press(id, GamepadButton::buttonA);
    world.fake->press(id, GamepadButton::buttonA);
    EXPECT_TRUE(gamepad.button(GamepadButton::buttonA).isPressed());
    world.fake->release(id, GamepadButton::buttonA);
    world.fake->release(id, GamepadButton::buttonA);
    EXPECT_EQ(a, (std::vector<std::pair<float, bool>>{{1.0f, true}, {0.0f, false}}));

    // A trigger goes down at half way and up again only below a quarter.
    for (const float value : {0.3f, 0.6f, 0.9f, 0.4f, 0.26f, 0.2f, 0.45f, 2.0f, -1.0f})
        world.fake->setValue(id, GamepadButton::leftTrigger, value);
    EXPECT_EQ(trigger, (std::vector<std::pair<float, bool>>{
                           {0.6f, true}, {0.2f, false}, {1.0f, true}, {0.0f, false}}));
    EXPECT_FALSE(gamepad.button(GamepadButton::buttonA).isAnalog());
    EXPECT_TRUE(gamepad.button(GamepadButton::rightTrigger).isAnalog());

    // Other inputs, controllers without the profile and removed handlers stay quiet.
    world.fake->press(id, GamepadButton::buttonB);
    world.fake->press(stickId, GamepadButton::buttonA);
    gamepad.button(GamepadButton::buttonA).setPressedChangedHandler({});
    world.fake->press(id, GamepadButton::buttonA);
    EXPECT_EQ(a.size(), 2u);
    EXPECT_TRUE(gamepad.button(GamepadButton::buttonB).isPressed());
}

TEST(GameControllerCenter, aHandlerMayReplaceItselfAndAControllerPluggedInAgainIsANewObject) {
    CenterWithFake world;
    const auto id = world.fake->connect("Pad");
    const std::shared_ptr<GameController> original = world.center->controllers()[0];
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
