#pragma once
// The music between singers: a second file player in the application player's graph, summed with the
// song after the key and tempo stage (the break is never pitched or stretched) and before the volume,
// behind a gain stage whose fades are ramps played on the render thread. The tracks play in turn and
// around again; a pause keeps the place, and the next fade in goes on from it. The tracks are opened on a
// worker, so that a slow disk never holds the window: the fade starts when the file is open. Main thread
// only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class DispatchQueue;
}

namespace rozezeru {
class AudioPlayer;
class Fader;
} // namespace rozezeru

namespace vantle {

class PlayerRZ;

class BreakMusic {
public:
    // `opener` opens the tracks; null: the program's own worker.
    explicit BreakMusic(PlayerRZ& player, platform::DispatchQueue* opener = nullptr);
    ~BreakMusic();
    BreakMusic(const BreakMusic&) = delete;
    BreakMusic& operator=(const BreakMusic&) = delete;

    // The playlist. The track playing keeps its place when it is still in it.
    void setTracks(std::vector<std::string> paths);
    const std::vector<std::string>& tracks() const { return tracks_; }

    // From silence (or the gain reached) to full over `seconds`, starting or going on where it stopped;
    // a track not yet open fades in once it is. False when there is no track.
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

    // No track opened: the break is silent.
    void setSilentHandler(std::function<void()> handler) { silent_ = std::move(handler); }

    const std::shared_ptr<rozezeru::AudioPlayer>& filePlayer() const { return player_; }

private:
    struct Opened;
    // Opens the track at `from` or the first after it that opens, on the opener; what follows once it is
    // open is in pending_.
    void openFrom(std::size_t from);
    void opened(Opened result);
    void trackEnded();

    // What is done with the track being opened.
    struct Pending {
        bool play = false;
        std::optional<double> fade;
    };

    PlayerRZ& owner_;
    std::shared_ptr<rozezeru::AudioPlayer> player_;
    std::shared_ptr<rozezeru::Fader> fader_;
    std::vector<std::string> tracks_;
    std::optional<std::size_t> loaded_;
    bool paused_ = false;
    platform::DispatchQueue& opener_;
    std::optional<Pending> pending_;
    // Told apart from later openings and list changes; an answer for an older one is dropped.
    std::shared_ptr<unsigned> opening_ = std::make_shared<unsigned>(0);
    std::function<void(const std::string&, const std::string&)> refused_;
    std::function<void()> silent_;
};

} // namespace vantle
