#include "platform/system/SdlGameControllerBackend.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/LogSink.h"

#include <SDL.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace platform {

// Named, not anonymous: the shared state below holds reports.
namespace sdlgcdetail {

// One report of the event thread, applied to the sink on the delivery queue.
struct SdlgcReport {
    enum class Kind { added, removed, button };
    Kind kind = Kind::added;
    GameControllerDevice device; // added
    GameControllerId id = 0;     // removed, button
    GamepadButton button = GamepadButton::buttonA;
    float value = 0.0f;
};

} // namespace sdlgcdetail

using sdlgcdetail::SdlgcReport;

namespace {

const LogCategory& sdlgcLog() {
    static const LogCategory log("com.fennorastudio.Vantle", "GameController");
    return log;
}

// SDL's state is global, so only one back end may drive it.
std::atomic<bool> sdlgcInstanceActive{false};

void sdlgcApply(const SdlgcReport& report, GameControllerBackend::Sink& sink) {
    switch (report.kind) {
    case SdlgcReport::Kind::added:
        sink.deviceAdded(report.device);
        break;
    case SdlgcReport::Kind::removed:
        sink.deviceRemoved(report.id);
        break;
    case SdlgcReport::Kind::button:
        sink.buttonChanged(report.id, report.button, report.value);
        break;
    }
}

// The names the game-controller framework gives these families of controllers.
std::string sdlgcProductCategory(SDL_GameControllerType type) {
    switch (type) {
    case SDL_CONTROLLER_TYPE_XBOX360:
        return "Xbox 360";
    case SDL_CONTROLLER_TYPE_XBOXONE:
        return "Xbox One";
    case SDL_CONTROLLER_TYPE_PS3:
        return "DualShock 3";
    case SDL_CONTROLLER_TYPE_PS4:
        return "DualShock 4";
    case SDL_CONTROLLER_TYPE_PS5:
        return "DualSense";
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_PRO:
        return "Switch Pro Controller";
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_LEFT:
        return "Nintendo Switch Joy-Con (L)";
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_RIGHT:
        return "Nintendo Switch Joy-Con (R)";
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_PAIR:
        return "Nintendo Switch Joy-Con (L/R)";
    case SDL_CONTROLLER_TYPE_AMAZON_LUNA:
        return "Amazon Luna";
    case SDL_CONTROLLER_TYPE_GOOGLE_STADIA:
        return "Google Stadia";
    case SDL_CONTROLLER_TYPE_NVIDIA_SHIELD:
        return "NVIDIA Shield";
    case SDL_CONTROLLER_TYPE_VIRTUAL:
        return "Virtual";
    default:
        return "Generic";
    }
}

std::optional<GamepadButton> sdlgcButton(Uint8 button) {
    switch (button) {
    case SDL_CONTROLLER_BUTTON_A:
        return GamepadButton::buttonA;
    case SDL_CONTROLLER_BUTTON_B:
        return GamepadButton::buttonB;
    case SDL_CONTROLLER_BUTTON_X:
        return GamepadButton::buttonX;
    case SDL_CONTROLLER_BUTTON_Y:
        return GamepadButton::buttonY;
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER:
        return GamepadButton::leftShoulder;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER:
        return GamepadButton::rightShoulder;
    case SDL_CONTROLLER_BUTTON_DPAD_UP:
        return GamepadButton::dpadUp;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
        return GamepadButton::dpadDown;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
        return GamepadButton::dpadLeft;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
        return GamepadButton::dpadRight;
    default:
        return std::nullopt;
    }
}

// Turns SDL events into reports and keeps the game controllers it opened (they report buttons only while
// open). Event thread only.
class SdlgcTranslator {
public:
    SdlgcTranslator() = default;
    SdlgcTranslator(const SdlgcTranslator&) = delete;
    SdlgcTranslator& operator=(const SdlgcTranslator&) = delete;
    ~SdlgcTranslator() {
        for (auto& [id, controller] : open_)
            SDL_GameControllerClose(controller);
    }

