// The module's entry points: the four exports of an in-process COM server (see VOG.def).
#include "control/ClassFactory.h"
#include "control/OleControl.h"
#include "control/Registration.h"
#include "winsys/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    // At process exit (reserved not null) nothing is cleaned up: the process takes it all.
    if (reason == DLL_PROCESS_DETACH && !reserved)
        unregisterControlWindowClass();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return getClassObject(clsid, iid, object);
}

// S_OK only while no object, class object reference, server lock or request worker holds the module.
STDAPI DllCanUnloadNow()
{
    return moduleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    return registerServer();
}

STDAPI DllUnregisterServer()
{
    return unregisterServer();
}
