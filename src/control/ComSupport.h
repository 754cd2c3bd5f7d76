// Small COM helpers: an owning interface pointer, reference counting for our objects, the
// create-query-release idiom for new objects, failures as HRESULTs, task-memory strings, and the
// module's own file name, strings and type library.
#pragma once

#include "winsys/Module.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <new>
#include <string>
#include <utility>

// Owns one reference to an interface. Copies add a reference, moves hand it over.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Adds its own reference to p.
    explicit ComPtr(T* p) noexcept : ptr(p)
    {
        if (ptr)
            ptr->AddRef();
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.ptr) {}
    ComPtr(ComPtr&& other) noexcept : ptr(std::exchange(other.ptr, nullptr)) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(ptr, other.ptr);
        return *this;
    }

    T* get() const noexcept { return ptr; }
    T* operator->() const noexcept { return ptr; }
    explicit operator bool() const noexcept { return ptr != nullptr; }

    // Releases what is held and gives the address to fill, for out-parameters.
    T** put() noexcept
    {
        reset();
        return &ptr;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

    void reset() noexcept
    {
        if (T* old = std::exchange(ptr, nullptr))
            old->Release();
    }

    // Hands the reference to the caller (for out-parameters of our own methods).
    T* detach() noexcept { return std::exchange(ptr, nullptr); }

    // Asks for another interface of the same object; out is empty on failure.
    template <typename U>
    HRESULT query(REFIID iid, ComPtr<U>& out) const noexcept
    {
        if (!ptr) {
            out.reset();
            return E_POINTER;
        }
        return ptr->QueryInterface(iid, out.putVoid());
    }

private:
    T* ptr = nullptr;
};

// Reference counting of a COM object made with new: it starts at count 1 (see createObject) and
// deletes itself on its last Release. AddRef and Release here serve every one of the interfaces.
// The object holds the module while it lives; the lock is a member of this base, so it goes only
// after everything of the derived classes is gone.
//
// While the object is being destroyed its count stands far above zero: what it releases there (a
// container's site, an event sink) may call back with AddRef or QueryInterface and then Release,
// and such a pair must not reach zero a second time and delete the object again.
template <typename... Interfaces>
class RefCounted : public Interfaces... {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references;
        if (left == 0) {
            references = destroying;
            delete this;
        }
        return left;
    }

protected:
    RefCounted() noexcept = default;
    virtual ~RefCounted() = default;

private:
    static constexpr ULONG destroying = 0x40000000;

    ModuleLock moduleLock;
    std::atomic<ULONG> references{1};
};

// Creates an object of type T (which starts at reference count 1), asks it for iid and drops the
// creation reference: the caller gets exactly the reference that the query added, or nothing.
template <typename T>
HRESULT createObject(REFIID iid, void** object) noexcept
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    T* created = nullptr;
    try {
        created = new T();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
    HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

// QueryInterface of an object with one interface besides IUnknown: self for IUnknown and own, with
// a reference added; null and E_NOINTERFACE for anything else.
template <typename Interface>
HRESULT querySingle(Interface* self, REFIID own, REFIID iid, void** object) noexcept
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == own) {
        *object = self;
        self->AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// The last error as an HRESULT. Never a success code: under Wine a failed call can leave the last
// error at 0, which becomes E_FAIL.
HRESULT lastErrorResult() noexcept;

// A wide copy of text in memory from CoTaskMemAlloc, as COM out-parameters want it; null when memory
// is exhausted.
LPOLESTR taskMemCopy(const wchar_t* text) noexcept;

// The module's file name (VOG.OCX with its full path); empty when it cannot be had in full.
std::wstring modulePath();

// String resource id of the module; empty when it is missing.
std::wstring moduleString(UINT id);

// The type library embedded in the module as TYPELIB resource 1, loaded without registering it.
HRESULT loadModuleTypeLib(ComPtr<ITypeLib>& library) noexcept;

// The type information of one item of that library (interface or class), by its identifier.
HRESULT moduleTypeInfo(REFGUID guid, ComPtr<ITypeInfo>& info) noexcept;
