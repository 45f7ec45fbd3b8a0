#pragma once
// The platform's sampler instrument (in place of its 'aumu' 'samp' 'appl' unit): a source unit that
// plays MIDI notes from an instrument of zones, each a sample with its root key, key and velocity
// ranges, loop, and its layer's low-pass filter and LFOs on pitch and gain, or from one program of a
// SoundFont or DLS bank through FluidSynth (one synth per unit, rendered inside the unit's render call).
// Every zone whose ranges hold a note sounds, so zones that share keys layer. Per channel it follows pitch
// bend (±2 semitones), volume (7), pan (10), expression (11), the sustain pedal (64), all sound off (120),
// reset controllers (121) and all notes off (123); over everything a master gain in decibels, a stereo pan
// from -100 to 100 and a global tuning in cents.
//
// Threads. MIDI reaches the unit through its event queue (scheduleMIDIEvent) and is read at the start
// of each render call; gain, pan and tuning are atomics any thread may set. Loading an instrument is
// for the configuring thread: the new instrument is built there and swapped in while the render thread
// is shut out, which also silences every voice. Render thread: no lock, no allocation.

#include "platform/audio/AudioUnit.h"
#include "platform/audio/SoundBankCheck.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The samples of one zone, one vector per channel (one or two), at their own rate.
struct SamplerSample {
    std::vector<std::vector<float>> channels;
    double sampleRate = 44100.0;
};

// A layer's low-pass filter over each of its voices: cutoff in hertz, resonance in decibels at the
// cutoff.
struct SamplerFilter {
    bool enabled = false;
    double cutoffHz = 20000.0;
    double resonanceDecibels = 0.0;
};

// A layer's LFO: a cycle of `rateHz` starting `delaySeconds` after each note. Waveforms: 0 triangle,
// 1 sine, 2 square, 3 rising saw, 4 falling saw (others: triangle).
struct SamplerLFO {
    int waveform = 0;
    double delaySeconds = 0.0, rateHz = 3.0;
};

// A connection from an LFO to the pitch (in cents) or the gain (in decibels) of a layer's voices: over
// the LFO's cycle the destination moves between `minimum` and `maximum`, times a controller's value /
// 127 when `controller` is one (0 … 127).
struct SamplerModulation {
    enum class Destination { pitch, gain };
    std::size_t lfo = 0;
    Destination destination = Destination::pitch;
    double minimum = 0.0, maximum = 0.0;
    int controller = -1;
};

struct SamplerZone {
    static constexpr std::size_t maximumLFOs = 4, maximumModulations = 8;

    std::shared_ptr<const SamplerSample> sample;
    int rootKey = 60;
    int minKey = 0, maxKey = 127;
    int minVelocity = 1, maxVelocity = 127;
    double detuneCents = 0.0;
    bool loopEnabled = false;
    // Frames [loopStart, loopEnd) repeat while the note is held and through its release.
    std::int64_t loopStart = 0, loopEnd = 0;
    // What the zone's layer puts over its voices; beyond the maxima, LFOs and connections are ignored.
    SamplerFilter filter;
    std::vector<SamplerLFO> lfos;
    std::vector<SamplerModulation> modulations;
};

struct SamplerInstrument {
    std::vector<SamplerZone> zones;
    double attackSeconds = 0.0;
    // Never shorter than 5 ms, so a note-off does not click.
    double releaseSeconds = 0.005;
};

// A program of a SoundFont bank. `bankMSB` 121 picks the melodic bank `bankLSB`, 120 the percussion
// bank; other values name the bank directly.
struct SamplerSoundBank {
    std::string path;
    int program = 0;
    int bankMSB = 121;
    int bankLSB = 0;
};

class SamplerUnit final : public AudioUnit {
public:
    // The unit's refusal of a file it cannot read (kAudioUnitErr_InvalidFile).
    static constexpr int invalidFileError = samplerInvalidFileError;
    static constexpr std::size_t maximumVoices = 64;
    // The synthesizer's own default level: headroom for a dense General MIDI arrangement, about 14 dB
    // below its full gain of 1.
    static constexpr double soundBankGain = 0.2;
    // Global-scope parameters.
    static constexpr AudioUnitParameterID masterGainParameter = 900;   // dB
    static constexpr AudioUnitParameterID stereoPanParameter = 901;    // -100 … 100
    static constexpr AudioUnitParameterID globalTuningParameter = 902; // cents

