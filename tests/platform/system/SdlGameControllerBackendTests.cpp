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

using platform::ControllerButtonInput;
using platform::GameController;
using platform::GameControllerCenter;
using platform::GamepadButton;
using platform::SdlGameControllerBackend;

namespace {

constexpr double sdlTestTimeout = 5.0;

// A virtual joystick on the back end's event thread, where every SDL call must happen.
class VirtualDevice {
public:
    VirtualDevice(SdlGameControllerBackend& backend, bool gamepad) : backend_(backend) {
        EXPECT_TRUE(backend_.performOnEventThread([&] {
            if (gamepad) {
                SDL_VirtualJoystickDesc desc;
                SDL_zero(desc);
                desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
                desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
                desc.naxes = SDL_CONTROLLER_AXIS_MAX;
                desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
                desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
                desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
                desc.name = "Vantle Test Pad";
                index_ = SDL_JoystickAttachVirtualEx(&desc);
            } else {
                index_ = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 4, 0);
            }
            joystick_ = index_ >= 0 ? SDL_JoystickOpen(index_) : nullptr;
            // A virtual trigger rests half way unless it is told to rest at its minimum.
            if (joystick_ && gamepad) {
                SDL_JoystickSetVirtualAxis(joystick_, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MIN);
                SDL_JoystickSetVirtualAxis(joystick_, SDL_CONTROLLER_AXIS_TRIGGERRIGHT,
                                           SDL_JOYSTICK_AXIS_MIN);
            }
        }));
        EXPECT_NE(joystick_, nullptr) << SDL_GetError();
    }
    ~VirtualDevice() { detach(); }

    void setButton(SDL_GameControllerButton button, bool down) {
        backend_.performOnEventThread([&] { SDL_JoystickSetVirtualButton(joystick_, button, down ? 1 : 0); });
    }
    void setAxis(SDL_GameControllerAxis axis, Sint16 value) {
        backend_.performOnEventThread([&] { SDL_JoystickSetVirtualAxis(joystick_, axis, value); });
    }
    void detach() {
        if (!joystick_) return;
        backend_.performOnEventThread([&] {
            // The device index moves when others come and go; the instance id does not.
            const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
            SDL_JoystickClose(joystick_);
            for (int i = 0; i < SDL_NumJoysticks(); ++i)
                if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
        });
        joystick_ = nullptr;
    }

private:
    SdlGameControllerBackend& backend_;
    int index_ = -1;
    SDL_Joystick* joystick_ = nullptr;
};

bool drainUntil(const std::function<bool()>& done) {
    return platform::mainQueue().drainUntil(done, sdlTestTimeout);
}

} // namespace

TEST(SdlGameControllerBackend, reportsVirtualControllersAndTheirButtons) {
    platform::mainQueue().drain();
    auto backendOwner = std::make_unique<SdlGameControllerBackend>();
    SdlGameControllerBackend& backend = *backendOwner;
    GameControllerCenter center(std::move(backendOwner));
    if (!center.isRunning())
        GTEST_SKIP() << "SDL's game controllers are unavailable: " << backend.startError();

    std::vector<std::string> notices;
    auto connected = center.observeDidConnect([&](const std::shared_ptr<GameController>& controller) {
        notices.push_back("+" + controller->productCategory());
    });
    auto disconnected = center.observeDidDisconnect([&](const std::shared_ptr<GameController>& controller) {
        notices.push_back("-" + controller->productCategory());
    });
    std::vector<std::pair<GamepadButton, bool>> presses;
    const auto listen = [&](GameController& controller) {
        for (GamepadButton button : platform::allGamepadButtons)
            controller.extendedGamepad()->button(button).setPressedChangedHandler(
                [&presses, button](ControllerButtonInput&, float, bool pressed) {
                    presses.emplace_back(button, pressed);
                });
    };

    const std::size_t before = center.controllers().size();
    auto pad = std::make_unique<VirtualDevice>(backend, true);
    ASSERT_TRUE(drainUntil([&] { return center.controllers().size() == before + 1; }));
    const std::shared_ptr<GameController> first = center.controllers().back();
    EXPECT_EQ(first->vendorName(), std::optional<std::string>("Vantle Test Pad"));
    EXPECT_EQ(first->productCategory(), "Virtual");
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
        ASSERT_TRUE(drainUntil([&] { return center.controllers().size() == before + 2; }));
        EXPECT_EQ(center.controllers().back()->extendedGamepad(), nullptr);
        EXPECT_EQ(center.controllers().back()->productCategory(), "Generic");
    }
    ASSERT_TRUE(drainUntil([&] { return center.controllers().size() == before + 1; }));

    // Unplugged and plugged in again: a new controller that reports on its own.
    pad.reset();
    ASSERT_TRUE(drainUntil([&] { return center.controllers().size() == before; }));
    pad = std::make_unique<VirtualDevice>(backend, true);
    ASSERT_TRUE(drainUntil([&] { return center.controllers().size() == before + 1; }));
    const std::shared_ptr<GameController> second = center.controllers().back();
    EXPECT_NE(second, first);
    listen(*second);
    presses.clear();
    pad->setButton(SDL_CONTROLLER_BUTTON_B, true);
    ASSERT_TRUE(drainUntil([&] { return !presses.empty(); }));
    EXPECT_EQ(presses.front(), std::make_pair(GamepadButton::buttonB, true));
    pad.reset();
    ASSERT_TRUE(drainUntil([&] { return center.controllers().size() == before; }));
    EXPECT_EQ(notices, (std::vector<std::string>{"+Virtual", "+Generic", "-Generic", "-Virtual", "+Virtual",
                                                 "-Virtual"}));
}

TEST(SdlGameControllerBackend, runsOncePerProcessAndRefusesWorkOnceStopped) {
    platform::mainQueue().drain();
    struct NullSink final : platform::GameControllerBackend::Sink {
        void deviceAdded(const platform::GameControllerDevice&) override {}
        void deviceRemoved(platform::GameControllerId) override {}
        void buttonChanged(platform::GameControllerId, GamepadButton, float) override {}
    } sink;
    SdlGameControllerBackend first;
    if (!first.start(sink)) GTEST_SKIP() << "SDL's game controllers are unavailable: " << first.startError();
    SdlGameControllerBackend second;
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
    platform::mainQueue().drain();
}
