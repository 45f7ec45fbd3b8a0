#pragma once
// A Do Not Disturb switch that counts its calls.

#include "platform/system/DoNotDisturb.h"

namespace testsupport {

// Counts the calls, for tests of the code that switches Do Not Disturb. Main thread only.
class FakeDoNotDisturb final : public platform::DoNotDisturb {
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

} // namespace testsupport
