#include "app/controls/PushButton.h"

namespace vparse {

DWORD buttonAlignmentStyle(std::int32_t horizontal, std::int32_t vertical) {
    DWORD style = 0;
    switch (horizontal) {
    case 0: style |= BS_LEFT; break;
    case 1: style |= BS_CENTER; break;
    case 2: style |= BS_RIGHT; break;
    default: break;
    }
    switch (vertical) {
    case 0: style |= BS_TOP; break;
    case 1: style |= BS_VCENTER; break;
    case 2: style |= BS_BOTTOM; break;
    default: break;
    }
    return style;
}

PushButton::PushButton(const PushButtonSettings& settings, const CreateContext& context)
    : ControlBase(context), settings_(settings) {}

std::unique_ptr<PushButton> PushButton::create(const PushButtonSettings& settings,
                                               const CreateContext& context) {
    std::unique_ptr<PushButton> button(new PushButton(settings, context));
    const DWORD style = context.baseStyle | WS_CHILD | WS_CLIPSIBLINGS | BS_MULTILINE |
                        (settings.buttonType == 1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) |
                        buttonAlignmentStyle(settings.horizontalAlignment,
                                             settings.verticalAlignment);
    if (!button->createPlatformWindow(L"BUTTON", settings.caption, style, context)) return nullptr;
    button->applyFont(settings.font);
    return button;
}

bool PushButton::writeSetting(int index, const Value& value) {
    (void)index;
    (void)value;
    return false;
}

std::optional<Value> PushButton::readSetting(int index) {
    switch (index) {
    case buttonType: return Value(settings_.buttonType);
    case caption: return Value(settings_.caption);
    case horizontalAlignment: return Value(settings_.horizontalAlignment);
    case verticalAlignment: return Value(settings_.verticalAlignment);
    default: return std::nullopt;
    }
}

bool PushButton::isDefaultButton() const {
    if (!window_) return false;
    return (GetWindowLongPtrW(window_, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

void PushButton::raiseClick() { raise(click); }

void PushButton::handleNotification(UINT code) {
    if (code == BN_CLICKED) raiseClick();
}

}  // namespace vparse
