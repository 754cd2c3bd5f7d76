#include "winsys/Module.h"

namespace {
volatile LONG lockCount = 0;
}

HINSTANCE moduleInstance() noexcept
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&moduleInstance), &module);
    return module;
}

void lockModule() noexcept
{
    InterlockedIncrement(&lockCount);
}

void unlockModule() noexcept
{
    InterlockedDecrement(&lockCount);
}

long moduleLockCount() noexcept
{
    return InterlockedCompareExchange(&lockCount, 0, 0);
}
