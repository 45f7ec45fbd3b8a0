// The time-pitch unit: its parameters, its engine choice and the render call that hands each cycle to
// the kernel. Parameters are set on any thread as atomic stores; the render call runs on the render thread.

#include "platform/audio/TimePitchUnit.h"

#include "platform/audio/StretchCycle.h"
#include "platform/audio/TimePitchKernel.h"

#include <mutex>

namespace platform {

static_assert(TimePitchUnit::maximumInputFramesPerCycle == timePitchMaximumInputFramesPerCycle);

AudioComponentDescription TimePitchUnit::componentDescription() {
    return {timePitchFourCC("aufc"), timePitchFourCC("tmpt"), timePitchFourCC("appl"), 0, 0};
}

TimePitchUnit::TimePitchUnit(const AudioComponentDescription& description)
    : AudioUnit(description, 1, 1, *AudioFormat::standard(44100.0, 2)) {
    const AudioUnitParameterOptions flags =
        AudioUnitParameterFlag::isReadable | AudioUnitParameterFlag::isWritable;
    rateParameter_ = AUParameterTree::createParameter("rate", "Rate", rateAddress, minimumRate, maximumRate,
                                                      AudioUnitParameterUnit::rate, flags);
    pitchParameter_ = AUParameterTree::createParameter("pitch", "Pitch", pitchAddress, minimumPitch,
                                                       maximumPitch, AudioUnitParameterUnit::cents, flags);
    overlapParameter_ =
        AUParameterTree::createParameter("overlap", "Overlap", overlapAddress, minimumOverlap, maximumOverlap,
                                         AudioUnitParameterUnit::generic, flags);
    auto tree = AUParameterTree::createTree({rateParameter_, pitchParameter_, overlapParameter_});
    tree->setImplementorValueObserver([this](const AUParameter& parameter, AUValue value) {
        if (std::isnan(value)) return;
        switch (parameter.address()) {
        case rateAddress:
            rate_.store(std::clamp(value, minimumRate, maximumRate), std::memory_order_relaxed);
            keepSpareStretcher();
            break;
        case pitchAddress:
            pitch_.store(std::clamp(value, minimumPitch, maximumPitch), std::memory_order_relaxed);
            keepSpareStretcher();
            break;
        case overlapAddress:
            storeOverlap(std::clamp(value, minimumOverlap, maximumOverlap));
            break;
        default:
            break;
        }
    });
    tree->setImplementorValueProvider([this](const AUParameter& parameter) -> AUValue {
        switch (parameter.address()) {
        case rateAddress:
            return rate();
        case pitchAddress:
            return pitch();
        case overlapAddress:
            return overlap();
        default:
            return 0.0f;
        }
    });
    setParameterTree(tree);
}

TimePitchUnit::~TimePitchUnit() {
    deallocateRenderResources();
}

void TimePitchUnit::setRate(float rate) {
    rateParameter_->setValue(rate);
}

void TimePitchUnit::setPitch(float cents) {
    pitchParameter_->setValue(cents);
}

void TimePitchUnit::setOverlap(float overlap) {
    overlapParameter_->setValue(overlap);
}

void TimePitchUnit::setShouldBypassEffect(bool bypass) {
    AudioUnit::setShouldBypassEffect(bypass);
    keepSpareStretcher();
}

double TimePitchUnit::wantedRatio() const {
    return timePitchScale(pitch()) / double(rate());
}

double TimePitchUnit::latencySeconds() const {
    const auto timing = timing_.read();
    return timing ? timing->latencySeconds() : 0.0;
}

AUAudioFrameCount TimePitchUnit::maximumFramesToPull(std::uint32_t, AUAudioFrameCount outputFrames) const {
    return timePitchPullLimit(outputFrames);
}

TimePitchEngine TimePitchUnit::engineFor(float overlap) {
    if (overlap >= finerEngineOverlap) return TimePitchEngine::finer;
    if (overlap >= shortWindowOverlap) return TimePitchEngine::finerShortWindow;
    return TimePitchEngine::faster;
}

void TimePitchUnit::storeOverlap(float overlap) {
    overlap_.store(overlap, std::memory_order_relaxed);
    const TimePitchEngine engine = engineFor(overlap);
    std::lock_guard lock(engineMutex_);
    if (!kernel_ || engine == kernelEngine_) {
        provideSpare();
        return;
    }
    // Built here, off the render thread; the render thread takes it up once nothing of the old engine
    // plays any more, and hands the old one back through the retired slot.
    kernelEngine_ = engine;
    auto stretcher = TimePitchStretcher::make(engine, outputBus(0).format().channelCount(),
                                              kernel_->sampleRate(), wantedRatio());
    delete spareStretcher_.exchange(stretcher.release(), std::memory_order_acq_rel);
    delete retiredStretcher_.exchange(nullptr, std::memory_order_acq_rel);
    engineWanted_.store(engine, std::memory_order_release);
}

void TimePitchUnit::keepSpareStretcher() {
    std::lock_guard lock(engineMutex_);
    provideSpare();
}

void TimePitchUnit::provideSpare() {
    std::unique_ptr<TimePitchStretcher> retired(
        retiredStretcher_.exchange(nullptr, std::memory_order_acq_rel));
    // Only this side puts a stretcher into the spare slot; the render thread only takes it out.
    if (!kernel_ || spareStretcher_.load(std::memory_order_acquire)) return;
    if (retired && retired->engine == kernelEngine_)
        retired->prime(wantedRatio());
    else
        retired = TimePitchStretcher::make(kernelEngine_, outputBus(0).format().channelCount(),
                                           kernel_->sampleRate(), wantedRatio());
    spareStretcher_.store(retired.release(), std::memory_order_release);
}

Result<void> TimePitchUnit::allocateInternalRenderResources() {
    std::lock_guard lock(engineMutex_);
    const AudioFormat& format = outputBus(0).format();
    const TimePitchEngine engine = this->engine();
    auto kernel =
        std::make_unique<TimePitchKernel>(format.channelCount(), format.sampleRate(), maximumFramesToRender(),
                                          maximumFramesToPull(0, maximumFramesToRender()));
    if (!kernel->valid())
        return Error::make("TimePitchUnit", "The resampler of the pitch stage could not be made");
    (void)kernel->swapStretcher(
        TimePitchStretcher::make(engine, format.channelCount(), format.sampleRate(), wantedRatio()));
    kernel->restart();
    kernel_ = std::move(kernel);
    kernelEngine_ = engine;
    engineWanted_.store(engine, std::memory_order_release);
    timing_.clear();
    stretchedFrames_.store(0, std::memory_order_relaxed);
    return Result<void>();
}

void TimePitchUnit::deallocateInternalRenderResources() {
    std::lock_guard lock(engineMutex_);
    kernel_.reset();
    delete spareStretcher_.exchange(nullptr, std::memory_order_acq_rel);
    delete retiredStretcher_.exchange(nullptr, std::memory_order_acq_rel);
    timing_.clear();
}

void TimePitchUnit::resetInternalRenderState() {
    std::lock_guard lock(engineMutex_);
    if (kernel_) {
        // The render thread is shut out: a waiting stretcher of the other engine is taken up now, and
        // a used one is primed here, so that the next start has only the new input to take in.
        TimePitchStretcher* spare = spareStretcher_.load(std::memory_order_acquire);
        if (spare && spare->engine != kernel_->stretcher().engine) {
            spareStretcher_.store(nullptr, std::memory_order_release);
            (void)kernel_->swapStretcher(std::unique_ptr<TimePitchStretcher>(spare));
        }
        if (!kernel_->stretcher().fresh) kernel_->primeStretcher(wantedRatio());
        kernel_->restart();
    }
    // No spare is made here, with the render thread shut out: a restart needs none.
    timing_.clear();
}

RenderStatus TimePitchUnit::internalRender(const AudioTime& timestamp, AUAudioFrameCount frames,
                                           std::uint32_t, AudioBufferList& output,
                                           const AURenderEvent* events, const AudioUnitPullInput& input) {
    TimePitchKernel& kernel = *kernel_;
    // Events apply at the start of the cycle: the stretcher takes one ratio per cycle anyway. The overlap
    // chooses the engine, which is built off the render thread: it is set through the tree or setOverlap.
    for (const AURenderEvent* event = events; event; event = event->next) {
        if (event->eventType == AURenderEventType::midi) continue;
        const AUValue value = event->parameter.value;
        if (std::isnan(value)) continue;
        if (event->parameter.parameterAddress == rateAddress)
            rate_.store(std::clamp(value, minimumRate, maximumRate), std::memory_order_relaxed);
        else if (event->parameter.parameterAddress == pitchAddress)
            pitch_.store(std::clamp(value, minimumPitch, maximumPitch), std::memory_order_relaxed);
    }

    StretchTiming timing = stretchTimingAtCycleStart(timestamp, kernel);
    if (shouldBypassEffect()) {
        bypassed_ = true;
        return renderStretchBypassed(kernel, timing, timing_, frames, output, input);
    }
    if (bypassed_) {
        bypassed_ = false;
        kernel.restart();
    }

    // A primed stretcher from the configuring side: one of the engine wanted replaces one of the other
    // as soon as that plays no more; it replaces a used one while the unit passes its input through,
    // so that the next start has it ready. The old one goes back through the retired slot. (Only a
    // stretcher taken out of the spare slot is looked at: the configuring side may replace the spare.)
    const bool otherEngine = engineWanted_.load(std::memory_order_acquire) != kernel.stretcher().engine;
    if (otherEngine) kernel.leaveStretcher();
    if ((otherEngine || !kernel.stretcher().fresh) && kernel.stretcherUnused() &&
        spareStretcher_.load(std::memory_order_acquire) && !retiredStretcher_.load(std::memory_order_acquire))
        if (TimePitchStretcher* incoming = spareStretcher_.exchange(nullptr, std::memory_order_acq_rel))
            retiredStretcher_.store(
                kernel.swapStretcher(std::unique_ptr<TimePitchStretcher>(incoming)).release(),
                std::memory_order_release);

    timing.heardInputFrame = kernel.heardInputFrame();
    std::uint64_t underruns = 0;
    const RenderStatus status = kernel.render(frames, output, input, rate(), pitch(), underruns);
    if (underruns) underruns_.fetch_add(underruns, std::memory_order_relaxed);
    stretchedFrames_.store(kernel.stretchedFrames(), std::memory_order_relaxed);
    timing_.publish(timing);
    return status;
}

} // namespace platform
