#include "EffectKernelRig.h"

#include "Sigpro/modules/sp_conv.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace effecttest;
using kerneltest::EventList;
using kerneltest::KernelHarness;

namespace {

// A kernel of `code` with `parameters`, initialized at 44100 Hz unless `initialize` is false.
std::unique_ptr<rozezeru::DSPBase> kernelWith(const char* code, std::vector<float> parameters,
                                              bool initialize = true) {
    sigpro::registerSigproKernels();
    auto dsp = rozezeru::create(code);
    for (std::size_t address = 0; address < parameters.size(); ++address)
        dsp->setParameter(address, parameters[address], false);
    if (initialize) dsp->init(2, 44100.0);
    return dsp;
}

// All of `input` through a fresh harness of `dsp`.
Stereo renderThrough(rozezeru::DSPBase& dsp, SignalInput input) {
    KernelHarness harness(dsp);
    return renderSignal(harness, input);
}

Stereo constant(std::size_t frames, float left, float right) {
    return {std::vector<float>(frames, left), std::vector<float>(frames, right)};
}

std::vector<float> bareConvolution(const std::vector<float>& impulse, const std::vector<float>& input) {
    using namespace sigpro;
    sigprotest::ContextHandle sp;
    sigprotest::Table table(sp.get(), impulse.size(),
                            [&](std::size_t i) { return i < impulse.size() ? impulse[i] : 0.0f; });
    sigprotest::Fresh<SP_COMPUTING_MODULE(conv)> convolution(sp_conv_init, table.get(), 256.0f);
    std::vector<float> output = convolution(input);
    for (float& y : output)
        y = float(double(y) * 0.05);
    return output;
}

} // namespace

TEST(EffectKernelBehaviour, TheEnvelopeOpensAtTheNoteVelocityAndClosesOnNoteOffs) {
    auto dsp = kernelWith("adsr", {0.005f, 0.005f, 0.5f, 0.005f});
    KernelHarness harness(*dsp);
    // 3000 frames of a constant input after each note message.
    std::vector<float> left, right;
    auto play = [&](std::int64_t at, std::initializer_list<std::uint8_t> message) {
        EventList note;
        note.midi(at, message);
        SignalInput input({constant(3000, 1.0f, 0.5f)});
        const Stereo output = renderSignal(harness, input, at, note.head());
        left.insert(left.end(), output.left.begin(), output.left.end());
        right.insert(right.end(), output.right.begin(), output.right.end());
    };
    play(0, {0x91, 60, 127});
    play(3000, {0x80, 60, 0});
    play(6000, {0x90, 60, 64});
    play(9000, {0x90, 60, 0});
    // Attack to the gate, then decay to the sustain level.
    EXPECT_GT(*std::max_element(left.begin(), left.begin() + 3000), 0.98f);
    EXPECT_NEAR(left[2999], 0.5f, 1e-3f);
    EXPECT_LT(left[5999], 1e-3f); // released by the note-off
    EXPECT_NEAR(left[8999], 0.5f * 64.0f / 127.0f, 1e-3f);
    EXPECT_LT(left[11999], 1e-3f);                   // released by the note-on of velocity 0
    EXPECT_FLOAT_EQ(right[2999], 0.5f * left[2999]); // one envelope on both channels
}

TEST(EffectKernelBehaviour, TheTremoloFadesToANewTableOver200FramesWithoutALock) {
    auto dsp = kernelWith("trem", {5.0f, 1.0f});
    auto table = [](float value) { return std::vector<float>(64, value); };
    KernelHarness harness(*dsp);
    auto render = [&](std::size_t frames) {
        SignalInput ones({constant(frames, 1.0f, 1.0f)});
        return renderSignal(harness, ones).left;
    };
    // Without a table the input passes unchanged.
    EXPECT_EQ(render(300), std::vector<float>(300, 1.0f));

    // Each fade runs from the gain of the table in use (1 − Depth × value) to the new table's.
    double crossfade = 0.0;
    auto expectFade = [&](const std::vector<float>& gains, double from, double to) {
        crossfade = 0.0;
        for (std::size_t k = 0; k < gains.size(); ++k) {
            crossfade = std::min(1.0, crossfade + 0.005);
            ASSERT_NEAR(gains[k], from * (1.0 - crossfade) + to * crossfade, 1e-6) << k;
        }
    };
    const std::vector<float> a = table(0.2f), b = table(0.6f), c = table(0.9f);
    // The first table has nothing to fade from: it holds at once.
    dsp->setWavetable(a.data(), a.size(), 0);
    EXPECT_EQ(render(300), std::vector<float>(300, 0.8f));
    dsp->setWavetable(b.data(), b.size(), 0);
    expectFade(render(100), 0.8, 0.4);
    // A second table before the fade ended fades from the table that was current.
    dsp->setWavetable(c.data(), c.size(), 0);
    const std::vector<float> faded = render(300);
    expectFade(faded, 0.4, 0.1);
    EXPECT_FLOAT_EQ(faded[199], 0.1f);

    // Between deinit and init a table is kept for the next init.
    dsp->deinit();
    dsp->setWavetable(a.data(), a.size(), 0);
    dsp->init(2, 44100.0);
    EXPECT_FLOAT_EQ(render(300)[299], 0.8f);
}

