// Shared pieces of the in-process tests of the strip's control kinds: an event
// recorder, a parent window that hands notifications and colour questions back to
// its controls the way the main window does, a bounded message pump, GBK/UTF-16
// helpers and a count of the process's live GDI objects.
#pragma once

#include "app/Control.h"
#include "app/controls/Font.h"

#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace strip_test {

using Millis = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------
// Texts

inline std::string gbk(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

inline std::wstring windowTextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

// Height of `text` in `font`, measured on a screen device context.
inline int glyphHeight(HFONT font, const wchar_t* text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cy;
}

inline HFONT fontOf(HWND window) {
    return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
}

// The hint line's font record: bold, 21 pixels, GB2312 asked for, no face name.
inline LOGFONTA hintFontRecord() {
    LOGFONTA font{};
    font.lfHeight = -21;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = 134;
    return font;
}

// ---------------------------------------------------------------------------
// Messages

// Dispatches this thread's messages until `done` holds or `timeout` has passed;
// answers whether `done` held.
inline bool pumpUntil(const std::function<bool()>& done, Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done && done()) return true;
        const auto now = Clock::now();
        if (now >= deadline) return done ? done() : true;
        const auto left = std::chrono::duration_cast<Millis>(deadline - now).count();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left, 10)),
                                  QS_ALLINPUT);
    }
}

inline void pumpFor(Millis duration) { pumpUntil({}, duration); }

// ---------------------------------------------------------------------------
// Events

struct RaisedEvent {
    std::uint32_t windowNumber;
    std::uint32_t controlNumber;
    int event;
};

class EventLog final : public vparse::EventTarget {
public:
    vparse::EventAnswer raiseEvent(std::uint32_t windowNumber, std::uint32_t controlNumber, int event,
                                   std::span<const std::int32_t>) override {
        events.push_back({windowNumber, controlNumber, event});
        return {};
    }
    void controlGone(std::uint32_t, std::uint32_t controlNumber) override {
        gone.push_back(controlNumber);
    }

    int count(std::uint32_t controlNumber, int event) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const RaisedEvent& e) {
            return e.controlNumber == controlNumber && e.event == event;
        }));
    }

    std::vector<RaisedEvent> events;
    std::vector<std::uint32_t> gone;
};

// ---------------------------------------------------------------------------
// Parent window

// A visible top-level window that plays the main window's part for controls made
// directly: WM_COMMAND goes back to the control that sent it, and so do the colour
// questions. It also counts the raw notifications it sees.
class TestParent {
public:
    TestParent(int width = 900, int height = 420) {
        static const wchar_t* const className = registerClass();
        window_ = CreateWindowExW(0, className, L"strip test parent",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 10, 10, width, height,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), this);
        ShowWindow(window_, SW_SHOW);
        UpdateWindow(window_);
    }
    ~TestParent() {
        // Stop handing messages back before the controls go, then the window.
        controls_.clear();
        owned_.clear();
        if (IsWindow(window_)) DestroyWindow(window_);
    }
    TestParent(const TestParent&) = delete;
    TestParent& operator=(const TestParent&) = delete;

    HWND window() const { return window_; }
    // Takes a control over: hands its notifications and colour questions back to it
    // and destroys it with this window. Answers the control (null stays null).
    template <typename Kind>
    Kind* own(std::unique_ptr<Kind> control) {
        Kind* raw = control.get();
        if (raw) {
            controls_.push_back(raw);
            owned_.push_back(std::move(control));
        }
        return raw;
    }
    // Destroys an owned control now.
    void destroy(vparse::Control* control) {
        controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
        owned_.erase(std::remove_if(owned_.begin(), owned_.end(),
                                    [&](const auto& p) { return p.get() == control; }),
                     owned_.end());
    }

    // Raw WM_COMMAND notifications that reached this window, by code.
    int notifications(UINT code) const {
        return static_cast<int>(std::count(codes_.begin(), codes_.end(), code));
    }
    void clearNotifications() { codes_.clear(); }

    vparse::CreateContext context(int childId, RECT place, vparse::EventTarget* events,
                                  std::uint32_t controlNumber = 0, DWORD baseStyle = WS_TABSTOP) const {
        vparse::CreateContext c;
        c.baseStyle = baseStyle;
        c.parent = window_;
        c.childId = childId;
        c.left = place.left;
        c.top = place.top;
        c.width = place.right;
        c.height = place.bottom;
        c.windowNumber = windowNumber;
        c.controlNumber = controlNumber ? controlNumber : static_cast<std::uint32_t>(childId);
        c.events = events;
        return c;
    }

    static constexpr std::uint32_t windowNumber = 4242;

