#pragma once
// The multi-track step sequencer: one SequencerTrack per target node, transport and settings applied to
// every track, editing by track index, and loading of MIDI file tracks, file track i into track i.
// Application thread only.

#include "RozezEruEX/Sequencing/SequencerTrack.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace rozezeru {

class Node;
struct MIDIEvent;
struct MIDIFile;

class Sequencer {
public:
    // Without a list: no tracks, and a log that says to add some.
    explicit Sequencer(std::optional<std::vector<std::shared_ptr<Node>>> targetNodes = std::nullopt);
    explicit Sequencer(std::shared_ptr<Node> targetNode);
    // Then loads the standard MIDI file at `path`.
    Sequencer(std::string_view path, std::optional<std::vector<std::shared_ptr<Node>>> targetNodes);

    std::vector<std::unique_ptr<SequencerTrack>>& tracks() { return tracks_; }
    const std::vector<std::unique_ptr<SequencerTrack>>& tracks() const { return tracks_; }

    double tempo() const;
    void setTempo(double tempo);
    // The shortest track's length.
    double length() const;
    void setLength(double length);
    bool loopEnabled() const;
    void setLoopEnabled(bool enabled);
    bool isPlaying() const;

    void play();
    void playFromStart();
    void playAfterDelay(double beats);
    void stop();
    void stopTracks() { stop(); }
    void rewind();
    void seek(double position);
    void clear();

    // File track i replaces the content of track i and gives it the file track's length. A file that
    // cannot be read has no tracks and changes nothing.
    void load(std::string_view path);
    void load(const MIDIFile& midiFile);

    void add(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel, double position,
             double duration, int trackIndex);
    void add(const MIDIEvent& event, double position, int trackIndex);

    // The first track playing into this very node.
    SequencerTrack* track(const Node& node) const;
    SequencerTrack& addTrack(std::shared_ptr<Node> node);

private:
    bool checkIndex(int trackIndex, const char* function) const;

    std::vector<std::unique_ptr<SequencerTrack>> tracks_;
};

} // namespace rozezeru
