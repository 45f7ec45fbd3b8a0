#pragma once
// A plain player for an entry: the file player alone, straight to the output, without speed, treble or
// balance. The entry, the position, the played ranges, the watch on the entry's file and the delegate
// follow the rules it shares with PlayerRZ (EntryPlayer), so that the main view could drive either one;
// the application itself plays through PlayerRZ. Main thread only.

#include "Source/playback/EntryPlayer.h"

#include <memory>

namespace platform {
class AudioDevice;
} // namespace platform

namespace vantle {

class PlayerAV final : public EntryPlayer {
public:
    explicit PlayerAV(std::unique_ptr<platform::AudioDevice> device);
    ~PlayerAV() override;

    // The file player's time while it is heard, else desiredTime.
    double currentTime() const override;

    // The file player's own volume; no load resets it.
    void setVolume(float volume) override;
    // Kept only: this player has no balance, treble or speed.
    void setPan(float pan) override { pan_ = pan; }
    void setTrebleGain(float) override {}
    void setRate(float) override {}
};

} // namespace vantle