private:
    static const wchar_t* registerClass() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = L"StripTestParent";
        RegisterClassExW(&windowClass);
        return windowClass.lpszClassName;
    }

    vparse::Control* controlOf(HWND window) const {
        for (vparse::Control* control : controls_) {
            if (control->window() == window) return control;
        }
        return nullptr;
    }

    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<TestParent*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self) {
            switch (message) {
            case WM_COMMAND:
                self->codes_.push_back(HIWORD(wParam));
                if (vparse::Control* control = self->controlOf(reinterpret_cast<HWND>(lParam))) {
                    control->handleNotification(HIWORD(wParam));
                    return 0;
                }
                break;
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORSTATIC:
                if (vparse::Control* control = self->controlOf(reinterpret_cast<HWND>(lParam))) {
                    if (HBRUSH brush = control->answerColour(reinterpret_cast<HDC>(wParam))) {
                        return reinterpret_cast<LRESULT>(brush);
                    }
                }
                break;
            case WM_NCDESTROY:
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                break;
            default:
                break;
            }
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    std::vector<vparse::Control*> controls_;
    std::vector<std::unique_ptr<vparse::Control>> owned_;
    std::vector<UINT> codes_;
};

// ---------------------------------------------------------------------------
// Creation styles

// The styles that windows are created with on this thread while it lives, as
// CreateWindowEx received them (before the platform or later calls change them).
class CreationStyles {
public:
    CreationStyles() {
        current_ = this;
        hook_ = SetWindowsHookExW(WH_CBT, proc, nullptr, GetCurrentThreadId());
    }
    ~CreationStyles() {
        if (hook_) UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    CreationStyles(const CreationStyles&) = delete;
    CreationStyles& operator=(const CreationStyles&) = delete;

    bool hooked() const { return hook_ != nullptr; }
    // Style and extended style of `window` at its creation; {0, 0} if not seen.
    std::pair<DWORD, DWORD> of(HWND window) const {
        for (const auto& seen : seen_) {
            if (seen.window == window) return {seen.style, seen.exStyle};
        }
        return {0, 0};
    }

private:
    struct Seen {
        HWND window;
        DWORD style;
        DWORD exStyle;
    };
    static LRESULT CALLBACK proc(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND && current_) {
            const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
            current_->seen_.push_back(
                {reinterpret_cast<HWND>(wParam), static_cast<DWORD>(create->style), create->dwExStyle});
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline CreationStyles* current_ = nullptr;
    HHOOK hook_ = nullptr;
    std::vector<Seen> seen_;
};

// ---------------------------------------------------------------------------
// GDI objects

// Live GDI objects of this process. GetGuiResources answers that on Windows; Wine
// answers 0 there, so the count then comes from the GDI handle table that the
// process environment block shares with user mode (PEB offset 0xF8 on x64): an
// entry of 24 bytes is live while its type byte, at offset 14, is not zero.
// Answers -1 when neither is available (the tests run 64-bit only).
inline long liveGdiObjects() {
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) return static_cast<long>(reported);
#ifdef _WIN64
    using QueryProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) {
        return -1;
    }
    const auto* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + 0xF8);
    if (!table) return -1;
    long live = 0;
    for (size_t i = 0; i < 0x10000; ++i) {
        if (table[i * 24 + 14] != 0) ++live;
    }
    return live;
#else
    return -1;
#endif
}

}  // namespace strip_test
