#include "platform/system/GameControllerCenter.h"

#include <algorithm>
#include <utility>

namespace platform {

struct GameControllerCenter::Observation::Registry {
    std::uint64_t nextId = 1;
    // Keyed by id, so observers run in the order they registered.
    std::map<std::uint64_t, Observer> connect;
    std::map<std::uint64_t, Observer> disconnect;
};

GameControllerCenter::Observation::Observation(Observation&& other) noexcept
    : registry_(std::move(other.registry_)), id_(std::exchange(other.id_, 0)) {}

GameControllerCenter::Observation&
GameControllerCenter::Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        cancel();
        registry_ = std::move(other.registry_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void GameControllerCenter::Observation::cancel() {
    if (auto registry = registry_.lock()) {
        registry->connect.erase(id_);
        registry->disconnect.erase(id_);
    }
    registry_.reset();
    id_ = 0;
}

GameControllerCenter::GameControllerCenter(std::unique_ptr<GameControllerBackend> backend)
    : registry_(std::make_shared<Observation::Registry>()), backend_(std::move(backend)) {
    if (backend_) running_ = backend_->start(*this);
}

GameControllerCenter::~GameControllerCenter() {
    if (backend_) backend_->stop();
}

GameControllerCenter::Observation GameControllerCenter::observeDidConnect(Observer observer) {
    return observe(true, std::move(observer));
}

GameControllerCenter::Observation GameControllerCenter::observeDidDisconnect(Observer observer) {
    return observe(false, std::move(observer));
}

GameControllerCenter::Observation GameControllerCenter::observe(bool connect, Observer observer) {
    const std::uint64_t id = registry_->nextId++;
    (connect ? registry_->connect : registry_->disconnect).emplace(id, std::move(observer));
    return Observation(registry_, id);
}

void GameControllerCenter::notify(bool connect, const std::shared_ptr<GameController>& controller) {
    // Observers may register or cancel others while they run: an observer cancelled meanwhile is skipped,
    // one added meanwhile waits for the next notification.
    const auto registry = registry_;
    std::vector<std::uint64_t> ids;
    for (const auto& entry : connect ? registry->connect : registry->disconnect)
        ids.push_back(entry.first);
    for (std::uint64_t id : ids) {
        auto& observers = connect ? registry->connect : registry->disconnect;
        const auto found = observers.find(id);
        if (found == observers.end() || !found->second) continue;
        Observer observer = found->second;
        observer(controller);
    }
}

void GameControllerCenter::deviceAdded(const GameControllerDevice& device) {
    const bool known = std::any_of(controllers_.begin(), controllers_.end(),
                                   [&](const auto& controller) { return controller->id() == device.id; });
    if (known) return;
    auto controller = std::make_shared<GameController>(device);
    controllers_.push_back(controller);
    notify(true, controller);
}

void GameControllerCenter::deviceRemoved(GameControllerId id) {
    const auto found = std::find_if(controllers_.begin(), controllers_.end(),
                                    [&](const auto& controller) { return controller->id() == id; });
    if (found == controllers_.end()) return;
    const std::shared_ptr<GameController> controller = *found;
    controllers_.erase(found);
    notify(false, controller);
}

void GameControllerCenter::buttonChanged(GameControllerId id, GamepadButton button, float value) {
    const auto found = std::find_if(controllers_.begin(), controllers_.end(),
                                    [&](const auto& controller) { return controller->id() == id; });
    if (found == controllers_.end()) return;
    // Held while its handler runs, in case the handler's work drops the controller.
    const std::shared_ptr<GameController> controller = *found;
    if (ExtendedGamepad* gamepad = controller->extendedGamepad()) gamepad->button(button).update(value);
}

} // namespace platform
