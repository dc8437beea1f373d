#include "app/controls/EditBox.h"

#include "app/FrameTexts.h"

namespace vparse {

EditBox::EditBox(const EditBoxSettings& settings, const CreateContext& context)
    : ControlBase(context), settings_(settings) {}

DWORD EditBox::styleFor(const EditBoxSettings& settings) {
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (!settings.hideSelection) style |= ES_NOHIDESEL;
    if (settings.multiLine) {
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
        switch (settings.scrollBars) {
        case 1: style |= WS_HSCROLL | ES_AUTOHSCROLL; break;
        case 2: style |= WS_VSCROLL; break;
        case 3: style |= WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL; break;
        default: break;
        }
    } else {
        style |= ES_AUTOHSCROLL;
    }
    if (settings.alignment == 1) style |= ES_CENTER;
    if (settings.alignment == 2) style |= ES_RIGHT;
    if (settings.inputMode == 1) style |= ES_READONLY;
    if (settings.inputMode == 2) style |= ES_PASSWORD;
    if (settings.caseConversion == 1) style |= ES_LOWERCASE;
    if (settings.caseConversion == 2) style |= ES_UPPERCASE;
    return style;
}

std::unique_ptr<EditBox> EditBox::create(const EditBoxSettings& settings,
                                         const CreateContext& context) {
    std::unique_ptr<EditBox> box(new EditBox(settings, context));
    box->brush_.reset(CreateSolidBrush(resolveColour(settings.backgroundColour)));

    const DWORD style = context.baseStyle | styleFor(settings);
    if (!box->createPlatformWindow(L"EDIT", settings.content, style, context)) return nullptr;
    HWND window = box->window_;

    // Font, and the least height of a one-line box: one line of its font plus the
    // sunken edge above and below.
    box->font_ = makeFont(settings.font);
    const HFONT font = fontOrDefault(box->font_);
    if (!settings.multiLine) {
        const int least = textHeight(font, texts::tallGlyph) + 2 * GetSystemMetrics(SM_CYEDGE);
        RECT bounds{};
        GetWindowRect(window, &bounds);
        if (bounds.bottom - bounds.top < least) {
            SetWindowPos(window, nullptr, 0, 0, bounds.right - bounds.left, least,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (!settings.multiLine) {
        SetWindowPos(window, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }

    SendMessageW(window, EM_LIMITTEXT, static_cast<WPARAM>(settings.maxLength), 0);
    if (settings.inputMode == 2) {
        SendMessageW(window, EM_SETPASSWORDCHAR, static_cast<WPARAM>(settings.passwordChar & 0xFFFF),
                     0);
    }
    SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(settings.selectionStart),
                 static_cast<LPARAM>(settings.selectionStart + settings.selectionLength));
    SendMessageW(window, EM_SCROLLCARET, 0, 0);
    box->applyBorder();
    return box;
}

void EditBox::applyBorder() {
    LONG_PTR exStyle = GetWindowLongPtrW(window_, GWL_EXSTYLE);
    exStyle &= ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME);
    switch (settings_.border) {
    case 1: exStyle |= WS_EX_CLIENTEDGE; break;
    case 2: exStyle |= WS_EX_DLGMODALFRAME; break;
    case 3: exStyle |= WS_EX_STATICEDGE; break;
    case 4: exStyle |= WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME; break;
    default: break;
    }
    SetWindowLongPtrW(window_, GWL_EXSTYLE, exStyle);
    LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
    if (settings_.border == 5) {
        style |= WS_BORDER;
    } else {
        style &= ~static_cast<LONG_PTR>(WS_BORDER);
    }
    SetWindowLongPtrW(window_, GWL_STYLE, style);
    SetWindowPos(window_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

bool EditBox::writeSetting(int index, const Value& value) {
    if (index != content) return false;
    // Steps: flag, keep, replace the whole text (also when it is the same), clear,
    // then one change report of our own. The platform's EN_CHANGE for the
    // replacement arrives while the flag is set and raises nothing.
    writingOwnContent_ = true;
    const Text* text = std::get_if<Text>(&value);
    settings_.content = text ? *text : Text{};
    if (window_) {
        const std::wstring wide = toWide(settings_.content);
        SetWindowTextW(window_, wide.c_str());
    }
    writingOwnContent_ = false;
    if (window_) {
        SendMessageW(window_, WM_COMMAND, MAKEWPARAM(0, EN_CHANGE),
                     reinterpret_cast<LPARAM>(window_));
    }
    return false;
}

std::optional<Value> EditBox::readSetting(int index) {
    switch (index) {
    case content: {
        if (!window_) return Value(settings_.content);
        const int length = GetWindowTextLengthW(window_);
        std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
        const int copied = GetWindowTextW(window_, wide.data(), length + 1);
        wide.resize(static_cast<size_t>(copied > 0 ? copied : 0));
        return Value(fromWide(wide));
    }
    case border: return Value(settings_.border);
    case textColour: return Value(settings_.textColour);
    case backgroundColour: return Value(settings_.backgroundColour);
    case hideSelection: return Value(std::int32_t{settings_.hideSelection});
    case maxLength: return Value(settings_.maxLength);
    case multiLine: return Value(std::int32_t{settings_.multiLine});
    case scrollBars: return Value(settings_.scrollBars);
    case alignment: return Value(settings_.alignment);
    case inputMode: return Value(settings_.inputMode);
    case passwordChar: return Value(settings_.passwordChar);
    case caseConversion: return Value(settings_.caseConversion);
    case selectionStart: return Value(settings_.selectionStart);
    case selectionLength: return Value(settings_.selectionLength);
    default: return std::nullopt;
    }
}

bool EditBox::claimsKey(UINT virtualKey) const {
    return virtualKey == VK_RETURN && settings_.multiLine && settings_.inputMode != 1;
}

void EditBox::handleNotification(UINT code) {
    if (code == EN_CHANGE) contentChanged();
}

void EditBox::contentChanged() {
    if (writingOwnContent_) return;
    raise(contentChange);
}

HBRUSH EditBox::answerColour(HDC dc) {
    SetTextColor(dc, resolveColour(settings_.textColour));
    SetBkColor(dc, resolveColour(settings_.backgroundColour));
    return brush_.get();
}

LRESULT EditBox::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The change report that a write of the content sends the box itself.
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE &&
        reinterpret_cast<HWND>(lParam) == window_) {
        contentChanged();
        return 0;
    }
    if (settings_.multiLine) return defaultProcessing(message, wParam, lParam);

    // A one-line box keeps its text line vertically centred and paints all around
    // it in its background colour.
    switch (message) {
    case WM_NCCALCSIZE: {
        const LRESULT result = defaultProcessing(message, wParam, lParam);
        const auto font = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
        if (!font) return result;
        const int line = textHeight(font, "W");
        RECT* area = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                            : reinterpret_cast<RECT*>(lParam);
        area->top = area->top + (area->bottom - area->top - line) / 2;
        area->bottom = area->top + line;
        return result;
    }
    case WM_NCPAINT: {
        if (HDC dc = GetWindowDC(window_)) {
            RECT outer{};
            GetWindowRect(window_, &outer);
            RECT inner{};
            GetClientRect(window_, &inner);
            MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&inner), 2);
            OffsetRect(&inner, -outer.left, -outer.top);
            OffsetRect(&outer, -outer.left, -outer.top);
            ExcludeClipRect(dc, inner.left, inner.top, inner.right, inner.bottom);
            FillRect(dc, &outer, brush_.get());
            ReleaseDC(window_, dc);
        }
        return defaultProcessing(WM_NCPAINT, 1, 0);
    }
    case WM_ERASEBKGND: {
        RECT area{};
        GetClipBox(reinterpret_cast<HDC>(wParam), &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, brush_.get());
        return 1;
    }
    case WM_NCHITTEST: {
        const LRESULT platform = defaultProcessing(message, wParam, lParam);
        POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ScreenToClient(window_, &point);
        RECT inner{};
        GetClientRect(window_, &inner);
        return PtInRect(&inner, point) ? platform : HTBORDER;
    }
    default:
        return defaultProcessing(message, wParam, lParam);
    }
}

}  // namespace vparse
