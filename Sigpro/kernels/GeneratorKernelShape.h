#pragma once
// The shape the Sigpro generator kernels take, as a template over a row that says which module they run
// and how their parameters drive it: the module (or a small chain made to look like one) computes one mono
// signal into output channel 0, which is then copied into every other output channel. A row is a ModuleRow
// (create, destroy; its init and compute are reached through the row's own functions) plus
//   parameterNames                          the parameter names, in address order;
//   setUp(sp, Module*, GeneratorTables&)    the module's init with its set-up arguments and tables;
//   render(sp, Module&, const float* values, float trigger) -> float
//                                           writes the values into the module's inputs, computes one
//                                           sample and returns it;
// and optionally
//   tableCount = n                          the wavetables kept, built into tables at every init: with 1
//                                           the index of setWavetable is not looked at, with more it
//                                           picks the table (0 ... n - 1);
//   tablesLive = true                       a table given while initialized is built at once and the
//                                           module set up on it (otherwise it waits for the next init);
//   inputBusCount = 1                       an input bus that the kernel never reads;
//   struck = true                           the trigger a note-on sets reaches the module's trigger input
//                                           for the first frame rendered after it, and is then cleared;
//   reset(sp, Module*, GeneratorTables&)    what reset does instead of setting the module up again.
// An empty wavetable is refused with a log record and the one kept stays. Threads as DSPBase.
//
// Include this header only from the sources that define kernels (and their tests): it pulls the template
// machinery in.

#include "Sigpro/kernels/SigproKernelShapes.h"
#include "Sigpro/modules/sp_ftbl.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace sigpro {

// The tables a generator's module reads: `count` of them from index 0 are built; null beyond.
template <std::size_t N> struct GeneratorTables {
    std::array<sp_ftbl*, (N > 0 ? N : 1)> at{};
    int count = 0;
};

namespace generatorShape {

template <class Row> constexpr std::size_t tableCount() {
    if constexpr (requires { Row::tableCount; })
        return Row::tableCount;
    else
        return 0;
}

template <class Row> constexpr bool tablesLive() {
    if constexpr (requires { Row::tablesLive; })
        return Row::tablesLive;
    else
        return false;
}

template <class Row> constexpr int inputBusCount() {
    if constexpr (requires { Row::inputBusCount; })
        return Row::inputBusCount;
    else
        return 0;
}

template <class Row> constexpr bool struck() {
    if constexpr (requires { Row::struck; })
        return Row::struck;
    else
        return false;
}

// Logs that an empty table or an index out of range was refused; the configuring thread.
void refuseWavetable(std::size_t length, int index, std::size_t tableCount);

} // namespace generatorShape

template <class Row> class GeneratorKernel : public SigproDSPBase {
public:
    using Module = typename Row::Module;
    static constexpr auto parameterNames = Row::parameterNames;
    static constexpr std::size_t parameterCount = parameterNames.size();
    static constexpr std::size_t tableCount = generatorShape::tableCount<Row>();
    using Tables = GeneratorTables<tableCount>;

    GeneratorKernel() : SigproDSPBase(generatorShape::inputBusCount<Row>(), true) {
        for (std::size_t address = 0; address < parameterCount; ++address)
            parameters[address] = &ramps_[address];
    }
    ~GeneratorKernel() override {
        destroyModule();
        destroyTables();
    }

    void init(int channelCount, double sampleRate) override {
        SigproDSPBase::init(channelCount, sampleRate);
        destroyModule();
        for (std::size_t slot = 0; slot < tableCount; ++slot)
            buildTable(slot);
        Row::create(&module_);
        if (module_) Row::setUp(sp, module_, tables_);
    }
    void deinit() override {
        SigproDSPBase::deinit();
        destroyModule();
        destroyTables();
    }
    // Sets the module up again (clearing its state), keeping the parameters; nothing before init or after
    // deinit.
    void reset() override {
        if (!isInitialized || !module_) return;
        if constexpr (requires { Row::reset(sp, module_, tables_); })
            Row::reset(sp, module_, tables_);
        else
            Row::setUp(sp, module_, tables_);
    }
    // Keeps a copy of the table, then resets.
    void setWavetable(const float* table, std::size_t length, int index) override {
        if constexpr (tableCount == 0) {
            return;
        } else {
            const bool indexed = tableCount > 1;
            if (!table || length == 0 || (indexed && (index < 0 || std::size_t(index) >= tableCount))) {
                generatorShape::refuseWavetable(table ? length : 0, index, tableCount);
                return;
            }
            const std::size_t slot = indexed ? std::size_t(index) : 0;
            stored_[slot].assign(table, table + length);
            if constexpr (generatorShape::tablesLive<Row>())
                if (isInitialized && module_) buildTable(slot);
            reset();
        }
    }

    void process(FrameRange range) override {
        rozezeru::AudioBufferList& output = *outputBufferList;
        float* out = output.numberBuffers > 0 ? output.floatData(0) : nullptr;
        std::array<float, (parameterCount > 0 ? parameterCount : 1)> values{};
        const std::uint32_t end = range.start + range.count;
        for (std::uint32_t frame = range.start; frame < end; ++frame) {
            for (std::size_t address = 0; address < parameterCount; ++address)
                values[address] = ramps_[address].nextValue();
            float trigger = 0.0f;
            if constexpr (generatorShape::struck<Row>()) trigger = std::exchange(triggerValue, 0.0f);
            const float sample = module_ ? Row::render(sp, *module_, values.data(), trigger) : 0.0f;
            if (out) out[frame] = sample;
        }
        cloneFirstChannel(range);
    }

    // The module, for inspection; null outside init ... deinit.
    const Module* module() const { return module_; }

protected:
    Module* module_ = nullptr;
    Tables tables_;

private:
    void buildTable(std::size_t slot) {
        sp_ftbl*& table = tables_.at[slot];
        if (table) sp_ftbl_destroy(&table);
        const std::vector<float>& samples = stored_[slot];
        // A table sp_ftbl_create refuses (it says why) stays null and the module sounds silence.
        if (!samples.empty() && sp_ftbl_create(sp, &table, samples.size()) == 1)
            std::copy(samples.begin(), samples.end(), table->table);
        countTables();
    }
    // The morphing oscillator plays the tables given from index 0 on, up to the first one missing.
    void countTables() {
        tables_.count = 0;
        while (std::size_t(tables_.count) < tableCount && tables_.at[std::size_t(tables_.count)])
            ++tables_.count;
    }
    void destroyTables() {
        for (sp_ftbl*& table : tables_.at)
            if (table) sp_ftbl_destroy(&table);
        tables_.count = 0;
    }
    void destroyModule() {
        if (module_) Row::destroy(&module_);
    }

    std::array<ParameterRamper, parameterCount> ramps_;
    std::array<std::vector<float>, (tableCount > 0 ? tableCount : 1)> stored_;
};

} // namespace sigpro