    void translate(const SDL_Event& event, std::vector<SdlgcReport>& out) {
        switch (event.type) {
        case SDL_JOYDEVICEADDED:
            added(event.jdevice.which, out);
            break;
        case SDL_JOYDEVICEREMOVED:
            removed(event.jdevice.which, out);
            break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            if (const auto button = sdlgcButton(event.cbutton.button))
                buttonReport(event.cbutton.which, *button, event.cbutton.state == SDL_PRESSED ? 1.0f : 0.0f,
                             out);
            break;
        case SDL_CONTROLLERAXISMOTION:
            if (event.caxis.axis == SDL_CONTROLLER_AXIS_TRIGGERLEFT)
                buttonReport(event.caxis.which, GamepadButton::leftTrigger, triggerValue(event.caxis.value),
                             out);
            else if (event.caxis.axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT)
                buttonReport(event.caxis.which, GamepadButton::rightTrigger, triggerValue(event.caxis.value),
                             out);
            break;
        default:
            break; // the controller device events repeat the joystick ones
        }
    }

private:
    static float triggerValue(Sint16 value) { return value <= 0 ? 0.0f : float(value) / 32767.0f; }

    void added(int deviceIndex, std::vector<SdlgcReport>& out) {
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
        if (id < 0 || known_.count(id) != 0) return;
        SdlgcReport report;
        report.kind = SdlgcReport::Kind::added;
        report.device.id = GameControllerId(id);
        const char* name = nullptr;
        SDL_GameController* controller =
            SDL_IsGameController(deviceIndex) ? SDL_GameControllerOpen(deviceIndex) : nullptr;
        if (controller) {
            open_.emplace(id, controller);
            name = SDL_GameControllerName(controller);
            report.device.productCategory = sdlgcProductCategory(SDL_GameControllerGetType(controller));
            report.device.extendedGamepad = true;
        } else {
            name = SDL_JoystickNameForIndex(deviceIndex);
            report.device.productCategory = "Generic";
        }
        if (name && *name) report.device.vendorName = std::string(name);
        known_.emplace(id);
        out.push_back(std::move(report));
    }

    void removed(SDL_JoystickID id, std::vector<SdlgcReport>& out) {
        if (known_.erase(id) == 0) return;
        if (const auto found = open_.find(id); found != open_.end()) {
            SDL_GameControllerClose(found->second);
            open_.erase(found);
        }
        SdlgcReport report;
        report.kind = SdlgcReport::Kind::removed;
        report.id = GameControllerId(id);
        out.push_back(report);
    }

    void buttonReport(SDL_JoystickID id, GamepadButton button, float value, std::vector<SdlgcReport>& out) {
        if (open_.count(id) == 0) return;
        SdlgcReport report;
        report.kind = SdlgcReport::Kind::button;
        report.id = GameControllerId(id);
        report.button = button;
        report.value = value;
        out.push_back(report);
    }

    std::map<SDL_JoystickID, SDL_GameController*> open_;
    std::set<SDL_JoystickID> known_;
};

} // namespace

// Between the main thread and the event thread; guarded by mutex.
struct SdlGameControllerBackend::Shared {
    enum class Phase { starting, running, finished };
    struct Task {
        std::function<void()> work;
        std::promise<bool> done;
    };

    std::mutex mutex;
    std::condition_variable changed;
    Phase phase = Phase::starting;
    std::string error;
    bool stopRequested = false;
    bool starterGaveUp = false;
    std::vector<SdlgcReport> initialReports;
    std::deque<Task> tasks;

    // Runs the queued tasks with the lock released or, once the thread is finishing, only answers them.
    void runTasks(std::unique_lock<std::mutex>& lock) {
        while (!tasks.empty()) {
            Task task = std::move(tasks.front());
            tasks.pop_front();
            if (phase != Phase::running) {
                task.done.set_value(false);
                continue;
            }
            lock.unlock();
            task.work();
            lock.lock();
            task.done.set_value(true);
        }
    }
};

// The sink as seen from work waiting in the delivery queue: cleared by stop(), on the delivery thread.
struct SdlGameControllerBackend::SinkSlot {
    Sink* sink = nullptr;
};

SdlGameControllerBackend::SdlGameControllerBackend() : SdlGameControllerBackend(Options{}) {}

SdlGameControllerBackend::SdlGameControllerBackend(Options options) : options_(options) {}

SdlGameControllerBackend::~SdlGameControllerBackend() {
    stop();
}

