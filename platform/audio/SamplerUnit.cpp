#include "platform/audio/SamplerUnit.h"

#include "platform/audio/SoundBankCheck.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

constexpr std::uint32_t samplerFourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

Error samplerError(int status, std::string message) {
    return Error::make("AudioUnit", std::move(message), status);
}

// FluidSynth prints its own diagnostics; ours are the errors we return, and nothing may print from the
// render thread.
void silenceFluidSynth() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

int fluidBank(const SamplerSoundBank& bank) {
    if (bank.bankMSB == 121) return bank.bankLSB;
    if (bank.bankMSB == 120) return 128;
    return bank.bankMSB;
}

float samplerBalance(float pan, bool left) {
    return left ? std::min(1.0f, 1.0f - pan) : std::min(1.0f, 1.0f + pan);
}

// One LFO value in -1 … 1 at `phase` (0 … 1) of its cycle.
double samplerLFOValue(int waveform, double phase) {
    switch (waveform) {
    case 1:
        return std::sin(2.0 * M_PI * phase);
    case 2:
        return phase < 0.5 ? 1.0 : -1.0;
    case 3:
        return 2.0 * phase - 1.0;
    case 4:
        return 1.0 - 2.0 * phase;
    default:
        return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
    }
}

// Low-pass biquad coefficients (b0 b1 b2 a1 a2) for a cutoff and a resonance peak in decibels.
std::array<float, 5> samplerLowPass(const SamplerFilter& filter, double rate) {
    const double cutoff = std::clamp(filter.cutoffHz, 10.0, 0.45 * rate);
    const double q =
        std::sqrt(0.5) * std::pow(10.0, std::clamp(filter.resonanceDecibels, -20.0, 30.0) / 20.0);
    const double w = 2.0 * M_PI * cutoff / rate, alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
    const double a0 = 1.0 + alpha;
    return {float((1.0 - c) / 2.0 / a0), float((1.0 - c) / a0), float((1.0 - c) / 2.0 / a0),
            float(-2.0 * c / a0), float((1.0 - alpha) / a0)};
}

// Frames rendered between two updates of a voice's LFOs.
constexpr std::uint32_t samplerControlFrames = 32;

} // namespace

struct SamplerUnit::Synth {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    SamplerSoundBank bank;
    double rate = 0.0;

    ~Synth() {
        if (synth) delete_fluid_synth(synth);
        if (settings) delete_fluid_settings(settings);
    }

    static Result<std::unique_ptr<Synth>> make(const SamplerSoundBank& bank, double rate) {
        silenceFluidSynth();
        auto made = std::make_unique<Synth>();
        made->bank = bank;
        made->rate = rate;
        made->settings = new_fluid_settings();
        if (!made->settings) return samplerError(invalidFileError, "FluidSynth has no settings");
        // Every call reaches the synth from the render thread or while it is shut out: no locks.
        fluid_settings_setint(made->settings, "synth.threadsafe-api", 0);
        fluid_settings_setnum(made->settings, "synth.sample-rate", rate);
        fluid_settings_setint(made->settings, "synth.reverb.active", 0);
        fluid_settings_setint(made->settings, "synth.chorus.active", 0);
        fluid_settings_setint(made->settings, "synth.polyphony", int(maximumVoices) * 4);
        fluid_settings_setnum(made->settings, "synth.gain", soundBankGain);
        // Before FluidSynth reads a byte: it trusts a bank's sample headers, and a lying one crashes the
        // render thread at the first note.
        if (auto checked = checkSoundBankFile(bank.path); !checked) return checked.error();
        made->synth = new_fluid_synth(made->settings);
        if (!made->synth) return samplerError(invalidFileError, "FluidSynth could not start");
        const int id = fluid_synth_sfload(made->synth, bank.path.c_str(), 0);
        if (id == FLUID_FAILED)
            return samplerError(invalidFileError, "Not a sound bank the sampler can read: " + bank.path);
        fluid_sfont_t* font = fluid_synth_get_sfont_by_id(made->synth, id);
        if (!font || !fluid_sfont_get_preset(font, fluidBank(bank), bank.program))
            return samplerError(invalidFileError, "The sound bank " + bank.path + " has no program " +
                                                      std::to_string(bank.program) + " in bank " +
                                                      std::to_string(bank.bankMSB) + "/" +
                                                      std::to_string(bank.bankLSB));
        for (int channel = 0; channel < 16; ++channel)
            fluid_synth_program_select(made->synth, channel, id, fluidBank(bank), bank.program);
        return made;
    }
};

