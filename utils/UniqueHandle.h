// Move-only owners for system handles, each defined by its invalid value and its
// close function. Closing keeps GetLastError, so a caller can still read the error
// of the call that failed before the owner went out of scope.
#pragma once
#include <windows.h>
#include <utility>

template <class Traits>
class UniqueAny {
public:
    using Handle = typename Traits::Handle;

    UniqueAny() = default;
    explicit UniqueAny(Handle h) : h_(h) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : h_(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~UniqueAny() { Reset(); }

    Handle Get() const { return h_; }
    bool Valid() const { return h_ != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }

    Handle Release() {
        Handle h = h_;
        h_ = Traits::Invalid();
        return h;
    }
    void Reset(Handle h = Traits::Invalid()) {
        if (Valid()) {
            DWORD saved = GetLastError();
            Traits::Close(h_);
            SetLastError(saved);
        }
        h_ = h;
    }

private:
    Handle h_ = Traits::Invalid();
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
// Handles that are null when absent, closed by the given function.
template <class H, auto CloseFunction>
struct NullHandleTraits {
    using Handle = H;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseFunction(h); }
};
struct SearchHandleTraits {   // FindFirstFile's: invalid as a file handle, closed apart
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};
using KernelHandleTraits = NullHandleTraits<HANDLE, CloseHandle>;  // process, thread, event
using ModuleTraits = NullHandleTraits<HMODULE, FreeLibrary>;
template <class H>
using GdiObjectTraits = NullHandleTraits<H, DeleteObject>;

using UniqueFile = UniqueAny<FileHandleTraits>;
using UniqueSearch = UniqueAny<SearchHandleTraits>;
using UniqueKernelHandle = UniqueAny<KernelHandleTraits>;
using UniqueModule = UniqueAny<ModuleTraits>;
using UniqueFont = UniqueAny<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueAny<GdiObjectTraits<HBRUSH>>;
using UniqueBitmap = UniqueAny<GdiObjectTraits<HBITMAP>>;
