#include "Source/session/AgeUnits.h"

namespace vantle {

std::string rawValue(AgeUnits units) {
    switch (units) {
    case AgeUnits::months:
        return "months";
    case AgeUnits::weeks:
        return "weeks";
    case AgeUnits::days:
        return "days";
    case AgeUnits::hours:
        return "hours";
    }
    return "months";
}

std::optional<AgeUnits> fromRawValue(std::type_identity<AgeUnits>, const std::string& text) {
    for (AgeUnits units : {AgeUnits::months, AgeUnits::weeks, AgeUnits::days, AgeUnits::hours})
        if (rawValue(units) == text) return units;
    return std::nullopt;
}

} // namespace vantle