AudioComponentDescription SamplerUnit::componentDescription() {
    return {samplerFourCC("aumu"), samplerFourCC("samp"), samplerFourCC("appl"), 0, 0};
}

SamplerUnit::SamplerUnit(const AudioComponentDescription& description)
    : AudioUnit(description, 0, 1, *AudioFormat::standard(44100.0, 2)),
      instrument_(std::make_unique<SamplerInstrument>()) {}

SamplerUnit::~SamplerUnit() {
    deallocateRenderResources();
}

void SamplerUnit::loadInstrument(SamplerInstrument instrument) {
    instrument.releaseSeconds = std::max(instrument.releaseSeconds, 0.005);
    instrument.attackSeconds = std::max(instrument.attackSeconds, 0.0);
    pendingInstrument_ = std::make_unique<SamplerInstrument>(std::move(instrument));
    pendingSynth_.reset();
    replacePending_ = true;
    reset();
}

Result<void> SamplerUnit::loadSoundBank(const SamplerSoundBank& bank) {
    if (bank.program < 0 || bank.program > 127 || bank.bankMSB < 0 || bank.bankMSB > 127 ||
        bank.bankLSB < 0 || bank.bankLSB > 127)
        return samplerError(AudioUnitErr::invalidPropertyValue, "Program and bank bytes lie in 0 … 127");
    auto synth = Synth::make(bank, outputBus(0).format().sampleRate());
    if (!synth) return synth.error();
    pendingSynth_ = std::move(synth.value());
    pendingInstrument_ = std::make_unique<SamplerInstrument>();
    replacePending_ = true;
    reset();
    return Result<void>();
}

bool SamplerUnit::sendMIDI(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                           std::uint16_t length) {
    const std::uint8_t bytes[3] = {status, std::uint8_t(data1 & 0x7F), std::uint8_t(data2 & 0x7F)};
    return scheduleMIDIEvent(AUEventSampleTimeImmediate, 0, std::span(bytes, length));
}

bool SamplerUnit::startNote(std::uint8_t note, std::uint8_t velocity, std::uint8_t channel) {
    return sendMIDI(std::uint8_t(0x90 | (channel & 0x0F)), note, velocity);
}

bool SamplerUnit::stopNote(std::uint8_t note, std::uint8_t channel) {
    return sendMIDI(std::uint8_t(0x80 | (channel & 0x0F)), note, 0);
}

bool SamplerUnit::sendPitchBend(std::uint16_t amount, std::uint8_t channel) {
    return sendMIDI(std::uint8_t(0xE0 | (channel & 0x0F)), std::uint8_t(amount & 0x7F),
                    std::uint8_t((amount >> 7) & 0x7F));
}

bool SamplerUnit::sendController(std::uint8_t controller, std::uint8_t value, std::uint8_t channel) {
    return sendMIDI(std::uint8_t(0xB0 | (channel & 0x0F)), controller, value);
}

bool SamplerUnit::sendProgramChange(std::uint8_t program, std::uint8_t channel) {
    return sendMIDI(std::uint8_t(0xC0 | (channel & 0x0F)), program, 0, 2);
}

Result<AUValue> SamplerUnit::getScopedParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                                AudioUnitElement element) const {
    if (scope == AudioUnitScope::global && element == 0) {
        if (id == masterGainParameter) return masterGain();
        if (id == stereoPanParameter) return stereoPan();
        if (id == globalTuningParameter) return globalTuning();
    }
    return AudioUnit::getScopedParameter(id, scope, element);
}

Result<void> SamplerUnit::setScopedParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                             AudioUnitElement element, AUValue value) {
    if (scope == AudioUnitScope::global && element == 0) {
        if (id == masterGainParameter) return setMasterGain(value), Result<void>();
        if (id == stereoPanParameter) return setStereoPan(value), Result<void>();
        if (id == globalTuningParameter) return setGlobalTuning(value), Result<void>();
    }
    return AudioUnit::setScopedParameter(id, scope, element, value);
}

Result<void> SamplerUnit::allocateInternalRenderResources() {
    outputRate_ = outputBus(0).format().sampleRate();
    if (synth_ && synth_->rate != outputRate_) {
        auto synth = Synth::make(synth_->bank, outputRate_);
        if (!synth) return synth.error();
        synth_ = std::move(synth.value());
    }
    monoScratch_.assign(maximumFramesToRender(), 0.0f);
    clearVoices();
    return Result<void>();
}

