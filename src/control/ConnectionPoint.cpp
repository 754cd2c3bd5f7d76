#include "control/ConnectionPoint.h"

#include <new>

HRESULT EventConnectionPoint::QueryInterface(REFIID iid, void** object)
{
    return querySingle(static_cast<IConnectionPoint*>(this), IID_IConnectionPoint, iid, object);
}

HRESULT EventConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = eventInterface;
    return S_OK;
}

HRESULT EventConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** result)
{
    if (!result)
        return E_POINTER;
    *result = &container;
    container.AddRef();
    return S_OK;
}

HRESULT EventConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    if (!sink)
        return E_POINTER;
    ComPtr<IUnknown> events;
    if (FAILED(sink->QueryInterface(eventInterface, events.putVoid())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, events.putVoid())))
        return CONNECT_E_CANNOTCONNECT;
    try {
        sinks.emplace_back(nextCookie, std::move(events));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *cookie = nextCookie++;
    return S_OK;
}

HRESULT EventConnectionPoint::Unadvise(DWORD cookie)
{
    for (auto sink = sinks.begin(); sink != sinks.end(); ++sink) {
        if (sink->first == cookie) {
            // Erased before released: the sink's release may call back into us.
            ComPtr<IUnknown> leaving = std::move(sink->second);
            sinks.erase(sink);
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

void EventConnectionPoint::disconnectAll() noexcept
{
    std::vector<std::pair<DWORD, ComPtr<IUnknown>>> leaving;
    leaving.swap(sinks);
    // leaving releases the sinks as it goes.
}

HRESULT EventConnectionPoint::EnumConnections(IEnumConnections** result)
{
    if (!result)
        return E_POINTER;
    *result = nullptr;
    return E_NOTIMPL;
}

HRESULT ConnectionPointEnumerator::QueryInterface(REFIID iid, void** object)
{
    return querySingle(static_cast<IEnumConnectionPoints*>(this), IID_IEnumConnectionPoints, iid, object);
}

HRESULT ConnectionPointEnumerator::Next(ULONG count, IConnectionPoint** points, ULONG* fetched)
{
    if (!points || (count > 1 && !fetched))
        return E_POINTER;
    ULONG given = 0;
    if (count > 0 && position == 0) {
        points[0] = point.get();
        points[0]->AddRef();
        position = 1;
        given = 1;
    }
    if (fetched)
        *fetched = given;
    return given == count ? S_OK : S_FALSE;
}

HRESULT ConnectionPointEnumerator::Skip(ULONG count)
{
    ULONG left = 1 - position;
    position = count >= left ? 1 : position + count;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT ConnectionPointEnumerator::Reset()
{
    position = 0;
    return S_OK;
}

HRESULT ConnectionPointEnumerator::Clone(IEnumConnectionPoints** result)
{
    if (!result)
        return E_POINTER;
    auto copy = new (std::nothrow) ConnectionPointEnumerator(point.get());
    *result = copy;
    if (!copy)
        return E_OUTOFMEMORY;
    copy->position = position;
    return S_OK;
}
