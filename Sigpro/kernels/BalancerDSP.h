#pragma once
// The "blnc" kernel: scales input bus 0 (the signal) so that its power follows input bus 1 (the
// comparator). One sp_bal serves every channel, computed channel after channel in each frame, so the
// channels share its measure of power. Two input busses, no parameters. Threads as DSPBase.

#include "Sigpro/kernels/SigproDSPBase.h"
#include "Sigpro/modules/sp_bal.h"

#include <array>
#include <string_view>

namespace sigpro {

class BalancerDSP final : public SigproDSPBase {
public:
    static constexpr std::array<std::string_view, 0> parameterNames{};

    BalancerDSP();
    ~BalancerDSP() override;

    void init(int channelCount, double sampleRate) override;
    void deinit() override;
    void reset() override;
    void process(FrameRange range) override;

private:
    void destroyBalancer();

    sp_bal* balancer_ = nullptr;
};

} // namespace sigpro
