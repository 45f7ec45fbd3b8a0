#pragma once
// The system's Do Not Disturb mode as the transport panel switches it. Main thread only.

namespace vantle {

// Silences notification banners while the music plays. The platform's implementation stands
// behind it; tests use a fake. Main thread only.
class DoNotDisturbSwitch {
public:
    virtual ~DoNotDisturbSwitch() = default;
    // Switches banners off; switching on while on applies it again with the same result.
    virtual void on() = 0;
    // Gives the user's banners back.
    virtual void off() = 0;
};

} // namespace vantle
