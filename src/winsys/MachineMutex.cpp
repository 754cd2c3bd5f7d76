#include "winsys/MachineMutex.h"

#include <sddl.h>

namespace {

// Every authenticated user may wait on the mutex and release it (SYNCHRONIZE | MUTEX_MODIFY_STATE,
// 0x00100001) and read its security; only the system has full access. The DACL is protected, so
// nothing is inherited, and nobody else gets WRITE_DAC or WRITE_OWNER: a user cannot shut the
// others out of the mutex by changing its security.
const char* const mutexSecurity = "D:P(A;;0x00120001;;;AU)(A;;GA;;;SY)";

HANDLE createShared(const std::string& name)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(mutexSecurity, SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    // CreateMutexA would ask for full access to a mutex that exists already, which this DACL grants
    // nobody but the system: ask for no more than waiting and releasing.
    HANDLE mutex = CreateMutexExA(&attributes, name.c_str(), 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
    DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return mutex;
}

}  // namespace

KernelHandle machineMutex(const std::string& name)
{
    KernelHandle mutex(createShared("Global\\" + name));
    if (!mutex && GetLastError() == ERROR_ACCESS_DENIED)
        mutex.reset(createShared("Local\\" + name));
    return mutex;
}
