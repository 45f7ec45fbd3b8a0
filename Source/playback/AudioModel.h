#pragma once
// The treble and balance controls: the model the two sliders write (slider units, −10 … 10), which
// publishes every new value to its subscribers, and the mapping of those values onto the player's
// high-shelf gain and mixer pan. Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vantle {

class ApplicationPlayer;

class AudioModel {
public:
    using Receiver = std::function<void(double)>;

    // Keeps a receiver subscribed for its own lifetime.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept;
        ~Subscription();
        void cancel();

    private:
        friend class AudioModel;
        struct Channel;
        Subscription(std::weak_ptr<Channel> channel, std::uint64_t id)
            : channel_(std::move(channel)), id_(id) {}
        std::weak_ptr<Channel> channel_;
        std::uint64_t id_ = 0;
    };

    AudioModel();
    ~AudioModel();
    AudioModel(const AudioModel&) = delete;
    AudioModel& operator=(const AudioModel&) = delete;

    double treble() const;
    // Stores and publishes the value, also an unchanged one.
    void setTreble(double value);
    double pan() const;
    void setPan(double value);

    // The receiver gets the current value at once and every value set afterwards, in the order of
    // subscription, until the subscription goes away.
    [[nodiscard]] Subscription subscribeTreble(Receiver receiver);
    [[nodiscard]] Subscription subscribePan(Receiver receiver);

private:
    static Subscription subscribe(const std::shared_ptr<Subscription::Channel>& channel, Receiver receiver);

    std::shared_ptr<Subscription::Channel> treble_;
    std::shared_ptr<Subscription::Channel> pan_;
};

// Treble slider value v → the player's treble t = v / 30 within [−1, 1].
float trebleForSliderValue(double value);
// The high-shelf gain for treble t: 0.707 × (t + 1)^3.825 (0 … 10.02; the filter limits it to 10).
float trebleGain(float treble);
// Balance slider value v → pan v / 10 within [−1, 1].
float panForSliderValue(double value);

// The main window's receivers of the two values: set the player's treble and its equaliser's gain, or
// its pan (which reaches the mixer).
void trebleChanged(ApplicationPlayer& player, double value);
void panChanged(ApplicationPlayer& player, double value);

} // namespace vantle
