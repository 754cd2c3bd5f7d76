#include "control/DispatchArguments.h"

#include "winsys/Text.h"

#include <cwchar>

std::string narrowText(const wchar_t* text, UINT codePage)
{
    if (!text || !*text)
        return {};
    int wideLength = static_cast<int>(std::wcslen(text));
    DWORD flags = noBestFitFlags(codePage);
    int length = WideCharToMultiByte(codePage, flags, text, wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, text, wideLength, &narrow[0], length, nullptr, nullptr);
    return narrow;
}

namespace {

// Clears a VARIANT on every way out.
struct VariantHolder {
    VARIANT value;
    VariantHolder() { VariantInit(&value); }
    ~VariantHolder() { VariantClear(&value); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
};

}  // namespace

HRESULT argumentOrder(const DISPPARAMS& params, UINT count, UINT* order, UINT* argError)
{
    if ((params.cArgs > 0 && !params.rgvarg) || params.cNamedArgs > params.cArgs ||
        (params.cNamedArgs > 0 && !params.rgdispidNamedArgs))
        return E_INVALIDARG;
    if (params.cArgs > count)
        return DISP_E_BADPARAMCOUNT;
    const UINT unset = params.cArgs;  // no argument has this index
    for (UINT parameter = 0; parameter < count; ++parameter)
        order[parameter] = unset;
    UINT positional = params.cArgs - params.cNamedArgs;
    for (UINT parameter = 0; parameter < positional; ++parameter)
        order[parameter] = params.cArgs - 1 - parameter;
    for (UINT named = 0; named < params.cNamedArgs; ++named) {
        DISPID parameter = params.rgdispidNamedArgs[named];
        if (parameter < 0 || static_cast<UINT>(parameter) >= count || order[parameter] != unset) {
            if (argError)
                *argError = named;
            return DISP_E_PARAMNOTFOUND;
        }
        order[parameter] = named;
    }
    // Every argument has found a parameter of its own: with count of them, all are given.
    return params.cArgs < count ? DISP_E_PARAMNOTOPTIONAL : S_OK;
}

HRESULT argumentText(const VARIANT& argument, LCID lcid, std::string& text)
{
    const VARIANT* value = &argument;
    if (V_VT(value) == (VT_BYREF | VT_VARIANT)) {
        value = V_VARIANTREF(value);
        if (!value)
            return DISP_E_TYPEMISMATCH;
    }
    switch (V_VT(value)) {
    case VT_EMPTY:
    case VT_NULL:
        text.clear();
        return S_OK;
    case VT_ERROR:
        if (V_ERROR(value) != DISP_E_PARAMNOTFOUND)
            return DISP_E_TYPEMISMATCH;
        text.clear();
        return S_OK;
    case VT_BSTR:
        text = narrowText(V_BSTR(value));
        return S_OK;
    case VT_BYREF | VT_BSTR:
        text = narrowText(V_BSTRREF(value) ? *V_BSTRREF(value) : nullptr);
        return S_OK;
    default:
        break;
    }
    VariantHolder converted;
    HRESULT result =
        VariantChangeTypeEx(&converted.value, const_cast<VARIANT*>(value), lcid, VARIANT_ALPHABOOL, VT_BSTR);
    if (FAILED(result) || V_VT(&converted.value) != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    text = narrowText(V_BSTR(&converted.value));
    return S_OK;
}
