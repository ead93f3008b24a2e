// Owning wrappers for everything the program releases: one line per handle type.
// Objects kept for the life of the process (the state record, the MAPI session and store, the
// sinks, the font, the tray pop-up menu, the single-instance event) stay raw on purpose.
#pragma once
#include "late_bound.h"

#include <windows.h>
#include <utility>

template <typename T, auto Close, T Invalid = T{}> class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : value_(value) {}
    UniqueAny(UniqueAny&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        reset(std::exchange(other.value_, Invalid));
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid; }
    T* put() {
        reset();
        return &value_;
    }
    T release() { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) {
        if (value_ != Invalid)
            Close(value_);
        value_ = value;
    }

private:
    T value_ = Invalid;
};

using UniqueHkey = UniqueAny<HKEY, &RegCloseKey>;
using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;
using UniqueHdc = UniqueAny<HDC, &DeleteDC>;
using UniqueGdiObject = UniqueAny<HGDIOBJ, &DeleteObject>;
using UniqueHbitmap = UniqueAny<HBITMAP, &DeleteObject>;
using UniqueHpalette = UniqueAny<HPALETTE, &DeleteObject>;
using UniqueHicon = UniqueAny<HICON, &DestroyIcon>;
using UniqueHmenu = UniqueAny<HMENU, &DestroyMenu>;
using UniqueHwnd = UniqueAny<HWND, &DestroyWindow>;
using UniqueHglobal = UniqueAny<HGLOBAL, &GlobalFree>;
using UniqueHmodule = UniqueAny<HMODULE, &FreeLibrary>;
using UniqueBstr = UniqueAny<BSTR, &late::sysFreeString>;
using UniqueLocalText = UniqueAny<char*, &LocalFree>; // texts that FormatMessageA allocates

// MAPI and COM: an owning interface pointer, MAPI buffers and row sets.
#include <mapix.h>
#include <memory>

template <typename T> class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {
        reset();
        return &p_;
    }
    // For out-parameters typed as a base interface, such as OpenEntry's IUnknown**.
    template <typename U> U** putAs() { return reinterpret_cast<U**>(put()); }
    T* release() { return std::exchange(p_, nullptr); }
    void reset(T* p = nullptr) {
        if (p_)
            p_->Release();
        p_ = p;
    }

private:
    T* p_ = nullptr;
};

// Releases a row set: each row's values, then the set. `release` is MAPIFreeBuffer.
void freeRowSet(LPMAPIFREEBUFFER release, SRowSet* rows);

struct MapiBufferFree {
    void operator()(void* buffer) const { MAPIFreeBuffer(buffer); }
};
template <typename T> using MapiBuffer = std::unique_ptr<T, MapiBufferFree>;

struct RowSetFree {
    void operator()(SRowSet* rows) const { freeRowSet(MAPIFreeBuffer, rows); }
};
using RowSetPtr = std::unique_ptr<SRowSet, RowSetFree>;
