#include "platform/audio/AlsaDeviceList.h"

#include "platform/audio/AlsaAudioDevice.h"

#include <alsa/asoundlib.h>

#include <cstdlib>

namespace platform {

namespace {

struct AlsaHint {
    std::string name;
    bool input = true;
    bool output = true;
};

std::string alsaTakeHint(void* hint, const char* field) {
    char* value = snd_device_name_get_hint(hint, field);
    std::string text = value ? value : "";
    std::free(value);
    return text;
}

Result<std::vector<AlsaHint>> alsaHints() {
    silenceAlsaErrorOutput();
    void** hints = nullptr;
    if (int error = snd_device_name_hint(-1, "pcm", &hints); error < 0)
        return Error::make("ALSA", std::string("Cannot list the ALSA devices: ") + snd_strerror(error),
                           -error);
    std::vector<AlsaHint> result;
    for (void** hint = hints; *hint; ++hint) {
        AlsaHint entry;
        entry.name = alsaTakeHint(*hint, "NAME");
        const std::string direction = alsaTakeHint(*hint, "IOID"); // absent: both directions
        entry.input = direction.empty() || direction == "Input";
        entry.output = direction.empty() || direction == "Output";
        if (!entry.name.empty()) result.push_back(std::move(entry));
    }
    snd_device_name_free_hint(hints);
    return result;
}

Result<AlsaHint> alsaHintFor(std::uint32_t deviceID) {
    auto hints = alsaHints();
    if (!hints) return hints.error();
    for (const auto& hint : *hints)
        if (AlsaDeviceList::identifierForName(hint.name) == deviceID) return hint;
    if (deviceID == AlsaDeviceList::identifierForName("default")) return AlsaHint{"default", true, true};
    return Error::make("ALSA", "No ALSA device has the identifier " + std::to_string(deviceID));
}

Result<std::uint32_t> alsaChannels(const std::string& name, snd_pcm_stream_t stream) {
    snd_pcm_t* pcm = nullptr;
    if (int error = snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK); error < 0)
        return Error::make("ALSA", "Cannot open \"" + name + "\": " + snd_strerror(error), -error);
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned maximum = 0;
    const int error =
        snd_pcm_hw_params_any(pcm, hw) < 0 ? -EINVAL : snd_pcm_hw_params_get_channels_max(hw, &maximum);
    snd_pcm_close(pcm);
    if (error < 0) return Error::make("ALSA", "Cannot read the channels of \"" + name + "\"", -error);
    // Plugins without hardware behind them accept any count; report an ordinary stereo device.
    return maximum > AudioFormat::maxChannels ? 2u : maximum;
}

} // namespace

std::uint32_t AlsaDeviceList::identifierForName(const std::string& pcmName) {
    // FNV-1a; 0 is kept for "no device".
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : pcmName)
        hash = (hash ^ c) * 16777619u;
    return hash == 0 ? 1 : hash;
}

Result<std::vector<std::uint32_t>> AlsaDeviceList::devices() {
    auto hints = alsaHints();
    if (!hints) return hints.error();
    std::vector<std::uint32_t> ids;
    for (const auto& hint : *hints)
        ids.push_back(identifierForName(hint.name));
    return ids;
}

Result<std::string> AlsaDeviceList::deviceName(std::uint32_t deviceID) {
    auto hint = alsaHintFor(deviceID);
    if (!hint) return hint.error();
    return hint->name;
}

Result<std::uint32_t> AlsaDeviceList::inputChannels(std::uint32_t deviceID) {
    auto hint = alsaHintFor(deviceID);
    if (!hint) return hint.error();
    if (!hint->input) return 0u;
    return alsaChannels(hint->name, SND_PCM_STREAM_CAPTURE);
}

Result<std::uint32_t> AlsaDeviceList::outputChannels(std::uint32_t deviceID) {
    auto hint = alsaHintFor(deviceID);
    if (!hint) return hint.error();
    if (!hint->output) return 0u;
    return alsaChannels(hint->name, SND_PCM_STREAM_PLAYBACK);
}

Result<std::uint32_t> AlsaDeviceList::defaultOutputDevice() {
    auto channels = alsaChannels("default", SND_PCM_STREAM_PLAYBACK);
    if (!channels) return Error::make("ALSA", "No default output device: " + channels.error().message);
    return identifierForName("default");
}

Result<std::unique_ptr<AudioDevice>> AlsaDeviceList::makeOutputDevice(std::uint32_t deviceID) {
    auto hint = alsaHintFor(deviceID);
    if (!hint) return hint.error();
    if (!hint->output) return Error::make("ALSA", "\"" + hint->name + "\" has no outputs");
    AlsaAudioDevice::Request request;
    request.pcmName = hint->name;
    request.deviceID = deviceID;
    // An output-only PCM has no input to capture: the engine reports that rather than trying.
    if (!hint->input) request.captureChannels = 0;
    auto device = AlsaAudioDevice::open(request);
    if (!device) return device.error();
    return std::unique_ptr<AudioDevice>(std::move(device).value());
}

} // namespace platform