TEST(EffectKernelBehaviour, AVariableDelayIsHeldAtItsMaximumAndZeroLengthsStayFinite) {
    auto dsp = kernelWith("vdla", {12.0f, 0.0f});
    Stereo impulse = constant(441100, 0.0f, 0.0f);
    impulse.left[0] = 1.0f;
    const Stereo output = renderThrough(*dsp, SignalInput({impulse}));
    const auto peak = std::max_element(output.left.begin(), output.left.end());
    EXPECT_EQ(peak - output.left.begin(), 441000); // 10 s, the default maximum
    EXPECT_NEAR(*peak, 1.0f, 1e-6f);

    // A loop or maximum time of 0 keeps a line of one sample.
    using Setter = void (*)(rozezeru::DSPBase*, float);
    const std::vector<std::pair<const char*, Setter>> setters{
        {"vdla", sigpro::rzVariableDelaySetMaximumTime},
        {"comb", sigpro::rzCombFilterReverbSetLoopDuration},
        {"alps", sigpro::rzFlatFrequencyResponseSetLoopDuration}};
    for (const auto& [code, setter] : setters) {
        SCOPED_TRACE(code);
        auto kernel = kernelWith(code, {0.5f, 0.5f});
        setter(kernel.get(), 0.0f);
        const Stereo out = renderThrough(*kernel, noiseInput(*kernel, 2048, 5u));
        EXPECT_TRUE(std::all_of(out.left.begin(), out.left.end(), [](float x) { return std::isfinite(x); }));
        EXPECT_NE(out.left, std::vector<float>(2048, 0.0f));
    }
}

TEST(EffectKernelBehaviour, TheConvolutionGivesATwentiethOfTheModuleOnEachSlot) {
    const std::vector<float> first = noise(300, 41u), second = noise(200, 43u);
    const Stereo input{noise(3000, 45u), noise(3000, 46u)};
    auto convolve = [&](auto setUp) {
        auto dsp = kernelWith("conv", {}, false);
        sigpro::rzConvolutionSetPartitionLength(dsp.get(), 256);
        setUp(*dsp);
        dsp->init(2, 44100.0);
        return renderThrough(*dsp, SignalInput({input}));
    };
    // One impulse: both channels convolve with it.
    const Stereo one =
        convolve([&](rozezeru::DSPBase& dsp) { dsp.setWavetable(first.data(), first.size(), 0); });
    EXPECT_EQ(one.left, bareConvolution(first, input.left));
    EXPECT_EQ(one.right, bareConvolution(first, input.right));
    // Two: the right channel takes slot 1; slots beyond 1 do not exist.
    const Stereo two = convolve([&](rozezeru::DSPBase& dsp) {
        dsp.setWavetable(first.data(), first.size(), 0);
        dsp.setWavetable(second.data(), second.size(), 1);
        dsp.setWavetable(first.data(), first.size(), 2);
        dsp.setWavetable(first.data(), first.size(), -1);
    });
    EXPECT_EQ(two.left, bareConvolution(first, input.left));
    EXPECT_EQ(two.right, bareConvolution(second, input.right));
    // None: silence.
    EXPECT_EQ(convolve([](rozezeru::DSPBase&) {}).left, std::vector<float>(3000, 0.0f));
}

TEST(EffectKernelSetterDeathTest, ASetterHandedAnotherKernelStopsTheProgram) {
    auto other = kernelWith("tone", {});
    EXPECT_DEATH(sigpro::rzConvolutionSetPartitionLength(other.get(), 512),
                 "rzConvolutionSetPartitionLength");
    EXPECT_DEATH(sigpro::rzCombFilterReverbSetLoopDuration(nullptr, 1.0f),
                 "rzCombFilterReverbSetLoopDuration");
}

TEST(EffectKernelBehaviour, ReverbsAtBalanceZeroPassTheInput) {
    for (const auto& [code, parameters] : std::vector<std::pair<const char*, std::vector<float>>>{
             {"jcrv", {0.0f}}, {"rvsc", {0.6f, 4000.0f, 0.0f}}}) {
        SCOPED_TRACE(code);
        auto dsp = kernelWith(code, parameters);
        const Stereo output = renderThrough(*dsp, noiseInput(*dsp, 2000, 51u));
        EXPECT_EQ(std::pair(output.left, output.right), std::pair(noise(2000, 51u), noise(2000, 52u)));
    }
}
