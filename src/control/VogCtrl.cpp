// CVogCtrl: its identity, its dispatch interface and the open method, and the end of its workers.
#include "control/VogCtrl.h"

#include "control/DispatchArguments.h"
#include "control/Identifiers.h"
#include "resources/resource.h"
#include "winsys/Module.h"

#include <algorithm>
#include <new>
#include <stdexcept>

static_assert(vogMiscStatus == (OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME | OLEMISC_INSIDEOUT |
                                OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE));

namespace {

// What the base reports: class, dispatch and event interfaces, property page, type name, status and
// the version stamp that persistence stores.
constexpr ControlClass vogClass = {CLSID_VogCtrl,   DIID_DVog,     DIID_DVogEvents, CLSID_VogPropPage,
                                   IDS_VOG_CONTROL, vogMiscStatus, vogVersionStamp};

}  // namespace

CVogCtrl::CVogCtrl() noexcept : OleControl(vogClass) {}

CVogCtrl::~CVogCtrl()
{
    // One deadline for all workers together, so that the container's thread waits at most the
    // grace period whatever their number. A worker still busy then (in a call that does not look at
    // the stop) is let go with its record and ends by itself; it keeps the module loaded until then.
    TaskThread::stopAll(tasks, TaskThread::gracePeriodMs);
    tasks.clear();
}

// --- IDispatch ---

HRESULT CVogCtrl::dispatchTypeInfo(ComPtr<ITypeInfo>& info)
{
    if (!typeInfo) {
        HRESULT result = moduleTypeInfo(DIID_DVog, typeInfo);
        if (FAILED(result))
            return result;
    }
    info = typeInfo;
    return S_OK;
}

HRESULT CVogCtrl::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CVogCtrl::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    ComPtr<ITypeInfo> dispatchInfo;
    HRESULT result = dispatchTypeInfo(dispatchInfo);
    if (SUCCEEDED(result))
        *info = dispatchInfo.detach();
    return result;
}

HRESULT CVogCtrl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids)
        return E_POINTER;
    ComPtr<ITypeInfo> dispatchInfo;
    HRESULT result = dispatchTypeInfo(dispatchInfo);
    if (FAILED(result))
        return result;
    return DispGetIDsOfNames(dispatchInfo.get(), names, count, ids);
}

HRESULT CVogCtrl::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* argError)
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (id != dispidOpen || !(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (!params)
        return E_INVALIDARG;
    // theme, file, intFile, info: by position, by name (VBA's theme:="..."), or both.
    UINT order[4];
    HRESULT ordered = argumentOrder(*params, 4, order, argError);
    if (FAILED(ordered))
        return ordered;
    static const wchar_t* const parameterNames[4] = {L"theme", L"file", L"intFile", L"info"};
    try {
        std::string texts[4];
        for (UINT parameter = 0; parameter < 4; ++parameter) {
            HRESULT converted = argumentText(params->rgvarg[order[parameter]], lcid, texts[parameter]);
            if (FAILED(converted)) {
                if (argError)
                    *argError = order[parameter];
                return scriptError(exception, converted, refusalText(converted, parameterNames[parameter]));
            }
        }
        if (runningRequests() >= maxRunningRequests)
            return scriptError(exception, E_ABORT,
                               L"Vog is already opening " + std::to_wstring(maxRunningRequests) +
                                   L" documents for this page; open this one when one of them is done.");
        if (result)
            VariantInit(result);
        // The message boxes run a message loop on this thread: keep the object alive through them
        // even if the container lets go of it meanwhile.
        ComPtr<IDispatch> keepAlive(static_cast<IDispatch*>(this));
        open(texts[0], texts[1], texts[2], texts[3]);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

void CVogCtrl::open(const std::string& theme, const std::string& file, const std::string& intFile,
                    const std::string& info)
{
    if (file.empty() || theme.empty()) {
        MessageBoxA(nullptr, "Illegal call", "Vog Control", MB_OK);
        return;
    }
    try {
        startRequest(file, intFile, theme, info);
    } catch (const std::bad_alloc&) {
        // Exhausted memory ends the call silently.
    } catch (const std::exception& error) {
        MessageBoxA(nullptr, error.what(), "Vog Error", MB_OK | MB_ICONERROR);
    } catch (...) {
    }
}

size_t CVogCtrl::runningRequests()
{
    // A record whose worker has ended, or never started, has nothing more to do.
    tasks.erase(std::remove_if(tasks.begin(), tasks.end(), [](const auto& record) { return record->waitFor(0); }),
                tasks.end());
    return tasks.size();
}

void CVogCtrl::startRequest(const std::string& file, const std::string& intFile, const std::string& theme,
                            const std::string& info)
{
    // The record joins the list before the task is built: it stays, empty, when building fails.
    tasks.push_back(std::make_unique<TaskThread>());
    tasks.back()->startTask(Request{file, intFile, theme, info}, moduleInstance());
}
