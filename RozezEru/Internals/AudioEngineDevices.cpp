#include "RozezEru/Internals/AudioEngineDevices.h"

#include "RozezEru/Internals/Log.h"
#include "platform/audio/AudioDeviceList.h"
#include "platform/audio/AudioEngine.h"

namespace rozezeru {

AudioDeviceID getDevice(platform::AudioEngine& engine) {
    // The engine always has an output device, so reading its identifier cannot fail.
    return engine.outputDeviceID();
}

void setDevice(platform::AudioEngine& engine, AudioDeviceID deviceID, platform::AudioDeviceList& list) {
    // Opening the device the engine already plays through a second time could find it busy.
    if (deviceID == engine.outputDeviceID() && deviceID != 0) return;
    auto device = list.makeOutputDevice(deviceID);
    if (!device) {
        Log(LogSite("setDevice(id:)"), "setDevice error: ", device.error().code);
        return;
    }
    if (auto replaced = engine.setOutputDevice(std::move(*device)); !replaced)
        Log(LogSite("setDevice(id:)"), "setDevice error: ", replaced.error().code);
}

} // namespace rozezeru
