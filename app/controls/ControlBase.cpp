#include "app/controls/ControlBase.h"

#include <commctrl.h>

#include <vector>

namespace vparse {

namespace {
constexpr UINT_PTR subclassId = 1;
}

COLORREF resolveColour(std::int32_t colour) {
    if (colour == buttonFaceColour) return GetSysColor(COLOR_BTNFACE);
    return static_cast<COLORREF>(colour) & 0x00FFFFFFu;
}

ControlBase::ControlBase(const CreateContext& context)
    : windowNumber_(context.windowNumber),
      controlNumber_(context.controlNumber),
      events_(context.events) {}

ControlBase::~ControlBase() {
    HWND window = window_;
    detach();
    if (window && IsWindow(window)) DestroyWindow(window);
}

void ControlBase::detach() {
    if (!window_) return;
    if (subclassed_) {
        RemoveWindowSubclass(window_, subclassProc, subclassId);
        subclassed_ = false;
    } else if (GetWindowLongPtrW(window_, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    }
    window_ = nullptr;
}

EventAnswer ControlBase::raise(int event, std::initializer_list<std::int32_t> arguments) {
    if (!events_) return {};
    const std::vector<std::int32_t> copy(arguments);
    return events_->raiseEvent(windowNumber_, controlNumber_, event, copy);
}

bool ControlBase::createPlatformWindow(const wchar_t* platformClass, const Text& text,
                                       DWORD style, const CreateContext& context) {
    const std::wstring wide = toWide(text);
    HWND window = CreateWindowExW(0, platformClass, wide.c_str(), style, context.left, context.top,
                                  context.width, context.height, context.parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(context.childId)),
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window) return false;
    subclass(window);
    return true;
}

void ControlBase::applyFont(const FontRecord& record) {
    font_ = makeFont(record);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(fontOrDefault(font_)), TRUE);
}

void ControlBase::subclass(HWND window) {
    window_ = window;
    subclassed_ = SetWindowSubclass(window, subclassProc, subclassId,
                                    reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

const wchar_t* ControlBase::registerOwnClass(const wchar_t* name, UINT style, HBRUSH background) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = ownClassProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    // A second registration fails with ERROR_CLASS_ALREADY_EXISTS, which is fine.
    RegisterClassExW(&windowClass);
    return name;
}

LRESULT CALLBACK ControlBase::ownClassProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<ControlBase*>(create->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self) self->window_ = window;
    }
    auto* self = reinterpret_cast<ControlBase*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->route(window, message, wParam, lParam);
}

LRESULT CALLBACK ControlBase::subclassProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<ControlBase*>(data);
    return self->route(window, message, wParam, lParam);
}

LRESULT ControlBase::route(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_NCDESTROY) return onMessage(message, wParam, lParam);

    // The window's last message: let the platform finish, then tell the owner that
    // the control is gone. The owner may delete this object, so nothing touches it
    // afterwards.
    const LRESULT result = defaultProcessing(message, wParam, lParam);
    (void)window;
    detach();
    if (events_) events_->controlGone(windowNumber_, controlNumber_);
    return result;
}

LRESULT ControlBase::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return defaultProcessing(message, wParam, lParam);
}

LRESULT ControlBase::defaultProcessing(UINT message, WPARAM wParam, LPARAM lParam) {
    if (subclassed_) return DefSubclassProc(window_, message, wParam, lParam);
    return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace vparse
