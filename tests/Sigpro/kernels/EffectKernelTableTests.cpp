#include "EffectKernelRig.h"

#include "tests/support/AllocationTrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <typeinfo>

using namespace effecttest;
using kerneltest::EventList;
using kerneltest::KernelHarness;

namespace {

// The kernel at its defaults (and the probe's setting) after 8192 frames of noise, with a note-on first
// for the envelope's gate.
struct WarmKernel {
    explicit WarmKernel(const KernelRow& row) : dsp(readyKernel(row)), harness(*dsp) {
        if (row.probeSetting) dsp->setParameter(row.probeSetting->first, row.probeSetting->second, true);
        SignalInput input = noiseInput(*dsp, 8192, 1u);
        EventList note;
        note.midi(0, {0x90, 60, 127});
        renderSignal(harness, input, 0, note.head());
    }
    Stereo render(const rozezeru::AURenderEvent* events = nullptr) {
        SignalInput input = noiseInput(*dsp, 8192, 11u);
        return renderSignal(harness, input, 8192, events);
    }
    std::unique_ptr<rozezeru::DSPBase> dsp;
    KernelHarness harness;
};

} // namespace

TEST(EffectKernelTable, EveryCodeRegistersItsClassParametersAndRendersThroughItsModules) {
    sigpro::registerSigproKernels();
    for (const KernelRow& row : effectKernelRows()) {
        SCOPED_TRACE(row.code);
        auto created = rozezeru::create(row.code);
        ASSERT_TRUE(created);
        // The mangled name of sigpro::<node class>DSP.
        const std::string kernelClass = std::string(row.nodeClass) + "DSP";
        EXPECT_EQ(typeid(*created).name(),
                  "N6sigpro" + std::to_string(kernelClass.size()) + kernelClass + "E");
        for (std::size_t address = 0; address < row.parameters.size(); ++address)
            EXPECT_EQ(rozezeru::rzGetParameterAddress(std::string(row.nodeClass) + "Parameter" +
                                                      row.parameters[address].first),
                      address);
        // No parameter beyond the last one.
        created->setParameter(row.parameters.size(), 5.0f, true);
        EXPECT_EQ(created->getParameter(row.parameters.size()), 0.0f);

        // 1 s of white noise at the defaults: finite, and nothing allocated while rendering.
        auto dsp = readyKernel(row);
        KernelHarness harness(*dsp);
        SignalInput second = noiseInput(*dsp, 44100, 3u);
        bool finite = true;
        testsupport::AllocationTrap::resetCounts();
        {
            testsupport::ScopedRenderThread rendering;
            for (second.position = 0; second.position + 441 <= second.frames(); second.position += 441) {
                harness.render(std::int64_t(second.position), 441, nullptr, &second);
                for (std::uint32_t n = 0; n < 441; ++n)
                    finite =
                        finite && std::isfinite(harness.output(0)[n]) && std::isfinite(harness.output(1)[n]);
            }
        }
        EXPECT_TRUE(finite);
        EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);

        if (!row.parameters.empty()) {
            // A deferred set ramps over 881 frames, exactly as a ramp event of 881 frames does, and
            // changes what comes out.
            WarmKernel set(row), event(row), unchanged(row);
            set.dsp->setParameter(row.probe, row.probeValue, false);
            EventList ramp;
            ramp.ramp(8192, row.probe, row.probeValue, 881);
            const Stereo viaSet = set.render();
            const Stereo viaEvent = event.render(ramp.head());
            EXPECT_EQ(std::pair(viaSet.left, viaSet.right), std::pair(viaEvent.left, viaEvent.right));
            EXPECT_NE(viaSet.left, unchanged.render().left);
        }

        if (row.shape == Shape::pair) {
            // Each channel has a state of its own: swapping the inputs swaps the outputs.
            auto straight = readyKernel(row);
            auto swapped = readyKernel(row);
            KernelHarness straightHarness(*straight), swappedHarness(*swapped);
            const Stereo a{noise(3000, 21u), noise(3000, 22u)};
            SignalInput forward({a}), backward({Stereo{a.right, a.left}});
            const Stereo out = renderSignal(straightHarness, forward);
            const Stereo outSwapped = renderSignal(swappedHarness, backward);
            EXPECT_EQ(std::pair(out.left, out.right), std::pair(outSwapped.right, outSwapped.left));
        }

        // Bypassed, the input comes out unchanged.
        rozezeru::rzSetBypass(dsp.get(), true);
        SignalInput bypassed = noiseInput(*dsp, 1024, 31u);
        const Stereo through = renderSignal(harness, bypassed, 44100);
        EXPECT_EQ(std::pair(through.left, through.right), std::pair(noise(1024, 31u), noise(1024, 32u)));
    }
}
