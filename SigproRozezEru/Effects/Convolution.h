#pragma once
// Convolves its input with an impulse response read from an audio file. The "conv" kernel runs one
// partitioned convolution per channel, the left with the response's first channel and the right with its
// second (the first again for a mono file), at 0.05 of the convolution and one partition late. The node
// has no parameters: the file and the partition length are handed to the kernel by the constructor; a file
// that cannot be loaded is logged (while the toolkit's logging is on) and leaves the node silent. Main
// thread (the kernel renders on the render thread).

#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/foundation/Url.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace rozezeru {

class Convolution final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "conv";
    static constexpr std::string_view nodeClassName = "Convolution";
    static constexpr std::array<NodeParameterRow, 0> parameterRows{};
    static constexpr std::int64_t defaultPartitionLength = 2048;

    // `input` must not be null. Installs an empty parameter tree, gives the kernel the partition length,
    // reads the file (readAudioFile()) and starts the node. A partition length that is not a power of two
    // of at least 4 that fits 32 bits is refused with an error record, and 2048 kept.
    Convolution(std::shared_ptr<Node> input, platform::Url impulseResponseFileURL,
                std::int64_t partitionLength = defaultPartitionLength);

    const platform::Url& impulseResponseFileURL() const { return impulseResponseFileURL_; }
    // Read at the next readAudioFile().
    void setImpulseResponseFileURL(platform::Url url) { impulseResponseFileURL_ = std::move(url); }
    // The kernel's partition length: the one given, or 2048 when that was refused.
    std::int64_t partitionLength() const { return partitionLength_; }

    // Reads the whole file, converts it to 32-bit float at Settings' sample rate (libsamplerate, the file
    // fed once) and hands its first two channels to the kernel's impulse slots 0 and 1; a mono file empties
    // slot 1. A failing step logs its message ("Error = Reading impulse file", "Error = Reading impulse
    // response file", "Error = Output format error", "Error = Output buffer creation error", "Error =
    // Converter initialization error" or the converter's own) and leaves the kernel's impulses as they
    // were. Refused with an error record while the node's engine runs: the kernel cannot take new
    // impulses while it renders.
    void readAudioFile();

private:
    platform::Url impulseResponseFileURL_;
    std::int64_t partitionLength_ = defaultPartitionLength;
};

} // namespace rozezeru
