#pragma once
// The music between singers: a second file player in the application player's graph, summed with the
// song after the key and tempo stage (the break is never pitched or stretched) and before the volume,
// behind a gain stage whose fades are ramps played on the render thread. The tracks play in turn and
// around again; a pause keeps the place, and the next fade in goes on from it. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rozezeru {
class AudioPlayer;
class Fader;
} // namespace rozezeru

namespace vantle {

class PlayerRZ;

class BreakMusic {
public:
    explicit BreakMusic(PlayerRZ& player);
    ~BreakMusic();
    BreakMusic(const BreakMusic&) = delete;
    BreakMusic& operator=(const BreakMusic&) = delete;

    // The playlist. The track playing keeps its place when it is still in it.
    void setTracks(std::vector<std::string> paths);
    const std::vector<std::string>& tracks() const { return tracks_; }

    // From silence (or the gain reached) to full over `seconds`, starting or going on where it stopped.
    // False when no track opens.
    bool fadeIn(double seconds);
    // To silence over `seconds`; the track goes on until pause().
    void fadeOut(double seconds);
    // Silent and held where it is.
    void pause();
    bool playing() const;
    // The track playing or held (its index in tracks()), and the place in it.
    std::optional<std::size_t> track() const { return loaded_; }
    double trackTime() const;

    // A track that does not open is passed over and named here.
    void setRefusedHandler(std::function<void(const std::string& path, const std::string& why)> handler) {
        refused_ = std::move(handler);
    }

    const std::shared_ptr<rozezeru::AudioPlayer>& filePlayer() const { return player_; }

private:
    // Loads the track at `from` or the first after it that opens.
    bool loadFrom(std::size_t from);
    void trackEnded();

    PlayerRZ& owner_;
    std::shared_ptr<rozezeru::AudioPlayer> player_;
    std::shared_ptr<rozezeru::Fader> fader_;
    std::vector<std::string> tracks_;
    std::optional<std::size_t> loaded_;
    bool paused_ = false;
    std::function<void(const std::string&, const std::string&)> refused_;
};

} // namespace vantle
