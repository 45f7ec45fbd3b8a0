#include "tests/support/FakeGameControllerBackend.h"

#include <utility>

namespace testsupport {

bool FakeGameControllerBackend::start(Sink& sink) {
    sink_ = &sink;
    for (const auto& [id, device] : devices_)
        sink.deviceAdded(device);
    return true;
}

GameControllerId FakeGameControllerBackend::connect(std::optional<std::string> vendorName,
                                                    std::string productCategory, bool extendedGamepad) {
    GameControllerDevice device;
    device.id = nextId_++;
    device.vendorName = std::move(vendorName);
    device.productCategory = std::move(productCategory);
    device.extendedGamepad = extendedGamepad;
    devices_.emplace(device.id, device);
    if (sink_) sink_->deviceAdded(device);
    return device.id;
}

bool FakeGameControllerBackend::disconnect(GameControllerId id) {
    if (devices_.erase(id) == 0) return false;
    if (sink_) sink_->deviceRemoved(id);
    return true;
}

void FakeGameControllerBackend::setValue(GameControllerId id, GamepadButton button, float value) {
    if (sink_ && devices_.count(id) != 0) sink_->buttonChanged(id, button, value);
}

} // namespace testsupport