    // 'aumu' 'samp' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit SamplerUnit(const AudioComponentDescription& description = componentDescription());
    ~SamplerUnit() override;

    // Replaces what the unit plays. Configuring thread.
    void loadInstrument(SamplerInstrument instrument);
    // Fails, keeping the current instrument, when the file is not a regular file, a sample header of a
    // SoundFont does not hold (checkSoundBankFile), FluidSynth cannot read the file or it has no such
    // program (error code invalidFileError).
    Result<void> loadSoundBank(const SamplerSoundBank& bank);

    float masterGain() const { return gain_.load(std::memory_order_relaxed); }
    void setMasterGain(float decibels) { gain_.store(decibels, std::memory_order_relaxed); }
    float stereoPan() const { return pan_.load(std::memory_order_relaxed); }
    void setStereoPan(float pan) { pan_.store(pan, std::memory_order_relaxed); }
    float globalTuning() const { return tuning_.load(std::memory_order_relaxed); }
    void setGlobalTuning(float cents) { tuning_.store(cents, std::memory_order_relaxed); }

    // Voices sounding after the last render call. Any thread.
    std::uint32_t activeVoiceCount() const { return activeVoices_.load(std::memory_order_relaxed); }

    // Starts or stops a note at the next render cycle, through the event queue.
    bool startNote(std::uint8_t note, std::uint8_t velocity, std::uint8_t channel);
    bool stopNote(std::uint8_t note, std::uint8_t channel);
    bool sendPitchBend(std::uint16_t amount, std::uint8_t channel);
    bool sendController(std::uint8_t controller, std::uint8_t value, std::uint8_t channel);
    bool sendProgramChange(std::uint8_t program, std::uint8_t channel);

    bool acceptsMIDIEvents() const override { return true; }
    std::vector<int> channelCapabilities() const override { return {0, 1, 0, 2}; }

protected:
    Result<AUValue> getScopedParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                       AudioUnitElement element) const override;
    Result<void> setScopedParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                    AUValue value) override;
    Result<void> allocateInternalRenderResources() override;
    void resetInternalRenderState() override;
    RenderStatus internalRender(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t outputBus,
                                AudioBufferList& output, const AURenderEvent* events,
                                const AudioUnitPullInput& input) override;

private:
    struct Synth;
    struct Voice {
        const SamplerZone* zone = nullptr;
        bool active = false, held = false, sustained = false, releasing = false;
        std::uint8_t key = 0, channel = 0;
        double position = 0.0, baseStep = 0.0;
        float velocityGain = 0.0f, level = 0.0f;
        std::uint64_t age = 0;
        // The layer's filter (coefficients b0 b1 b2 a1 a2, state per side) and LFOs.
        std::array<float, 5> filter{};
        std::array<float, 4> filterState{};
        std::array<double, SamplerZone::maximumLFOs> lfoPhase{};
        double seconds = 0.0;
    };
    struct Channel {
        float bendSemitones = 0.0f;
        float volume = 100.0f / 127.0f, expression = 1.0f, pan = 0.0f;
        std::array<std::uint8_t, 128> controllers{};
        bool sustain = false;
    };

    bool sendMIDI(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, std::uint16_t length = 3);
    void applyMIDI(const AUMIDIEvent& midi);
    void noteOn(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity);
    void noteOff(std::uint8_t channel, std::uint8_t key);
    void silenceAll();
    void renderZones(float* left, float* right, AUAudioFrameCount frames);
    void renderSynth(float* left, float* right, AUAudioFrameCount frames);
    void clearVoices();

    std::atomic<float> gain_{0.0f}, pan_{0.0f}, tuning_{0.0f};
    std::atomic<std::uint32_t> activeVoices_{0};

    // Swapped in while the render thread is shut out.
    std::unique_ptr<SamplerInstrument> instrument_, pendingInstrument_;
    std::unique_ptr<Synth> synth_, pendingSynth_;
    bool replacePending_ = false;

    // Render thread.
    std::array<Voice, maximumVoices> voices_{};
    std::array<Channel, 16> channels_{};
    std::uint64_t noteCount_ = 0;
    float appliedSynthTuning_ = 0.0f;
    double outputRate_ = 44100.0;
    std::vector<float> monoScratch_; // the synth's second channel when the output is mono
};

} // namespace platform
