#include "Source/playback/AudioModel.h"

#include "Source/playback/Player.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vantle {

struct AudioModel::Subscription::Channel {
    double value = 0;
    std::uint64_t nextId = 1;
    std::vector<std::pair<std::uint64_t, std::shared_ptr<Receiver>>> receivers;

    void publish() {
        // A copy: a receiver may subscribe or cancel while it runs.
        const auto current = receivers;
        for (const auto& [id, receiver] : current)
            if (isSubscribed(id)) (*receiver)(value);
    }
    bool isSubscribed(std::uint64_t id) const {
        return std::any_of(receivers.begin(), receivers.end(), [id](const auto& r) { return r.first == id; });
    }
};

AudioModel::Subscription& AudioModel::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        cancel();
        channel_ = std::move(other.channel_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

AudioModel::Subscription::~Subscription() {
    cancel();
}

void AudioModel::Subscription::cancel() {
    if (auto channel = channel_.lock())
        std::erase_if(channel->receivers, [id = id_](const auto& r) { return r.first == id; });
    channel_.reset();
}

AudioModel::AudioModel()
    : treble_(std::make_shared<Subscription::Channel>()), pan_(std::make_shared<Subscription::Channel>()) {}

AudioModel::~AudioModel() = default;

double AudioModel::treble() const {
    return treble_->value;
}

void AudioModel::setTreble(double value) {
    treble_->value = value;
    treble_->publish();
}

double AudioModel::pan() const {
    return pan_->value;
}

void AudioModel::setPan(double value) {
    pan_->value = value;
    pan_->publish();
}

AudioModel::Subscription AudioModel::subscribe(const std::shared_ptr<Subscription::Channel>& channel,
                                               Receiver receiver) {
    const std::uint64_t id = channel->nextId++;
    auto shared = std::make_shared<Receiver>(std::move(receiver));
    channel->receivers.emplace_back(id, shared);
    (*shared)(channel->value);
    return Subscription(channel, id);
}

AudioModel::Subscription AudioModel::subscribeTreble(Receiver receiver) {
    return subscribe(treble_, std::move(receiver));
}

AudioModel::Subscription AudioModel::subscribePan(Receiver receiver) {
    return subscribe(pan_, std::move(receiver));
}

float trebleForSliderValue(double value) {
    const auto treble = float(value / 30.0);
    if (std::isnan(treble)) return 0.0f;
    return std::max(-1.0f, std::min(1.0f, treble));
}

float trebleGain(float treble) {
    return std::pow(treble + 1.0f, 3.825f) * 0.707f;
}

float panForSliderValue(double value) {
    const auto pan = float(value / 10.0);
    if (std::isnan(pan)) return 0.0f;
    return std::max(-1.0f, std::min(1.0f, pan));
}

void trebleChanged(ApplicationPlayer& player, double value) {
    const float treble = trebleForSliderValue(value);
    player.setTreble(treble);
    player.setTrebleGain(trebleGain(treble));
}

void panChanged(ApplicationPlayer& player, double value) {
    player.setPan(panForSliderValue(value));
}

} // namespace vantle
