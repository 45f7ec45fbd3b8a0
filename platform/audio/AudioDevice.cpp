#include "platform/audio/AudioDevice.h"

namespace platform {

Result<void> AudioDevice::startCapture(CaptureRing&) {
    return noAudioInputError(name());
}

Error noAudioInputError(const std::string& deviceName) {
    return Error::make("AudioDevice", "No audio input device: \"" + deviceName + "\" has no input");
}

} // namespace platform
