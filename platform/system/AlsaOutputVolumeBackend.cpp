// The output volume over ALSA's simple mixer. Each call opens the mixer afresh, as the device may come
// and go; identifiers are the card index plus one, so that 0 stays "unknown".
#include "platform/system/OutputVolume.h"

#include <alsa/asoundlib.h>

#include <cmath>
#include <mutex>
#include <string>

namespace platform {
namespace {

struct MixerHandle {
    snd_mixer_t* mixer = nullptr;
    snd_mixer_elem_t* element = nullptr;
    ~MixerHandle() {
        if (mixer) snd_mixer_close(mixer);
    }
};

bool openMixer(MixerHandle& handle, const std::string& name) {
    if (snd_mixer_open(&handle.mixer, 0) < 0) return false;
    if (snd_mixer_attach(handle.mixer, name.c_str()) < 0 ||
        snd_mixer_selem_register(handle.mixer, nullptr, nullptr) < 0 || snd_mixer_load(handle.mixer) < 0) {
        snd_mixer_close(handle.mixer);
        handle.mixer = nullptr;
        return false;
    }
    for (const char* element : {"Master", "PCM"}) {
        snd_mixer_selem_id_t* id = nullptr;
        snd_mixer_selem_id_alloca(&id);
        snd_mixer_selem_id_set_index(id, 0);
        snd_mixer_selem_id_set_name(id, element);
        if ((handle.element = snd_mixer_find_selem(handle.mixer, id))) return true;
    }
    return false;
}

// Without a sound card every lookup fails; ALSA would print each failure to standard error.
void quietAlsaMixerErrors(const char*, int, const char*, int, const char*, ...) {}

std::string mixerName(std::uint32_t device) {
    return device == 1 ? std::string("default") : "hw:" + std::to_string(device - 2);
}

class AlsaOutputVolumeBackend final : public OutputVolumeBackend {
public:
    AlsaOutputVolumeBackend() {
        static std::once_flag once;
        std::call_once(once, [] { snd_lib_error_set_handler(&quietAlsaMixerErrors); });
    }
    std::optional<std::uint32_t> defaultOutputDevice() override {
        MixerHandle handle;
        if (openMixer(handle, "default")) return 1u;
        int card = -1;
        while (snd_card_next(&card) == 0 && card >= 0) {
            MixerHandle cardHandle;
            if (openMixer(cardHandle, "hw:" + std::to_string(card))) return std::uint32_t(card + 2);
        }
        return std::nullopt;
    }
    bool hasProperty(std::uint32_t device, OutputProperty property) override {
        MixerHandle handle;
        if (!openMixer(handle, mixerName(device))) return false;
        return property == OutputProperty::volume ? snd_mixer_selem_has_playback_volume(handle.element) != 0
                                                  : snd_mixer_selem_has_playback_switch(handle.element) != 0;
    }
    std::optional<bool> isSettable(std::uint32_t device, OutputProperty property) override {
        MixerHandle handle;
        if (!openMixer(handle, mixerName(device))) return std::nullopt;
        return hasProperty(device, property);
    }
    std::optional<float> readVolume(std::uint32_t device) override {
        MixerHandle handle;
        long low = 0, high = 0, value = 0;
        if (!openMixer(handle, mixerName(device)) ||
            snd_mixer_selem_get_playback_volume_range(handle.element, &low, &high) < 0 || high <= low ||
            snd_mixer_selem_get_playback_volume(handle.element, SND_MIXER_SCHN_FRONT_LEFT, &value) < 0)
            return std::nullopt;
        return float(value - low) / float(high - low);
    }
    std::optional<bool> readMute(std::uint32_t device) override {
        MixerHandle handle;
        int on = 1;
        if (!openMixer(handle, mixerName(device)) ||
            snd_mixer_selem_get_playback_switch(handle.element, SND_MIXER_SCHN_FRONT_LEFT, &on) < 0)
            return std::nullopt;
        return on == 0;
    }
    bool writeVolume(std::uint32_t device, float volume) override {
        MixerHandle handle;
        long low = 0, high = 0;
        if (!openMixer(handle, mixerName(device)) ||
            snd_mixer_selem_get_playback_volume_range(handle.element, &low, &high) < 0)
            return false;
        const long value = low + std::lround(double(volume) * double(high - low));
        return snd_mixer_selem_set_playback_volume_all(handle.element, value) >= 0;
    }
    bool writeMute(std::uint32_t device, bool muted) override {
        MixerHandle handle;
        if (!openMixer(handle, mixerName(device)) || !snd_mixer_selem_has_playback_switch(handle.element))
            return false;
        return snd_mixer_selem_set_playback_switch_all(handle.element, muted ? 0 : 1) >= 0;
    }
};

} // namespace

std::unique_ptr<OutputVolumeBackend> makeAlsaOutputVolumeBackend() {
    return std::make_unique<AlsaOutputVolumeBackend>();
}

} // namespace platform
