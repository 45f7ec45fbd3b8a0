#pragma once
// Do Not Disturb on a Linux desktop, over the session bus.

#include "platform/system/DoNotDisturb.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Silences notification banners in the two ways a desktop offers, each where it is available, and does
// nothing where neither is:
// - GNOME's "show-banners" setting (org.gnome.desktop.notifications): read through the settings portal and,
//   when banners are on, switched off through the dconf writer service; restore() writes the old value back.
// - The notification server's Inhibit call (KDE Plasma offers one): the inhibition is held until restore();
//   the server also drops it when the program's bus connection goes away.
// The calls are asynchronous, so playback never waits for the bus; the destructor restores with blocking
// calls. Lives on the main thread, inside a running Qt event loop.
class DesktopDoNotDisturb final : public DoNotDisturb {
public:
    struct Options {
        // Longest wait for one bus call, also when the destructor restores.
        int callTimeoutMs = 2000;
    };

    DesktopDoNotDisturb();
    explicit DesktopDoNotDisturb(Options options);
    ~DesktopDoNotDisturb() override;
    DesktopDoNotDisturb(const DesktopDoNotDisturb&) = delete;
    DesktopDoNotDisturb& operator=(const DesktopDoNotDisturb&) = delete;

    void enable() override;
    void restore() override;

    // What is in force now; the answers of the bus arrive later than enable() returns.
    bool bannersSilenced() const;
    bool notificationsInhibited() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

// The dconf writer's change set that sets one boolean key: a serialised GVariant of type a{smv}.
std::vector<std::uint8_t> dconfBooleanChange(const std::string& keyPath, bool value);

} // namespace platform
