// COM for the calling thread while alive: a single-threaded apartment, entered when the thread has
// none yet, and left again at the end only when it was entered here. A thread that already chose
// the multithreaded apartment keeps it (CoInitializeEx answers RPC_E_CHANGED_MODE).
#pragma once

#include <objbase.h>

class ComApartment {
public:
    explicit ComApartment(DWORD flags = COINIT_APARTMENTTHREADED)
        : result(CoInitializeEx(nullptr, flags))
    {
    }
    ~ComApartment()
    {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result;
};
