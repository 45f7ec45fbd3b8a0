#pragma once
// The "conv" kernel: convolves each channel with an impulse response through partitioned FFT
// convolution, at 0.05 of the module's output. Two impulse slots: 0 for the left channel, 1 for the right;
// with only slot 0 filled both channels use it, and with no impulse at all the kernel renders silence.
// One input, processed in place. Threads as DSPBase; wavetables and the partition length on the
// configuring thread while the kernel does not render.

#include "Sigpro/kernels/SigproDSPBase.h"
#include "Sigpro/modules/sp_conv.h"
#include "Sigpro/modules/sp_ftbl.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sigpro {

class ConvolutionDSP final : public SigproDSPBase {
public:
    static constexpr std::array<std::string_view, 0> parameterNames{};
    static constexpr std::int32_t initialPartitionLength = 2048;

    ConvolutionDSP();
    ~ConvolutionDSP() override;

    void init(int channelCount, double sampleRate) override;
    void deinit() override;
    // Sets the convolutions up again from the impulses kept; nothing before init or after deinit.
    void reset() override;
    void process(FrameRange range) override;
    // Keeps a copy of the impulse response for slot `index` (0 or 1; any other index is refused with a
    // log record) and, when initialized, sets the convolutions up with it. An empty table empties the slot.
    void setWavetable(const float* table, std::size_t length, int index) override;
    // A power of two of at least 4; the module refuses (and renders silence for) any other.
    void setPartitionLength(std::int32_t length);

private:
    void buildTable(std::size_t slot);
    void setUp(sp_conv*& convolution, sp_ftbl* table);
    void setUpConvolutions();
    void destroyModules();

    sp_conv* left_ = nullptr;
    sp_conv* right_ = nullptr;
    std::array<sp_ftbl*, 2> tables_{};
    std::array<std::vector<float>, 2> impulses_;
    std::int32_t partitionLength_ = initialPartitionLength;
};

} // namespace sigpro
