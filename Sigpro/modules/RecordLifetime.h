#pragma once
// Create and destroy of the plain module records of this folder: the record starts zero-filled, so an
// init can tell what an earlier init of the same record allocated. Kernel set-up and tear-down only.

#include <new>

namespace sigpro {

template <class Record> inline int createModuleRecord(Record** p) {
    *p = new (std::nothrow) Record{};
    return *p != nullptr ? 1 : 0;
}

template <class Record> inline void destroyModuleRecord(Record** p) {
    if (p == nullptr) return;
    delete *p;
    *p = nullptr;
}

} // namespace sigpro
