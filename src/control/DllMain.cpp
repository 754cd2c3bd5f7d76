// The module's entry points: the four exports of an in-process COM server (see VOG.def).
#include "control/ClassFactory.h"
#include "control/OleControl.h"
#include "control/Registration.h"
#include "winsys/Module.h"
#include "winsys/Window.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    // reserved is null when FreeLibrary unloads the module. At process exit it is not, and Windows
    // has already ended every other thread, perhaps inside the window manager or the heap: nothing
    // may be cleaned up then (DllMain's documented rule), the process takes it all.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        unregisterControlWindowClass();
        releaseWindowSupport();
    }
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
