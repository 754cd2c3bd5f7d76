// Self-registration of VOG.OCX: the type library held in the module, the two classes below
// HKEY_CLASSES_ROOT, and the control's two component categories.
#pragma once

#include <windows.h>

// SELFREG_E_TYPELIB and SELFREG_E_CLASS of olectl.h.
inline constexpr HRESULT selfRegTypeLibError = static_cast<HRESULT>(0x80040200);
inline constexpr HRESULT selfRegClassError = static_cast<HRESULT>(0x80040201);

// DllRegisterServer: registers the type library (else selfRegTypeLibError), then the control class
// and the property page class (else selfRegClassError). Stops at the first failing step; whatever
// was written before it stays.
HRESULT registerServer() noexcept;

// DllUnregisterServer: unregisters the type library (else selfRegTypeLibError), then removes both
// classes (else selfRegClassError). Entries that are already absent count as removed. The component
// categories stay registered; only the control's membership in them is removed.
HRESULT unregisterServer() noexcept;
