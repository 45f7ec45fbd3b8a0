#pragma once
// The connected game controllers and the notifications of their coming and going.

#include "platform/system/GameController.h"
#include "platform/system/GameControllerBackend.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace platform {

// Stands in for the game-controller framework's class side: the list of connected controllers and the
// did-connect and did-disconnect notifications, fed by one back end (SDL in the program, a fake in tests),
// which it starts when made and stops when destroyed. Main thread only.
class GameControllerCenter final : private GameControllerBackend::Sink {
public:
    using Observer = std::function<void(const std::shared_ptr<GameController>& controller)>;

    // Keeps an observer registered until it is destroyed or cancelled; may outlive the centre.
    class Observation {
    public:
        Observation() = default;
        Observation(Observation&& other) noexcept;
        Observation& operator=(Observation&& other) noexcept;
        ~Observation() { cancel(); }
        void cancel();

    private:
        friend class GameControllerCenter;
        struct Registry;
        Observation(std::weak_ptr<Registry> registry, std::uint64_t id)
            : registry_(std::move(registry)), id_(id) {}
        std::weak_ptr<Registry> registry_;
        std::uint64_t id_ = 0;
    };

    explicit GameControllerCenter(std::unique_ptr<GameControllerBackend> backend);
    ~GameControllerCenter() override;
    GameControllerCenter(const GameControllerCenter&) = delete;
    GameControllerCenter& operator=(const GameControllerCenter&) = delete;

    // False when the back end could not start: there are no controllers then, and none will come.
    bool isRunning() const { return running_; }

    // The connected controllers, in the order they connected. A controller has left this list by the time
    // its did-disconnect observers run.
    const std::vector<std::shared_ptr<GameController>>& controllers() const { return controllers_; }

    [[nodiscard]] Observation observeDidConnect(Observer observer);
    [[nodiscard]] Observation observeDidDisconnect(Observer observer);

private:
    void deviceAdded(const GameControllerDevice& device) override;
    void deviceRemoved(GameControllerId id) override;
    void buttonChanged(GameControllerId id, GamepadButton button, float value) override;

    Observation observe(bool connect, Observer observer);
    void notify(bool connect, const std::shared_ptr<GameController>& controller);

    std::shared_ptr<Observation::Registry> registry_;
    std::vector<std::shared_ptr<GameController>> controllers_;
    std::unique_ptr<GameControllerBackend> backend_;
    bool running_ = false;
};

} // namespace platform
