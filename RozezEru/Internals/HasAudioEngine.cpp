#include "RozezEru/Internals/HasAudioEngine.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Internals/Log.h"

namespace rozezeru {

void HasAudioEngine::start() {
    if (auto started = engine().start(); !started) Log(LogSite("start()"), started.error().message);
}

void HasAudioEngine::stop() {
    engine().stop();
}

} // namespace rozezeru
