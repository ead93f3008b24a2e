// Owning wrappers for everything the program releases: one line per handle type.
// Objects kept for the life of the process (the state record, the MAPI session and store, the
// sinks, the font, the tray pop-up menu, the single-instance event) stay raw on purpose.
#pragma once
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
