#include "control/DispatchArguments.h"

#include "winsys/Text.h"

#include <optional>
#include <string_view>

namespace {

// Clears a VARIANT on every way out.
struct VariantHolder {
    VARIANT value;
    VariantHolder() { VariantInit(&value); }
    ~VariantHolder() { VariantClear(&value); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
};

// Text, a number, a boolean, a date or a currency amount: the kinds that have one text of their own.
bool hasText(VARTYPE type)
{
    switch (type & ~VT_BYREF) {
    case VT_BSTR:
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: case VT_BOOL: case VT_DATE:
        return true;
    default:
        return false;
    }
}

// The exact system code page text of a string, which may hold null characters.
HRESULT exactText(BSTR wide, std::string& text)
{
    std::wstring_view view(wide ? wide : L"", wide ? SysStringLen(wide) : 0);
    if (view.find(L'\0') != std::wstring_view::npos)
        return DISP_E_OVERFLOW;
    std::optional<std::string> narrow = narrowExactly(view);
    if (!narrow)
        return DISP_E_OVERFLOW;
    text = std::move(*narrow);
    return S_OK;
}

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
        return exactText(V_BSTR(value), text);
    case VT_BYREF | VT_BSTR:
        return exactText(V_BSTRREF(value) ? *V_BSTRREF(value) : nullptr, text);
    default:
        break;
    }
    // VariantChangeTypeEx would also make text of a byte array or of an object's default property.
    if (!hasText(V_VT(value)))
        return DISP_E_TYPEMISMATCH;
    VariantHolder converted;
    HRESULT result =
        VariantChangeTypeEx(&converted.value, const_cast<VARIANT*>(value), lcid, VARIANT_ALPHABOOL, VT_BSTR);
    if (FAILED(result) || V_VT(&converted.value) != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    return exactText(V_BSTR(&converted.value), text);
}

std::wstring refusalText(HRESULT refusal, const wchar_t* parameter)
{
    std::wstring text = L"The argument ";
    text += parameter;
    if (refusal == DISP_E_OVERFLOW)
        return text + L" holds a null character or a character the system code page does not have.";
    return text + L" is neither text nor a number.";
}

HRESULT scriptError(EXCEPINFO* exception, HRESULT code, const std::wstring& description)
{
    // Without an EXCEPINFO the caller gets the code itself (IDispatch::Invoke returns
    // DISP_E_EXCEPTION only with one filled in).
    if (!exception)
        return code;
    *exception = EXCEPINFO{};
    exception->bstrSource = SysAllocString(L"Vog");
    exception->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    exception->scode = code;
    return DISP_E_EXCEPTION;
}
