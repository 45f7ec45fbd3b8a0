#pragma once
// The wall clock, injectable so that tests control "now". Any thread.

#include "platform/foundation/Date.h"

namespace platform {

// Where the program reads the current date and the local calendar day.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;

    // The first instant of the local day holding the date, in the process's time zone (TZ),
    // honouring daylight-saving changes: days are 23 or 25 hours long across them, and a day
    // whose midnight is skipped starts at its first existing instant.
    virtual Date startOfDay(Date date) const;

    // The process's real clock.
    static Clock& system();
};

class SystemClock final : public Clock {
public:
    Date now() const override;
};

} // namespace platform
