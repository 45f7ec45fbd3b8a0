#pragma once
// Plays an audio file through a phase-locked vocoder: `position` (seconds into the file) chooses where the
// sound is taken from, so a position that does not move freezes the spectrum there, and `pitchRatio`
// transposes independently of it; `amplitude` scales the output. The node reads the whole file once into
// its kernel, as one channel at the engine's rate, and keeps no reference to it. A new node is not
// bypassed. Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {
class AudioFile;
} // namespace platform

namespace rozezeru {

class PhaseLockedVocoder final : public GeneratorNode {
public:
    static constexpr std::string_view componentSubType = "minc";
    static constexpr std::string_view nodeClassName = "PhaseLockedVocoder";
    // The kernel plays the samples from one table of at most this many frames: 380 s at 44.1 kHz.
    static constexpr std::size_t maximumFrameCount = std::size_t{1} << 24;
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses. The
    // names read as stored documents and callers know them.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"position",
         "Position in time. When non-changing it will do a spectral freeze of a the current point in time.",
         0.0f,
         {0.0f, 100000.0f},
         ParameterUnit::generic},
        {"amplitude", "Amplitude.", 1.0f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"pitchRatio",
         "Pitch ratio. A value of. 1  normal, 2 is double speed, 0.5 is halfspeed, etc.",
         1.0f,
         {0.0f, 1000.0f},
         ParameterUnit::hertz},
    }};
    static NodeParameterDef positionDef() { return nodeParameterDef<PhaseLockedVocoder>(0); }
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<PhaseLockedVocoder>(1); }
    static NodeParameterDef pitchRatioDef() { return nodeParameterDef<PhaseLockedVocoder>(2); }

    // Loads the file (loadFile) and writes the values (clamped), whether the file could be read or not: a
    // node without samples stays silent until a later load succeeds.
    explicit PhaseLockedVocoder(const platform::AudioFile& file,
                                platform::AUValue position = positionDef().defaultValue,
                                platform::AUValue amplitude = amplitudeDef().defaultValue,
                                platform::AUValue pitchRatio = pitchRatioDef().defaultValue);

    // Reads the file at `file`'s path anew, whole, mixes stereo to mono and brings it to Settings' sample
    // rate (libsamplerate): ceil(frames × that rate / the file's rate) frames, which replace the kernel's
    // samples, also while the node plays (its unit is then set up again, and a render cycle under way
    // gets silence from it). A file that cannot be read is logged (while the toolkit's logging is on)
    // and leaves the samples as they were: one that does not open ("ExtAudioFileOpenURL FAILED, Error = "
    // and its error code), one of more than two channels ("Unsupported Format, channel count is greater
    // than stereo"), one whose rate cannot be converted, one that would give more than maximumFrameCount
    // frames, and a failed read ("Error = " and its error code).
    void loadFile(const platform::AudioFile& file);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(position, amplitude, pitchRatio);
    }

    Parameter<float> position{positionDef()};
    Parameter<float> amplitude{amplitudeDef()};
    Parameter<float> pitchRatio{pitchRatioDef()};
};

} // namespace rozezeru