bool SdlGameControllerBackend::start(Sink& sink) {
    stop();
    startError_.clear();
    if (sdlgcInstanceActive.exchange(true)) {
        startError_ = "another SDL game-controller back end is running";
        sdlgcLog().write(LogType::error, startError_);
        return false;
    }
    ownsSdl_ = true;
    DispatchQueue& queue =
        options_.deliveryQueue ? *options_.deliveryQueue : static_cast<DispatchQueue&>(mainQueue());
    auto shared = std::make_shared<Shared>();
    auto slot = std::make_shared<SinkSlot>();
    slot->sink = &sink;
    shared_ = shared;
    sinkSlot_ = slot;
    const auto pollInterval = options_.pollInterval;

    thread_ = std::thread([shared, slot, &queue, pollInterval] {
        const auto post = [&](std::vector<SdlgcReport> reports) {
            for (SdlgcReport& report : reports)
                queue.async([slot, report = std::move(report)] {
                    if (slot->sink) sdlgcApply(report, *slot->sink);
                });
        };

        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        // SDL would otherwise take over SIGINT and SIGTERM from the program.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
            std::unique_lock lock(shared->mutex);
            shared->error = SDL_GetError();
            shared->phase = Shared::Phase::finished;
            shared->changed.notify_all();
            // Whoever asks for work now hears that the thread is gone.
            shared->runTasks(lock);
            return;
        }
        {
            SdlgcTranslator translator;
            std::vector<SdlgcReport> reports;
            const auto pump = [&] {
                SDL_PumpEvents();
                SDL_Event events[32];
                int count = 0;
                while ((count = SDL_PeepEvents(events, 32, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) > 0)
                    for (int i = 0; i < count; ++i)
                        translator.translate(events[i], reports);
            };

            // The controllers connected already go to start() itself when it still waits.
            pump();
            {
                std::unique_lock lock(shared->mutex);
                shared->phase = Shared::Phase::running;
                if (!shared->starterGaveUp) {
                    shared->initialReports = std::move(reports);
                    reports.clear();
                }
                shared->changed.notify_all();
            }
            post(std::exchange(reports, {}));

            std::unique_lock lock(shared->mutex);
            while (true) {
                shared->runTasks(lock);
                if (shared->stopRequested) break;
                lock.unlock();
                pump();
                post(std::exchange(reports, {}));
                lock.lock();
                shared->changed.wait_for(lock, pollInterval,
                                         [&] { return shared->stopRequested || !shared->tasks.empty(); });
            }
            shared->phase = Shared::Phase::finished;
            shared->runTasks(lock);
            lock.unlock();
            // The translator closes its controllers here, before SDL goes.
        }
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    });

    std::vector<SdlgcReport> initial;
    {
        std::unique_lock lock(shared->mutex);
        const bool settled = shared->changed.wait_for(
            lock, options_.startTimeout, [&] { return shared->phase != Shared::Phase::starting; });
        if (!settled) shared->starterGaveUp = true;
        if (shared->phase == Shared::Phase::finished) startError_ = "SDL could not start: " + shared->error;
        initial = std::move(shared->initialReports);
    }
    if (!startError_.empty()) {
        sdlgcLog().write(LogType::error, startError_);
        stop();
        return false;
    }
    for (const SdlgcReport& report : initial)
        sdlgcApply(report, sink);
    return true;
}

void SdlGameControllerBackend::stop() {
    if (sinkSlot_) sinkSlot_->sink = nullptr;
    if (shared_) {
        std::lock_guard lock(shared_->mutex);
        shared_->stopRequested = true;
        shared_->changed.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    shared_.reset();
    sinkSlot_.reset();
    if (ownsSdl_) {
        ownsSdl_ = false;
        sdlgcInstanceActive = false;
    }
}

bool SdlGameControllerBackend::performOnEventThread(const std::function<void()>& work) {
    if (!shared_) return false;
    std::future<bool> done;
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->phase == Shared::Phase::finished || shared_->stopRequested) return false;
        shared_->tasks.push_back(Shared::Task{work, {}});
        done = shared_->tasks.back().done.get_future();
        shared_->changed.notify_all();
    }
    return done.get();
}

} // namespace platform
