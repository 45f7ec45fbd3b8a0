#pragma once

#include "Sigpro/modules/sp_data.h"

namespace sigprotest {

// Owns one sp_ module record from create to destroy. Test thread.
template <class T, int (*Create)(T**), int (*Destroy)(T**)> class ModuleHandle {
public:
    ModuleHandle() { Create(&p_); }
    ~ModuleHandle() { Destroy(&p_); }
    ModuleHandle(const ModuleHandle&) = delete;
    ModuleHandle& operator=(const ModuleHandle&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

// Owns one shared context. Test thread.
class ContextHandle {
public:
    ContextHandle() { sigpro::sp_create(&sp_); }
    ~ContextHandle() { sigpro::sp_destroy(&sp_); }
    ContextHandle(const ContextHandle&) = delete;
    ContextHandle& operator=(const ContextHandle&) = delete;
    sigpro::sp_data* get() const { return sp_; }
    sigpro::sp_data* operator->() const { return sp_; }

private:
    sigpro::sp_data* sp_ = nullptr;
};

} // namespace sigprotest
