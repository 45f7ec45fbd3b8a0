#include "platform/audio/DefaultOutputDevice.h"

#include "platform/audio/AlsaAudioDevice.h"
#include "platform/audio/AlsaDeviceList.h"
#include "platform/audio/NullAudioDevice.h"

#include <cstdlib>
#include <cstring>

namespace platform {

std::unique_ptr<AudioDevice> makeDefaultOutputDevice() {
    const char* forced = std::getenv(audioDeviceEnvironmentVariable);
    if (forced && std::strcmp(forced, "null") == 0) return std::make_unique<NullAudioDevice>();
    AlsaAudioDevice::Request request;
    request.deviceID = AlsaDeviceList::identifierForName(request.pcmName);
    if (auto device = AlsaAudioDevice::open(request)) return std::move(device).value();
    return std::make_unique<NullAudioDevice>();
}

} // namespace platform
