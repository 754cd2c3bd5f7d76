// The module the system's code lives in (VOG.OCX, or a test program that links the same code),
// and its lock count: live COM objects, server locks and running request workers each hold one,
// so that DllCanUnloadNow never lets the module go while any of them still runs its code.
#pragma once

#include <windows.h>

// The instance handle of the module holding this code, found from an address inside it.
HINSTANCE moduleInstance() noexcept;

void lockModule() noexcept;
void unlockModule() noexcept;
long moduleLockCount() noexcept;

// Holds one module lock for its lifetime.
class ModuleLock {
public:
    ModuleLock() noexcept { lockModule(); }
    ~ModuleLock() { unlockModule(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};
