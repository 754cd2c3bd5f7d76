// A named mutex that the processes of every session of the machine share, for data that is
// machine-wide (HKEY_LOCAL_MACHINE): a service and a user, or two users of one terminal server,
// then take turns.
#pragma once

#include "winsys/Handle.h"

#include <string>

// The mutex "Global\<name>", created or opened for waiting and releasing only. Created with a
// DACL that lets every authenticated user wait on it and release it, and nobody but the system
// change its security. When the global namespace refuses it
// (ERROR_ACCESS_DENIED: a process without the right to create global objects while none exists
// yet, or one whose access the existing mutex's owner did not grant), the session's own
// "Local\<name>", which keeps apart only the processes of this session. Null when neither can be
// had.
KernelHandle machineMutex(const std::string& name);
