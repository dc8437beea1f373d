// Small owners for platform resources: each closes what it holds exactly once.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace vparse {

// A handle with a close function known at compile time.
template <typename Handle, auto Close, Handle Invalid = Handle{}>
class Scoped {
public:
    Scoped() = default;
    explicit Scoped(Handle handle) : handle_(handle) {}
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Scoped(Scoped&& other) noexcept : handle_(other.release()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~Scoped() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Invalid; }
    Handle release() { return std::exchange(handle_, Invalid); }
    void reset(Handle handle = Invalid) {
        Handle old = std::exchange(handle_, handle);
        if (old != Invalid) Close(old);
    }
    // For calls that fill in a handle: closes the old one first.
    Handle* put() {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Invalid;
};

namespace detail {
inline void deleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void closeKey(HKEY key) { RegCloseKey(key); }
inline void destroyIcon(HICON icon) { DestroyIcon(icon); }
inline void destroyWindow(HWND window) {
    if (IsWindow(window)) DestroyWindow(window);
}
inline void freeBstr(BSTR text) { SysFreeString(text); }
}  // namespace detail

using ScopedBrush = Scoped<HBRUSH, detail::deleteGdiObject>;
using ScopedFont = Scoped<HFONT, detail::deleteGdiObject>;
using ScopedKey = Scoped<HKEY, detail::closeKey>;
using ScopedIcon = Scoped<HICON, detail::destroyIcon>;
using ScopedWindow = Scoped<HWND, detail::destroyWindow>;
using ScopedBstr = Scoped<BSTR, detail::freeBstr>;

// A screen device context, released on scope exit.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// Selects a GDI object into a device context and puts the old one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (old_) SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace vparse
