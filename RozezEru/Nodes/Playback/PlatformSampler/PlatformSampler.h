#pragma once
// The platform's sampler instrument as a source node: notes, pitch bend and controllers go to the unit's
// MIDI event queue; its sounds come from sampler presets, audio files (with their instrument chunks) and
// SoundFont banks. EXS instruments are refused with the unit's invalid-file error: their format is
// unpublished. Amplitude (dB) and volume (0 … 1) both drive the unit's master gain, the last one set
// deciding; pan -1 … 1 and tuning in semitones drive the unit's stereo pan and global tuning. Main
// thread; the notes may be played from any thread but the render thread.

#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Nodes/Playback/PlatformSampler/Bundle.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class AudioFile;
class AudioUnitNode;
class SamplerUnit;
} // namespace platform

namespace rozezeru {

class PlatformSampler : public Node {
public:
    // Made through the component registry ('aumu' 'samp' 'appl'); its absence stops the program.
    PlatformSampler();
    ~PlatformSampler() override;

    // The error of every loader that cannot find its file (the platform URL domain, code 256).
    static platform::Error missingFileError();

    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;

    // The unit made at construction; not changed by setSamplerUnit.
    platform::AudioUnit* internalAU() const { return internalAU_; }
    const std::shared_ptr<platform::AudioUnitNode>& samplerUnit() const { return samplerUnit_; }
    // `unit` must host a SamplerUnit.
    void setSamplerUnit(std::shared_ptr<platform::AudioUnitNode> unit);

    float amplitude() const { return amplitude_; }
    void setAmplitude(float decibels);
    float volume() const { return volume_; }
    void setVolume(float volume);
    float pan() const { return pan_; }
    void setPan(float pan);
    float tuning() const;
    void setTuning(float semitones);

    // The audio files last loaded: they change only when the unit took the new ones.
    const std::vector<std::shared_ptr<platform::AudioFile>>& audioFiles() const { return audioFiles_; }
    // Logs "Could not load audio files" and returns false when the unit refuses them.
    bool setAudioFiles(std::vector<std::shared_ptr<platform::AudioFile>> files);
    platform::Result<void> loadAudioFile(std::shared_ptr<platform::AudioFile> file);
    platform::Result<void> loadAudioFiles(std::vector<std::shared_ptr<platform::AudioFile>> files);

    platform::Result<void> loadInstrument(const platform::Url& url);
    platform::Result<void> loadInstrumentFile(const platform::Url& url) { return loadInstrument(url); }
    platform::Result<void> loadInstrument(const std::string& name, const std::string& type,
                                          const Bundle& bundle);
    platform::Result<void> loadInstrumentAtPath(const std::string& path);
    platform::Result<void> loadAUPresetFile(const std::string& name);
    platform::Result<void> loadEXSFile(const std::string& name);
    platform::Result<void> loadWav(const std::string& name, const Bundle& bundle);

    // An absolute name with its extension when that file exists, else the bundle's resource.
    static std::optional<std::string> findFileURL(const std::string& name, const std::string& extension,
                                                  const Bundle& bundle);

    virtual void play(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel);
    virtual void stop(std::uint8_t noteNumber, std::uint8_t channel);
    void pitchBend(std::uint16_t amount, std::uint8_t channel);
    void resetSampler();

    // SoundFont and DLS banks: the file "<name>.sf2", else "<name>.dls". `type` is the bank's most
    // significant byte (121 melodic, 120 percussion); `bank` 0 … 127 a melodic bank, above that the
    // percussion bank (bank modulo 128). Presets and types outside 0 … 255 and negative banks are
    // refused before the unit is asked.
    platform::Result<void> loadSoundFont(const std::string& name, int preset, int type, const Bundle& bundle);
    platform::Result<void> loadSoundFontBank(const std::string& name, int preset, int bank,
                                             const Bundle& bundle);
    platform::Result<void> loadSoundFont(const platform::Url& url, int preset, int type,
                                         const Bundle& bundle);
    platform::Result<void> loadMelodicSoundFont(const platform::Url& url, int preset);
    platform::Result<void> loadMelodicSoundFont(const std::string& name, int preset, const Bundle& bundle);
    platform::Result<void> loadPercussiveSoundFont(const std::string& name, int preset, const Bundle& bundle);

protected:
    platform::SamplerUnit& unit() const;

private:
    platform::Result<void> loadSoundBank(const std::string& path, int preset, int msb, int lsb);
    platform::Result<void> loadSoundFontByName(const std::string& name, int preset, int msb, int lsb,
                                               const Bundle& bundle, const char* function,
                                               const char* notFoundText);

    platform::AudioUnit* internalAU_ = nullptr;
    std::vector<std::shared_ptr<platform::AudioFile>> audioFiles_;
    std::shared_ptr<platform::AudioUnitNode> samplerUnit_;
    float amplitude_ = 0.0f;
    float volume_ = 1.0f;
    float pan_ = 0.0f;
};

} // namespace rozezeru
