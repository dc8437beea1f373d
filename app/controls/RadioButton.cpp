#include "app/controls/RadioButton.h"

#include "app/controls/PushButton.h"

namespace vparse {

RadioButton::RadioButton(const RadioButtonSettings& settings, const CreateContext& context)
    : ControlBase(context), settings_(settings) {}

std::unique_ptr<RadioButton> RadioButton::create(const RadioButtonSettings& settings,
                                                 const CreateContext& context) {
    std::unique_ptr<RadioButton> button(new RadioButton(settings, context));
    button->brush_.reset(CreateSolidBrush(resolveColour(settings.backgroundColour)));
    DWORD style = context.baseStyle | WS_CHILD | WS_CLIPSIBLINGS | BS_MULTILINE |
                  BS_AUTORADIOBUTTON |
                  buttonAlignmentStyle(settings.horizontalAlignment, settings.verticalAlignment);
    if (settings.pushLike) style |= BS_PUSHLIKE;
    if (settings.flat) style |= BS_FLAT;
    if (settings.textOnLeft) style |= BS_LEFTTEXT;
    if (!button->createPlatformWindow(L"BUTTON", settings.caption, style, context)) return nullptr;
    button->applyFont(settings.font);
    SendMessageW(button->window_, BM_SETCHECK, settings.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    return button;
}

bool RadioButton::writeSetting(int index, const Value& value) {
    if (index == checked) {
        const auto* number = std::get_if<std::int32_t>(&value);
        settings_.checked = number && *number == 1;
        if (window_) {
            SendMessageW(window_, BM_SETCHECK, settings_.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
    return false;
}

std::optional<Value> RadioButton::readSetting(int index) {
    switch (index) {
    case checked:
        if (window_) settings_.checked = SendMessageW(window_, BM_GETCHECK, 0, 0) == BST_CHECKED;
        return Value(std::int32_t{settings_.checked});
    case pushLike: return Value(std::int32_t{settings_.pushLike});
    case flat: return Value(std::int32_t{settings_.flat});
    case caption: return Value(settings_.caption);
    case textOnLeft: return Value(std::int32_t{settings_.textOnLeft});
    case horizontalAlignment: return Value(settings_.horizontalAlignment);
    case verticalAlignment: return Value(settings_.verticalAlignment);
    case textColour: return Value(settings_.textColour);
    case backgroundColour: return Value(settings_.backgroundColour);
    default: return std::nullopt;
    }
}

void RadioButton::raiseClick() { raise(click); }

void RadioButton::handleNotification(UINT code) {
    // The platform reports a click when an unchecked radio button gains the focus;
    // that is not the user's click.
    if (code == BN_CLICKED && !focusChanging_) raiseClick();
}

HBRUSH RadioButton::answerColour(HDC dc) {
    SetTextColor(dc, resolveColour(settings_.textColour));
    SetBkColor(dc, resolveColour(settings_.backgroundColour));
    return brush_.get();
}

LRESULT RadioButton::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
        focusChanging_ = true;
        const LRESULT result = defaultProcessing(message, wParam, lParam);
        focusChanging_ = false;
        return result;
    }
    return defaultProcessing(message, wParam, lParam);
}

}  // namespace vparse
