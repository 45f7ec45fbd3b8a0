// Game controllers through SDL itself, with virtual joysticks standing in for devices.

#include "platform/dispatch/MainQueue.h"
#include "platform/system/GameControllerCenter.h"
#include "platform/system/SdlGameControllerBackend.h"

#include <SDL.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace platform;

namespace {

// A virtual gamepad (or, without the layout, a flight stick) on the back end's event thread, where every SDL
// call must happen.
class VirtualDevice {
public:
    VirtualDevice(SdlGameControllerBackend& backend, bool gamepad) : backend_(backend) {
        EXPECT_TRUE(backend_.performOnEventThread([&] {
            SDL_VirtualJoystickDesc desc;
            SDL_zero(desc);
            desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
            desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
            desc.naxes = SDL_CONTROLLER_AXIS_MAX;
            desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
            desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
            desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
            desc.name = "Vantle Test Pad";
            const int index = gamepad ? SDL_JoystickAttachVirtualEx(&desc)
                                      : SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 4, 0);
            joystick_ = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
        }));
        EXPECT_NE(joystick_, nullptr) << SDL_GetError();
        // A virtual trigger rests half way unless it is told to rest at its minimum.
        if (gamepad && joystick_)
            for (const auto trigger : {SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT})
                setAxis(trigger, SDL_JOYSTICK_AXIS_MIN);
    }
    ~VirtualDevice() {
        backend_.performOnEventThread([&] {
            // The device index moves when others come and go; the instance id does not.
            const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
            SDL_JoystickClose(joystick_);
            for (int i = 0; i < SDL_NumJoysticks(); ++i)
                if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
        });
    }

    void setButton(SDL_GameControllerButton button, bool down) {
        backend_.performOnEventThread([&] { SDL_JoystickSetVirtualButton(joystick_, button, down ? 1 : 0); });
    }
    void setAxis(SDL_GameControllerAxis axis, Sint16 value) {
        backend_.performOnEventThread([&] { SDL_JoystickSetVirtualAxis(joystick_, axis, value); });
    }

private:
    SdlGameControllerBackend& backend_;
    SDL_Joystick* joystick_ = nullptr;
};

bool drainUntil(const std::function<bool()>& done) {
    return mainQueue().drainUntil(done, 5.0);
}

} // namespace

TEST(SdlGameControllerBackend, reportsVirtualControllersAndTheirButtons) {
    mainQueue().drain();
    auto backendOwner = std::make_unique<SdlGameControllerBackend>();
    SdlGameControllerBackend& backend = *backendOwner;
    GameControllerCenter center(std::move(backendOwner));
    if (!center.isRunning())
        GTEST_SKIP() << "SDL's game controllers are unavailable: " << backend.startError();

    std::vector<std::string> notices;
    auto connected =
        center.observeDidConnect([&](const auto& c) { notices.push_back("+" + c->productCategory()); });
    auto disconnected =
        center.observeDidDisconnect([&](const auto& c) { notices.push_back("-" + c->productCategory()); });
    std::vector<std::pair<GamepadButton, bool>> presses;
    const auto listen = [&](GameController& controller) {
        for (const GamepadButton button : allGamepadButtons)
            controller.extendedGamepad()->button(button).setPressedChangedHandler(
                [&presses, button](ControllerButtonInput&, float, bool pressed) {
                    presses.emplace_back(button, pressed);
                });
    };
    const std::size_t before = center.controllers().size();
    auto controllersAre = [&](std::size_t n) {
        return drainUntil([&] { return center.controllers().size() == before + n; });
    };

    auto pad = std::make_unique<VirtualDevice>(backend, true);
    ASSERT_TRUE(controllersAre(1));
    const std::shared_ptr<GameController> first = center.controllers().back();
    EXPECT_EQ(first->vendorName(), std::optional<std::string>("Vantle Test Pad"));
    ASSERT_NE(first->extendedGamepad(), nullptr);
    listen(*first);
    pad->setButton(SDL_CONTROLLER_BUTTON_A, true);
    pad->setButton(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    ASSERT_TRUE(drainUntil([&] { return presses.size() == 2; }));
    pad->setButton(SDL_CONTROLLER_BUTTON_A, false);
    pad->setAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MAX);
    ASSERT_TRUE(drainUntil([&] { return presses.size() == 4; }));
    pad->setAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MIN);
    // A stick is no button: it moves without a report.
    pad->setAxis(SDL_CONTROLLER_AXIS_LEFTX, SDL_JOYSTICK_AXIS_MAX);
    ASSERT_TRUE(drainUntil([&] { return presses.size() == 5; }));
    EXPECT_EQ(presses, (std::vector<std::pair<GamepadButton, bool>>{{GamepadButton::buttonA, true},
                                                                    {GamepadButton::dpadLeft, true},
                                                                    {GamepadButton::buttonA, false},
                                                                    {GamepadButton::rightTrigger, true},
                                                                    {GamepadButton::rightTrigger, false}}));

    // A device without a gamepad layout is listed without the profile.
    {
        VirtualDevice stick(backend, false);
        ASSERT_TRUE(controllersAre(2));
        EXPECT_EQ(center.controllers().back()->extendedGamepad(), nullptr);
    }
    ASSERT_TRUE(controllersAre(1));

    // Unplugged and plugged in again: a new controller that reports on its own.
    pad.reset();
    ASSERT_TRUE(controllersAre(0));
    pad = std::make_unique<VirtualDevice>(backend, true);
    ASSERT_TRUE(controllersAre(1));
    EXPECT_NE(center.controllers().back(), first);
    listen(*center.controllers().back());
    presses.clear();
    pad->setButton(SDL_CONTROLLER_BUTTON_B, true);
    ASSERT_TRUE(drainUntil([&] { return !presses.empty(); }));
    EXPECT_EQ(presses.front(), std::make_pair(GamepadButton::buttonB, true));
    pad.reset();
    ASSERT_TRUE(controllersAre(0));
    EXPECT_EQ(notices, (std::vector<std::string>{"+Virtual", "+Generic", "-Generic", "-Virtual", "+Virtual",
                                                 "-Virtual"}));
}

TEST(SdlGameControllerBackend, runsOncePerProcessAndRefusesWorkOnceStopped) {
    mainQueue().drain();
    struct NullSink final : GameControllerBackend::Sink {
        void deviceAdded(const GameControllerDevice&) override {}
        void deviceRemoved(GameControllerId) override {}
        void buttonChanged(GameControllerId, GamepadButton, float) override {}
    } sink;
    SdlGameControllerBackend first, second;
    if (!first.start(sink)) GTEST_SKIP() << "SDL's game controllers are unavailable: " << first.startError();
    EXPECT_FALSE(second.start(sink));
    EXPECT_FALSE(second.startError().empty());
    EXPECT_FALSE(second.performOnEventThread([] {}));

    bool ran = false;
    EXPECT_TRUE(first.performOnEventThread([&] { ran = SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0; }));
    EXPECT_TRUE(ran);
    first.stop();
    EXPECT_FALSE(first.performOnEventThread([] {}));
    // Stopped, the first leaves room for another.
    EXPECT_TRUE(second.start(sink)) << second.startError();
    second.stop();
    mainQueue().drain();
}
