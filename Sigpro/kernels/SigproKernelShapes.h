#pragma once
// The two shapes most Sigpro effect kernels take, as templates over a row that says which module they
// run and how their parameters drive it:
//   PairKernel<Row>   one module per channel, the same values written into both;
//   StereoKernel<Row> one module that takes both channels at once.
// A row is a ModuleRow (the module's four functions) plus
//   parameterNames                      the parameter names, in address order;
//   drive(Module&, const float* values) writes the values into the module's inputs;
// and optionally
//   afterInit(Module&)                   runs after every module init;
//   inPlace = false                      the kernel cannot process in place;
//   dryWetBalance = true                 the last parameter blends the input back in (initial 1, wet);
//   initialLength with init(sp, module, length) and drive(module, values, length): a length outside
//                                        the parameter table (a loop or maximum time), changed through
//                                        setLength, which re-initialises the modules;
//   computePair(sp, left, right, inLeft, inRight, outLeft, outRight, frames): the module's compute over a
//                                        block for both channels at once (pair kernels, steady values).
// Only channels 0 and 1 are rendered, and only those present: a missing input channel is silence, a
// missing output channel is not written. Threads as DSPBase.
//
// Include this header only from the sources that define kernels (and their tests and benchmarks): it
// pulls the template machinery in.

#include "Sigpro/kernels/SigproDSPBase.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace sigpro {

template <class M, auto Create, auto Init, auto Compute, auto Destroy> struct ModuleRow {
    using Module = M;
    static constexpr auto create = Create;
    static constexpr auto init = Init;
    static constexpr auto compute = Compute;
    static constexpr auto destroy = Destroy;
};

namespace shape {

template <class Row> constexpr bool inPlace() {
    if constexpr (requires { Row::inPlace; })
        return Row::inPlace;
    else
        return true;
}

template <class Row> constexpr bool dryWetBalance() {
    if constexpr (requires { Row::dryWetBalance; })
        return Row::dryWetBalance;
    else
        return false;
}

template <class Row>
concept HasLength = requires {
    Row::initialLength;
};

// Input bus 0 and the output of one render, channels 0 and 1; null where the buffer list has none.
struct StereoPorts {
    const float* inLeft = nullptr;
    const float* inRight = nullptr;
    float* outLeft = nullptr;
    float* outRight = nullptr;

    StereoPorts(const rozezeru::AudioBufferList* input, rozezeru::AudioBufferList& output) {
        if (input && input->numberBuffers > 0) inLeft = input->floatData(0);
        if (input && input->numberBuffers > 1) inRight = input->floatData(1);
        if (output.numberBuffers > 0) outLeft = output.floatData(0);
        if (output.numberBuffers > 1) outRight = output.floatData(1);
    }
    // Copied out before the modules write, so that processing in place reads the input.
    float left(std::uint32_t frame) const { return inLeft ? inLeft[frame] : 0.0f; }
    float right(std::uint32_t frame) const { return inRight ? inRight[frame] : 0.0f; }
};

// What the two shapes share: the rampers, the length field, the split of a range into frames whose
// parameters ramp and a steady rest, and the dry/wet balance.
template <class Row> class KernelShape : public SigproDSPBase {
public:
    using Module = typename Row::Module;
    static constexpr auto parameterNames = Row::parameterNames;
    static constexpr std::size_t parameterCount = parameterNames.size();

    KernelShape() : SigproDSPBase(1, inPlace<Row>()) {
        for (std::size_t address = 0; address < parameterCount; ++address)
            parameters[address] = &ramps[address];
        if constexpr (dryWetBalance<Row>()) ramps[parameterCount - 1].startRamp(1.0f, 0);
    }

    // Stores a new loop or maximum time and re-initialises the modules with it when initialized.
    void setLength(float length) requires HasLength<Row> {
        length_ = length;
        reset();
    }

protected:
    bool ramping() const {
        for (const ParameterRamper& ramp : ramps)
            if (ramp.samplesRemaining > 0) return true;
        return false;
    }
    void nextValues(float* values) {
        for (std::size_t address = 0; address < parameterCount; ++address)
            values[address] = ramps[address].nextValue();
    }
    void initModule(Module* module) {
        if constexpr (HasLength<Row>)
            Row::init(sp, module, length_);
        else
            Row::init(sp, module);
        if constexpr (requires { Row::afterInit(*module); }) Row::afterInit(*module);
    }
    void drive(Module& module, const float* values) const {
        if constexpr (HasLength<Row>)
            Row::drive(module, values, length_);
        else
            Row::drive(module, values);
    }
    // wet × balance + dry × (1 − balance) with the balance the last parameter; the wet signal alone
    // for kernels without one.
    static float blend(float wet, float dry, const float* values) {
        if constexpr (dryWetBalance<Row>()) {
            const float balance = values[parameterCount - 1];
            return wet * balance + dry * (1.0f - balance);
        } else {
            return wet;
        }
    }

    // At least one element, so that kernels without parameters still have an array to point at.
    using Values = std::array<float, parameterCount == 0 ? 1 : parameterCount>;
    std::array<ParameterRamper, parameterCount> ramps;

private:
    struct NoLength {};
    [[no_unique_address]] std::conditional_t<HasLength<Row>, float, NoLength> length_ = initialLength();

    static constexpr auto initialLength() {
        if constexpr (HasLength<Row>)
            return float(Row::initialLength);
        else
            return NoLength{};
    }
};

} // namespace shape

