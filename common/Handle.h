// Small owners of Win32 handles: each closes its handle on every path.
#pragma once
#include <windows.h>
#include <winsvc.h>
#include <utility>

namespace win {

// Owner of one handle of kind Traits; Traits gives the invalid value and the close call.
template <class Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type value) noexcept : value_(value) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Type Get() const noexcept { return value_; }
    bool IsValid() const noexcept { return Traits::IsValid(value_); }
    explicit operator bool() const noexcept { return IsValid(); }

    Type Release() noexcept { return std::exchange(value_, Traits::Invalid()); }

    // Closes the held handle (keeping the caller's last-error code) and takes `value`.
    void Reset(Type value = Traits::Invalid()) noexcept
    {
        if (Traits::IsValid(value_)) {
            DWORD saved = GetLastError();
            Traits::Close(value_);
            SetLastError(saved);
        }
        value_ = value;
    }

    // For out-parameters of creation functions: closes what is held first.
    Type* Receive() noexcept
    {
        Reset();
        return &value_;
    }

private:
    Type value_ = Traits::Invalid();
};

// Kernel handles: both NULL and INVALID_HANDLE_VALUE count as "no handle".
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};
using Handle = UniqueResource<KernelHandleTraits>;

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { CloseServiceHandle(h); }
};
using ServiceHandle = UniqueResource<ServiceHandleTraits>;

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { RegCloseKey(h); }
};
using RegKey = UniqueResource<RegKeyTraits>;

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { FindClose(h); }
};
using FindHandle = UniqueResource<FindHandleTraits>;

struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { FreeLibrary(h); }
};
using Library = UniqueResource<LibraryTraits>;

struct EventSourceTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { DeregisterEventSource(h); }
};
using EventSource = UniqueResource<EventSourceTraits>;

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { DeleteObject(h); }
};
using GdiObject = UniqueResource<GdiObjectTraits>;

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { LocalFree(h); }
};
using LocalMemory = UniqueResource<LocalMemoryTraits>;

} // namespace win
