#pragma once
// An object that owns a toolkit engine and starts and stops it without handling errors itself (the
// application's player). The owner's controlling thread (the main thread).

namespace rozezeru {

class AudioEngine;

class HasAudioEngine {
public:
    virtual AudioEngine& engine() = 0;

    // Starts the engine; a failure is logged (info level, "start()") and goes no further.
    void start();
    void stop();

protected:
    ~HasAudioEngine() = default;
};

} // namespace rozezeru
