// The identifiers under which the module's type library, interfaces and classes are registered,
// and the values the control reports to its containers.
#pragma once

#include <windows.h>

// {8739CB63-6D75-11D4-B8CF-8DD84C2C1547}: the type library VOGLib.
inline constexpr GUID LIBID_VOGLib = {0x8739CB63, 0x6D75, 0x11D4, {0xB8, 0xCF, 0x8D, 0xD8, 0x4C, 0x2C, 0x15, 0x47}};
// The dispatch interface _DVog and the event interface _DVogEvents.
inline constexpr GUID DIID_DVog = {0x8739CB64, 0x6D75, 0x11D4, {0xB8, 0xCF, 0x8D, 0xD8, 0x4C, 0x2C, 0x15, 0x47}};
inline constexpr GUID DIID_DVogEvents = {0x8739CB65, 0x6D75, 0x11D4, {0xB8, 0xCF, 0x8D, 0xD8, 0x4C, 0x2C, 0x15, 0x47}};
// The control class (coclass Vog, implemented by CVogCtrl) and the property page class.
inline constexpr CLSID CLSID_VogCtrl = {0x8739CB66, 0x6D75, 0x11D4, {0xB8, 0xCF, 0x8D, 0xD8, 0x4C, 0x2C, 0x15, 0x47}};
inline constexpr CLSID CLSID_VogPropPage = {0x8739CB67, 0x6D75, 0x11D4, {0xB8, 0xCF, 0x8D, 0xD8, 0x4C, 0x2C, 0x15, 0x47}};

// The platform's component categories the control belongs to.
inline constexpr GUID CATID_VogSafeForInitializing = {0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
inline constexpr GUID CATID_VogSafeForScripting = {0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

inline constexpr const char* vogCtrlProgId = "VOG.VogCtrl.1";

// Version of the type library and of the control (2000.805).
inline constexpr WORD vogVersionMajor = 2000;
inline constexpr WORD vogVersionMinor = 805;
// The stamp the property exchange stores: major version in the high word, minor in the low word.
inline constexpr DWORD vogVersionStamp = (DWORD(vogVersionMajor) << 16) | vogVersionMinor;
static_assert(vogVersionStamp == 0x07D00325);

// OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME | OLEMISC_INSIDEOUT |
// OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE.
inline constexpr DWORD vogMiscStatus = 132241;

// The dispatch id of _DVog::open.
inline constexpr DISPID dispidOpen = 1;
