#pragma once
// The system's Do Not Disturb switch, as the program sees it.

namespace platform {

// Stands in for the notification centre's Do Not Disturb preference: while it is on, no notification banner
// interrupts the music. Implementations: DesktopDoNotDisturb (platform/ui, over D-Bus), FakeDoNotDisturb
// for tests. Main thread only.
class DoNotDisturb {
public:
    virtual ~DoNotDisturb() = default;

    // Switches banners off; calling it again while on applies it again, with the same result.
    virtual void enable() = 0;
    // Puts back what the user had before enable(); does nothing while off. Implementations restore when
    // they are destroyed, too, so quitting never leaves the user's notifications silenced.
    virtual void restore() = 0;
};

// Counts the calls, for tests of the code that switches Do Not Disturb. Main thread only.
class FakeDoNotDisturb final : public DoNotDisturb {
public:
    void enable() override {
        ++enableCount;
        isOn = true;
    }
    void restore() override {
        if (isOn) ++restoreCount;
        isOn = false;
    }

    int enableCount = 0;
    int restoreCount = 0; // restores that switched it off
    bool isOn = false;
};

} // namespace platform
