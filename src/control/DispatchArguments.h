// The arguments of a script call as the control's methods take them: 8-bit text in the system code
// page.
#pragma once

#include <windows.h>

#include <string>

// Where each of the count parameters of a method is in params.rgvarg: order[p] is the index of the
// argument for parameter p (0 is the first). As IDispatch::Invoke passes them, named arguments come
// first in rgvarg, rgdispidNamedArgs[i] naming the parameter of rgvarg[i] by its position (the ids
// GetIDsOfNames gives for parameter names), in any order; the positional ones follow, the last
// parameter first. Every parameter must be given once: fewer arguments give DISP_E_PARAMNOTOPTIONAL,
// more DISP_E_BADPARAMCOUNT, and a name that is no parameter, or one already given by position or by
// name, DISP_E_PARAMNOTFOUND with that argument's index in rgvarg in *argError (when not null).
HRESULT argumentOrder(const DISPPARAMS& params, UINT count, UINT* order, UINT* argError);

// The text of one argument of IDispatch::Invoke. A string argument is taken as it is; a null string,
// VT_EMPTY (JScript's undefined), VT_NULL and a missing argument (VT_ERROR with DISP_E_PARAMNOTFOUND,
// as VBScript passes a gap) give no string, which is empty text. An argument passed by reference
// (VT_BYREF | VT_VARIANT) is looked through. Every other type is converted to text by
// VariantChangeTypeEx in the caller's locale lcid (numbers with its decimal sign, booleans as
// "True"/"False"); a type that has no text (an array, an error code) gives DISP_E_TYPEMISMATCH.
// text is unchanged on failure. May raise std::bad_alloc.
HRESULT argumentText(const VARIANT& argument, LCID lcid, std::string& text);

// Wide text in codePage (by default the system code page), up to its first null character.
// Characters the code page lacks become '?', never a look-alike ("best fit"), so that no path
// separator, dot or drive colon can appear that the caller did not write; in UTF-8 every character
// keeps its exact bytes. A null pointer gives empty text.
std::string narrowText(const wchar_t* text, UINT codePage = GetACP());
