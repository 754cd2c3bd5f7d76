#include "winsys/MachineMutex.h"

KernelHandle machineMutex(const std::string& name)
{
    KernelHandle mutex(CreateMutexA(nullptr, FALSE, ("Global\\" + name).c_str()));
    if (!mutex && GetLastError() == ERROR_ACCESS_DENIED)
        mutex.reset(CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str()));
    return mutex;
}
