// CVogCtrl: the scriptable control. Its one method, open(theme, file, intFile, info), checks its
// arguments and hands the request to a worker of its own, so the container's thread never waits for
// a search, a dialog or a viewer. The container protocol is the base's (OleControl); this class adds
// its identity, its dispatch interface _DVog, and the workers it has started.
//
// Threads: every method runs on the container's thread (the class is registered apartment-threaded).
// The control takes no lock.
#pragma once

#include "control/OleControl.h"
#include "request/Task.h"

#include <memory>
#include <string>
#include <vector>

class CVogCtrl final : public OleControl {
public:
    // The most requests of one control that run at once: more than a person opens by hand, few
    // enough that a page's loop cannot exhaust the desktop's windows and heap.
    static constexpr size_t maxRunningRequests = 16;

    // Starts at reference count 1 (see createObject).
    CVogCtrl() noexcept;

    // IDispatch (_DVog): one method, open, dispatch id 1.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    // Calls open when given exactly four arguments, by position or by the parameters' names (see
    // argumentOrder): fewer give DISP_E_PARAMNOTOPTIONAL, more DISP_E_BADPARAMCOUNT, a wrong name
    // DISP_E_PARAMNOTFOUND and an argument without text DISP_E_TYPEMISMATCH (with its index in
    // *argError), all without entering the method; with an EXCEPINFO, a refused argument is a script
    // error (DISP_E_EXCEPTION) whose text names it. Numbers become text in the caller's locale.
    // While maxRunningRequests requests of this control run, a further call is a script error
    // (E_ABORT) that starts nothing.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

private:
    // Stops the workers that still run, waiting for them at most TaskThread::gracePeriodMs in all;
    // the base then leaves the container.
    ~CVogCtrl() override;

    // The scriptable method. theme and file are required (else the box "Illegal call"); a standard
    // error while the request is prepared is shown in the box "Vog Error"; anything else is dropped.
    void open(const std::string& theme, const std::string& file, const std::string& intFile,
              const std::string& info);
    // Hands an accepted request to the request layer.
    void startRequest(const std::string& file, const std::string& intFile, const std::string& theme,
                      const std::string& info);

    HRESULT dispatchTypeInfo(ComPtr<ITypeInfo>& info);

    // Frees the records whose workers have ended and counts those that still run.
    size_t runningRequests();

    // One record per accepted request, in the order of the calls. A record is freed at the next
    // call after its worker has ended; destruction stops the workers that still run and lets go of
    // those that do not end in time.
    std::vector<std::unique_ptr<TaskThread>> tasks;
    ComPtr<ITypeInfo> typeInfo;  // of _DVog, loaded on first use
};
