#pragma once
// A video player that plays nothing, for the video window's tests and the main window's.

#include "Source/views/VideoPlayer.h"

#include <memory>
#include <string>
#include <vector>

namespace vantle::testing {

// What a fake player went through; outlives the player, so that a test sees it after its release.
struct FakeVideoRecord {
    VideoPlayer* player = nullptr; // while not released
    float rate = 0.0f;
    float volume = -1.0f;
    double time = 0.0;
    std::vector<double> seeks;
    QVideoWidget* output = nullptr;
    int pauses = 0;
    bool released = false;
};

// Rate 0 means paused; seeks are recorded and leave the time where the test put it, as if the
// player were still on its way.
class FakeVideoPlayer final : public VideoPlayer {
public:
    explicit FakeVideoPlayer(std::shared_ptr<FakeVideoRecord> record) : record_(std::move(record)) {
        record_->player = this;
    }
    ~FakeVideoPlayer() override {
        record_->player = nullptr;
        record_->released = true;
    }
    float rate() const override { return record_->rate; }
    void setRate(float rate) override { record_->rate = rate; }
    void play() override { record_->rate = 1.0f; }
    void pause() override {
        record_->rate = 0.0f;
        ++record_->pauses;
    }
    double currentTime() const override { return record_->time; }
    void seek(double seconds) override { record_->seeks.push_back(seconds); }
    void setVolume(float volume) override { record_->volume = volume; }
    void setVideoOutput(QVideoWidget* view) override { record_->output = view; }

private:
    std::shared_ptr<FakeVideoRecord> record_;
};

} // namespace vantle::testing
