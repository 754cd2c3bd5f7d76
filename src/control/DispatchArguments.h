// The arguments of a script call as the control's methods take them: 8-bit text in the system code
// page.
#pragma once

#include <windows.h>

#include <string>

// The text of one argument of IDispatch::Invoke. A string argument is taken as it is; a null string,
// VT_EMPTY (JScript's undefined), VT_NULL and a missing argument (VT_ERROR with DISP_E_PARAMNOTFOUND,
// as VBScript passes a gap) give no string, which is empty text. An argument passed by reference
// (VT_BYREF | VT_VARIANT) is looked through. Every other type is converted to text by
// VariantChangeType (booleans as "True"/"False"); a type that has no text (an array, an error code)
// gives DISP_E_TYPEMISMATCH. text is unchanged on failure. May raise std::bad_alloc.
HRESULT argumentText(const VARIANT& argument, std::string& text);

// Wide text in codePage (by default the system code page), up to its first null character.
// Characters the code page lacks become '?', never a look-alike ("best fit"), so that no path
// separator, dot or drive colon can appear that the caller did not write; in UTF-8 every character
// keeps its exact bytes. A null pointer gives empty text.
std::string narrowText(const wchar_t* text, UINT codePage = GetACP());
