#pragma once
// Ownership of the DSP library's module records for the platform's effect units: a record made with its
// module's create function and given back with its destroy function, and a module context at a rate.
// Only the platform's effect sources include this. The thread that prepares a unit's render state.

#include "Sigpro/modules/sp_data.h"

#include <cmath>
#include <memory>

namespace platform {

template <class Record, int (*Destroy)(Record**)> struct SigproDeleter {
    void operator()(Record* record) const { Destroy(&record); }
};

template <class Record, int (*Destroy)(Record**)>
using SigproRecord = std::unique_ptr<Record, SigproDeleter<Record, Destroy>>;

// A record from `Create`; null when it could not be made.
template <class Record, int (*Create)(Record**), int (*Destroy)(Record**)>
SigproRecord<Record, Destroy> makeSigproRecord() {
    Record* record = nullptr;
    Create(&record);
    return SigproRecord<Record, Destroy>(record);
}

using SigproContext = SigproRecord<sigpro::sp_data, sigpro::sp_destroy>;

inline SigproContext makeSigproContext(double sampleRate) {
    sigpro::sp_data* data = nullptr;
    sigpro::sp_create(&data);
    SigproContext context(data);
    if (context) context->sample_rate = std::int32_t(std::lround(sampleRate));
    return context;
}

} // namespace platform