template <class Row> class PairKernel : public shape::KernelShape<Row> {
    using Base = shape::KernelShape<Row>;
    using Module = typename Base::Module;
    using Values = typename Base::Values;

public:
    ~PairKernel() override { destroyModules(); }

    void init(int channelCount, double sampleRate) override {
        SigproDSPBase::init(channelCount, sampleRate);
        destroyModules();
        // Two modules whatever the channel count: the hosting unit's busses are stereo.
        Row::create(&left_);
        this->initModule(left_);
        Row::create(&right_);
        this->initModule(right_);
    }
    void deinit() override {
        SigproDSPBase::deinit();
        destroyModules();
    }
    // Clears the modules' state, keeping the parameters; nothing before init or after deinit.
    void reset() override {
        if (!this->isInitialized || !left_) return;
        this->initModule(left_);
        this->initModule(right_);
    }

    void process(FrameRange range) override {
        if (range.count == 0 || !left_) return;
        const shape::StereoPorts ports(this->inputBufferLists[0], *this->outputBufferList);
        const std::uint32_t end = range.start + range.count;
        Values values{};
        std::uint32_t frame = range.start;
        // While a ramp runs every frame takes its own values.
        for (; frame < end && this->ramping(); ++frame) {
            driveBoth(values);
            processFrame(ports, frame, values.data());
        }
        if (frame == end) return;
        driveBoth(values);
        processSteady(ports, frame, end, values.data());
    }

private:
    void driveBoth(Values& values) {
        this->nextValues(values.data());
        this->drive(*left_, values.data());
        this->drive(*right_, values.data());
    }
    // Frames whose parameters hold still to the end of the range, their values already in the modules:
    // the one place for a path that works a block at a time. A row with a pair function runs the block
    // at once, both channels together, when both are there to read and write.
    void processSteady(const shape::StereoPorts& ports, std::uint32_t frame, std::uint32_t end,
                       const float* values) {
        if constexpr (requires { Row::computePair; } && !shape::dryWetBalance<Row>()) {
            if (ports.inLeft && ports.inRight && ports.outLeft && ports.outRight) {
                Row::computePair(this->sp, left_, right_, ports.inLeft + frame, ports.inRight + frame,
                                 ports.outLeft + frame, ports.outRight + frame, end - frame);
                return;
            }
        }
        for (; frame < end; ++frame)
            processFrame(ports, frame, values);
    }
    void processFrame(const shape::StereoPorts& ports, std::uint32_t frame, const float* values) {
        float left = ports.left(frame);
        float right = ports.right(frame);
        float wet = 0.0f;
        if (ports.outLeft) {
            Row::compute(this->sp, left_, &left, &wet);
            ports.outLeft[frame] = Base::blend(wet, left, values);
        }
        if (ports.outRight) {
            Row::compute(this->sp, right_, &right, &wet);
            ports.outRight[frame] = Base::blend(wet, right, values);
        }
    }
    void destroyModules() {
        if (left_) Row::destroy(&left_);
        if (right_) Row::destroy(&right_);
    }

    Module* left_ = nullptr;
    Module* right_ = nullptr;
};

template <class Row> class StereoKernel : public shape::KernelShape<Row> {
    using Base = shape::KernelShape<Row>;
    using Module = typename Base::Module;
    using Values = typename Base::Values;

public:
    ~StereoKernel() override { destroyModule(); }

    void init(int channelCount, double sampleRate) override {
        SigproDSPBase::init(channelCount, sampleRate);
        destroyModule();
        Row::create(&module_);
        this->initModule(module_);
    }
    void deinit() override {
        SigproDSPBase::deinit();
        destroyModule();
    }
    void reset() override {
        if (!this->isInitialized || !module_) return;
        this->initModule(module_);
    }

    void process(FrameRange range) override {
        if (range.count == 0 || !module_) return;
        const shape::StereoPorts ports(this->inputBufferLists[0], *this->outputBufferList);
        const std::uint32_t end = range.start + range.count;
        Values values{};
        std::uint32_t frame = range.start;
        for (; frame < end && this->ramping(); ++frame) {
            driveModule(values);
            processFrame(ports, frame, values.data());
        }
        if (frame == end) return;
        driveModule(values);
        for (; frame < end; ++frame)
            processFrame(ports, frame, values.data());
    }

private:
    void driveModule(Values& values) {
        this->nextValues(values.data());
        this->drive(*module_, values.data());
    }
    void processFrame(const shape::StereoPorts& ports, std::uint32_t frame, const float* values) {
        float left = ports.left(frame);
        float right = ports.right(frame);
        float wetLeft = 0.0f;
        float wetRight = 0.0f;
        Row::compute(this->sp, module_, &left, &right, &wetLeft, &wetRight);
        if (ports.outLeft) ports.outLeft[frame] = Base::blend(wetLeft, left, values);
        if (ports.outRight) ports.outRight[frame] = Base::blend(wetRight, right, values);
    }
    void destroyModule() {
        if (module_) Row::destroy(&module_);
    }

    Module* module_ = nullptr;
};

} // namespace sigpro
