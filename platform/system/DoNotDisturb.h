#pragma once
// The system's Do Not Disturb switch, as the program sees it.

namespace platform {

// Stands in for the notification centre's Do Not Disturb preference: while it is on, no notification banner
// interrupts the music. Implementations: DesktopDoNotDisturb (platform/ui, over D-Bus) and a fake
// in the tests. Main thread only.
class DoNotDisturb {
public:
    virtual ~DoNotDisturb() = default;

    // Switches banners off; calling it again while on applies it again, with the same result.
    virtual void enable() = 0;
    // Puts back what the user had before enable(); does nothing while off. Implementations restore when
    // they are destroyed, too, so quitting never leaves the user's notifications silenced.
    virtual void restore() = 0;
};

} // namespace platform
