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
// (VT_BYREF | VT_VARIANT) is looked through. Numbers, booleans, dates and currency amounts (also by
// reference) are converted to text by VariantChangeTypeEx in the caller's locale lcid (numbers with
// its decimal sign, booleans as "True"/"False"); every other type (an array, an object, an error
// code) gives DISP_E_TYPEMISMATCH. Text is converted exactly into the system code page: a character
// it does not have (never "?" or a look-alike, which could make a path separator, dot or drive colon
// the caller did not write) or a null character inside the text gives DISP_E_OVERFLOW. text is
// unchanged on failure. May raise std::bad_alloc.
HRESULT argumentText(const VARIANT& argument, LCID lcid, std::string& text);

// What a script is told when argumentText refused the argument of parameter with refusal.
std::wstring refusalText(HRESULT refusal, const wchar_t* parameter);

// A script error for IDispatch::Invoke: fills *exception with source "Vog", description and code
// and gives DISP_E_EXCEPTION; gives code itself when exception is null. May raise std::bad_alloc.
HRESULT scriptError(EXCEPINFO* exception, HRESULT code, const std::wstring& description);