void SamplerUnit::resetInternalRenderState() {
    if (replacePending_) {
        instrument_ = std::move(pendingInstrument_);
        synth_ = std::move(pendingSynth_);
        replacePending_ = false;
        appliedSynthTuning_ = 0.0f;
    }
    clearVoices();
}

void SamplerUnit::clearVoices() {
    for (auto& voice : voices_)
        voice = Voice{};
    channels_.fill(Channel{});
    if (synth_) fluid_synth_all_sounds_off(synth_->synth, -1);
    activeVoices_.store(0, std::memory_order_relaxed);
}

void SamplerUnit::silenceAll() {
    for (auto& voice : voices_)
        voice.active = false;
}

void SamplerUnit::noteOn(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity) {
    for (const SamplerZone& zone : instrument_->zones) {
        if (key < zone.minKey || key > zone.maxKey || velocity < zone.minVelocity ||
            velocity > zone.maxVelocity || !zone.sample || zone.sample->channels.empty() ||
            zone.sample->channels[0].empty())
            continue;
        // A free voice, else the oldest one.
        Voice* voice = &voices_[0];
        for (auto& candidate : voices_) {
            if (!candidate.active) {
                voice = &candidate;
                break;
            }
            if (candidate.age < voice->age) voice = &candidate;
        }
        const double semitones = key - zone.rootKey + zone.detuneCents / 100.0;
        *voice = Voice{};
        voice->zone = &zone;
        voice->active = voice->held = true;
        voice->key = key;
        voice->channel = channel;
        voice->baseStep = zone.sample->sampleRate / outputRate_ * std::exp2(semitones / 12.0);
        const float v = velocity / 127.0f;
        voice->velocityGain = v * v;
        voice->level = instrument_->attackSeconds > 0.0 ? 0.0f : 1.0f;
        voice->age = ++noteCount_;
        if (zone.filter.enabled) voice->filter = samplerLowPass(zone.filter, outputRate_);
    }
}

void SamplerUnit::noteOff(std::uint8_t channel, std::uint8_t key) {
    for (auto& voice : voices_) {
        if (!voice.active || !voice.held || voice.key != key || voice.channel != channel) continue;
        voice.held = false;
        if (channels_[channel].sustain)
            voice.sustained = true;
        else
            voice.releasing = true;
    }
}

