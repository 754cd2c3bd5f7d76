// The control's one connection point, for its event interface _DVogEvents (which has no events), and
// the enumerator that lists it. Containers and script hosts expect to find and advise it even when
// nothing is ever fired.
#pragma once

#include "control/ComSupport.h"

#include <ocidl.h>
#include <olectl.h>

#include <utility>
#include <vector>

// Lives inside its container object and shares its reference count: AddRef and Release go to the
// container, so the connection point is valid exactly as long as the container is.
class EventConnectionPoint final : public IConnectionPoint {
public:
    EventConnectionPoint(IConnectionPointContainer& container, REFIID eventInterface) noexcept
        : container(container), eventInterface(eventInterface)
    {
    }
    EventConnectionPoint(const EventConnectionPoint&) = delete;
    EventConnectionPoint& operator=(const EventConnectionPoint&) = delete;

    // Drops every advised sink (the container calls this when it is destroyed or closed). The list
    // is empty before the first sink is released: a sink's last Release may call Unadvise or Advise.
    void disconnectAll() noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return container.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return container.Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** result) override;
    // Accepts a sink that implements the event interface or plain IDispatch; cookies start at 1.
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    // Not supported (E_NOTIMPL, as the interface allows): nothing is ever fired to the sinks.
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** result) override;

private:
    IConnectionPointContainer& container;
    IID eventInterface;
    std::vector<std::pair<DWORD, ComPtr<IUnknown>>> sinks;
    DWORD nextCookie = 1;
};

// Enumerates one connection point; holds a reference to it (and so to its container).
class ConnectionPointEnumerator final : public RefCounted<IEnumConnectionPoints> {
public:
    explicit ConnectionPointEnumerator(IConnectionPoint* point) noexcept : point(point) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** result) override;

private:
    ~ConnectionPointEnumerator() override = default;

    ComPtr<IConnectionPoint> point;
    ULONG position = 0;
};
