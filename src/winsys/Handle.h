// One small move-only owner per kind of platform handle. Each kind says in one line which value
// means "no handle" and how a handle is closed: NULL for threads, events, processes, modules and
// registry keys; INVALID_HANDLE_VALUE for files and change notifications.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept : value(Traits::invalid()) {}
    explicit UniqueHandle(Type v) noexcept : value(v) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Type get() const noexcept { return value; }
    bool valid() const noexcept { return value != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership; the caller closes the handle.
    Type release() noexcept { return std::exchange(value, Traits::invalid()); }

    // Closes what is held, then takes v.
    void reset(Type v = Traits::invalid()) noexcept
    {
        Type old = std::exchange(value, v);
        if (old != Traits::invalid())
            Traits::close(old);
    }

private:
    Type value;
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { CloseHandle(h); }
};
struct FileHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { CloseHandle(h); }
};
struct ChangeNotificationTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { FindCloseChangeNotification(h); }
};
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { RegCloseKey(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { FreeLibrary(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;        // threads, events, processes
using FileHandle = UniqueHandle<FileHandleTraits>;            // CreateFileA
using ChangeNotification = UniqueHandle<ChangeNotificationTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
using LoadedModule = UniqueHandle<ModuleTraits>;