void SamplerUnit::applyMIDI(const AUMIDIEvent& midi) {
    if (midi.length < 1) return;
    const std::uint8_t status = midi.data[0] & 0xF0, channel = midi.data[0] & 0x0F;
    const std::uint8_t data1 = midi.data[1] & 0x7F, data2 = midi.data[2] & 0x7F;
    if (status < 0x80 || status == 0xF0) return;
    if (synth_) {
        fluid_synth_t* s = synth_->synth;
        switch (status) {
        case 0x80:
            fluid_synth_noteoff(s, channel, data1);
            break;
        case 0x90:
            data2 ? fluid_synth_noteon(s, channel, data1, data2) : fluid_synth_noteoff(s, channel, data1);
            break;
        case 0xA0:
            fluid_synth_key_pressure(s, channel, data1, data2);
            break;
        case 0xB0:
            fluid_synth_cc(s, channel, data1, data2);
            break;
        case 0xC0:
            fluid_synth_program_change(s, channel, data1);
            break;
        case 0xD0:
            fluid_synth_channel_pressure(s, channel, data1);
            break;
        case 0xE0:
            fluid_synth_pitch_bend(s, channel, data1 | data2 << 7);
            break;
        default:
            break;
        }
        return;
    }
    Channel& state = channels_[channel];
    switch (status) {
    case 0x80:
        noteOff(channel, data1);
        break;
    case 0x90:
        data2 ? noteOn(channel, data1, data2) : noteOff(channel, data1);
        break;
    case 0xE0:
        state.bendSemitones = float((data1 | data2 << 7) - 8192) / 8192.0f * 2.0f;
        break;
    case 0xB0:
        state.controllers[data1] = data2;
        switch (data1) {
        case 7:
            state.volume = data2 / 127.0f;
            break;
        case 10:
            state.pan = std::clamp((data2 - 64) / 63.0f, -1.0f, 1.0f);
            break;
        case 11:
            state.expression = data2 / 127.0f;
            break;
        case 64:
            state.sustain = data2 >= 64;
            if (!state.sustain)
                for (auto& voice : voices_)
                    if (voice.active && voice.channel == channel && voice.sustained) {
                        voice.sustained = false;
                        voice.releasing = true;
                    }
            break;
        case 120:
            for (auto& voice : voices_)
                if (voice.channel == channel) voice.active = false;
            break;
        case 121:
            state = Channel{.volume = state.volume, .pan = state.pan};
            break;
        case 123:
            for (auto& voice : voices_)
                if (voice.active && voice.channel == channel) {
                    voice.held = voice.sustained = false;
                    voice.releasing = true;
                }
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
}

void SamplerUnit::renderZones(float* left, float* right, AUAudioFrameCount frames) {
    const float unitPan = std::clamp(pan_.load(std::memory_order_relaxed) / 100.0f, -1.0f, 1.0f);
    const double tuning = tuning_.load(std::memory_order_relaxed) / 100.0;
    const float attackStep =
        instrument_->attackSeconds > 0.0 ? float(1.0 / (instrument_->attackSeconds * outputRate_)) : 1.0f;
    const float releaseStep = float(1.0 / (instrument_->releaseSeconds * outputRate_));
    for (auto& voice : voices_) {
        if (!voice.active) continue;
        const SamplerZone& zone = *voice.zone;
        const auto& sampleChannels = zone.sample->channels;
        const float* first = sampleChannels[0].data();
        const float* second = sampleChannels.size() > 1 ? sampleChannels[1].data() : first;
        const auto length = std::int64_t(sampleChannels[0].size());
        const bool loops = zone.loopEnabled && zone.loopStart >= 0 && zone.loopEnd > zone.loopStart &&
                           zone.loopEnd <= length;
        const Channel& channel = channels_[voice.channel];
        const double baseStep = voice.baseStep * std::exp2((channel.bendSemitones + tuning) / 12.0);
        const float pan = std::clamp(channel.pan + unitPan, -1.0f, 1.0f);
        const float gain =
            voice.velocityGain * channel.volume * channel.volume * channel.expression * channel.expression;
        const float gainLeft = gain * samplerBalance(pan, true),
                    gainRight = gain * samplerBalance(pan, false);
        const std::size_t lfoCount = std::min(zone.lfos.size(), SamplerZone::maximumLFOs);
        const std::size_t modulationCount =
            std::min(zone.modulations.size(), SamplerZone::maximumModulations);
        const bool filtered = zone.filter.enabled;
        const auto& k = voice.filter;
        double step = baseStep;
        float lfoGain = 1.0f;
        for (AUAudioFrameCount i = 0; i < frames; ++i) {
            if (lfoCount > 0 && i % samplerControlFrames == 0) {
                double cents = 0.0, decibels = 0.0;
                for (std::size_t m = 0; m < modulationCount; ++m) {
                    const SamplerModulation& modulation = zone.modulations[m];
                    if (modulation.lfo >= lfoCount) continue;
                    const SamplerLFO& lfo = zone.lfos[modulation.lfo];
                    if (voice.seconds < lfo.delaySeconds) continue;
                    const double value = samplerLFOValue(lfo.waveform, voice.lfoPhase[modulation.lfo]);
                    double amount =
                        modulation.minimum + (value + 1.0) / 2.0 * (modulation.maximum - modulation.minimum);
                    if (modulation.controller >= 0 && modulation.controller < 128)
                        amount *= channel.controllers[std::size_t(modulation.controller)] / 127.0;
                    (modulation.destination == SamplerModulation::Destination::pitch ? cents : decibels) +=
                        amount;
                }
                step = baseStep * std::exp2(cents / 1200.0);
                lfoGain = float(std::pow(10.0, std::min(decibels, 40.0) / 20.0));
                const double elapsed = double(std::min(samplerControlFrames, frames - i)) / outputRate_;
                for (std::size_t l = 0; l < lfoCount; ++l) {
                    if (voice.seconds < zone.lfos[l].delaySeconds) continue;
                    const double phase = voice.lfoPhase[l] + zone.lfos[l].rateHz * elapsed;
                    voice.lfoPhase[l] = std::isfinite(phase) ? phase - std::floor(phase) : 0.0;
                }
                voice.seconds += elapsed;
            }
            if (voice.releasing) {
                voice.level -= releaseStep;
                if (voice.level <= 0.0f) {
                    voice.active = false;
                    break;
                }
            } else if (voice.level < 1.0f) {
                voice.level = std::min(1.0f, voice.level + attackStep);
            }
            auto index = std::int64_t(voice.position);
            if (loops) {
                // However far one step jumps (a high rate, a high key), wrapping costs the same.
                if (index >= zone.loopEnd) {
                    const double span = double(zone.loopEnd - zone.loopStart);
                    voice.position =
                        double(zone.loopStart) + std::fmod(voice.position - double(zone.loopStart), span);
                    index = std::min(std::int64_t(voice.position), zone.loopEnd - 1);
                }
            } else if (index + 1 >= length) {
                voice.active = false;
                break;
            }
            const std::int64_t next = loops && index + 1 >= zone.loopEnd ? zone.loopStart : index + 1;
            const float frac = float(voice.position - double(index));
            float a = first[index] + frac * (first[next] - first[index]);
            float b = second[index] + frac * (second[next] - second[index]);
            if (filtered) {
                auto& z = voice.filterState;
                const float ya = k[0] * a + z[0];
                z[0] = k[1] * a - k[3] * ya + z[1];
                z[1] = k[2] * a - k[4] * ya;
                const float yb = k[0] * b + z[2];
                z[2] = k[1] * b - k[3] * yb + z[3];
                z[3] = k[2] * b - k[4] * yb;
                a = ya, b = yb;
            }
            const float level = voice.level * lfoGain;
            if (right) {
                left[i] += level * gainLeft * a;
                right[i] += level * gainRight * b;
            } else {
                left[i] += level * 0.5f * (gainLeft * a + gainRight * b);
            }
            voice.position += step;
        }
    }
}

void SamplerUnit::renderSynth(float* left, float* right, AUAudioFrameCount frames) {
    const float tuning = tuning_.load(std::memory_order_relaxed);
    if (tuning != appliedSynthTuning_) {
        for (int channel = 0; channel < 16; ++channel)
            fluid_synth_set_gen(synth_->synth, channel, GEN_FINETUNE, tuning);
        appliedSynthTuning_ = tuning;
    }
    const float unitPan = std::clamp(pan_.load(std::memory_order_relaxed) / 100.0f, -1.0f, 1.0f);
    fluid_synth_write_float(synth_->synth, int(frames), left, 0, 1, right, 0, 1);
    const float gainLeft = samplerBalance(unitPan, true), gainRight = samplerBalance(unitPan, false);
    for (AUAudioFrameCount i = 0; i < frames; ++i) {
        left[i] *= gainLeft;
        right[i] *= gainRight;
    }
}

RenderStatus SamplerUnit::internalRender(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t,
                                         AudioBufferList& output, const AURenderEvent* events,
                                         const AudioUnitPullInput&) {
    for (std::uint32_t b = 0; b < output.numberBuffers; ++b) {
        output.buffers[b].dataByteSize = frames * sizeof(float);
        std::memset(output.floatData(b), 0, frames * sizeof(float));
    }
    if (output.numberBuffers == 0) return RenderStatus::success;
    float* left = output.floatData(0);
    float* right = output.numberBuffers > 1 ? output.floatData(1) : nullptr;
    AUAudioFrameCount done = 0;
    auto renderUpTo = [&](AUAudioFrameCount end) {
        if (end <= done) return;
        const AUAudioFrameCount n = end - done;
        if (synth_) {
            if (right) {
                renderSynth(left + done, right + done, n);
            } else {
                float* other = monoScratch_.data();
                renderSynth(left + done, other, n);
                for (AUAudioFrameCount i = 0; i < n; ++i)
                    left[done + i] = 0.5f * (left[done + i] + other[i]);
            }
        } else {
            renderZones(left + done, right ? right + done : nullptr, n);
        }
        done = end;
    };
    for (const AURenderEvent* event = events; event; event = event->next) {
        if (event->eventType != AURenderEventType::midi) continue;
        const std::int64_t at = std::clamp<std::int64_t>(event->eventSampleTime - timestamp.sampleTime(), 0,
                                                         std::int64_t(frames));
        renderUpTo(AUAudioFrameCount(at));
        applyMIDI(event->midi);
    }
    renderUpTo(frames);
    const float gain = std::pow(10.0f, gain_.load(std::memory_order_relaxed) / 20.0f);
    for (std::uint32_t b = 0; b < output.numberBuffers && b < 2; ++b) {
        float* to = output.floatData(b);
        for (AUAudioFrameCount i = 0; i < frames; ++i)
            to[i] *= gain;
    }
    std::uint32_t active = 0;
    if (synth_)
        active = std::uint32_t(fluid_synth_get_active_voice_count(synth_->synth));
    else
        for (const auto& voice : voices_)
            active += voice.active;
    activeVoices_.store(active, std::memory_order_relaxed);
    return RenderStatus::success;
}

} // namespace platform
