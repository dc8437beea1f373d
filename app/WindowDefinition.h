// The main window's definition: its own settings, its eleven controls in creation
// order and the handlers bound to their events.
#pragma once

#include "app/controls/EditBox.h"
#include "app/controls/PushButton.h"
#include "app/controls/RadioButton.h"
#include "app/controls/Timer.h"
#include "browser/BrowserBox.h"

#include <cstdint>
#include <variant>
#include <vector>

namespace vparse {

inline constexpr std::uint32_t mainWindowNumber = 1375797249;
// The window's own unit number among its units; nothing addresses it.
inline constexpr std::uint32_t mainWindowUnitNumber = 100728832;

// Control numbers, by the controls' names.
namespace controls {
inline constexpr std::uint32_t 超文本浏览框1 = 369164290;
inline constexpr std::uint32_t 按钮1 = 369164294;
inline constexpr std::uint32_t 按钮2 = 369164296;
inline constexpr std::uint32_t 按钮3 = 369164299;
inline constexpr std::uint32_t 编辑框1 = 369164300;
inline constexpr std::uint32_t 单选框1 = 369164301;
inline constexpr std::uint32_t 单选框2 = 369164303;
inline constexpr std::uint32_t 单选框3 = 369164304;
inline constexpr std::uint32_t 单选框4 = 369164306;
inline constexpr std::uint32_t 单选框5 = 369164307;
inline constexpr std::uint32_t 时钟1 = 369164315;
}  // namespace controls

// A control's kind follows from which settings it carries.
using KindSettings = std::variant<BrowserBoxSettings, PushButtonSettings, EditBoxSettings,
                                  RadioButtonSettings, TimerSettings>;

struct ControlDefinition {
    const wchar_t* name;
    std::uint32_t number;
    int left;
    int top;
    int width;
    int height;
    bool visible;
    bool disabled;
    bool tabStop;
    int tabOrder;
    KindSettings settings;

    bool isTimer() const { return std::holds_alternative<TimerSettings>(settings); }
};

using Handler = void (*)();

struct EventBinding {
    std::uint32_t controlNumber;
    int event;
    Handler handler;
};

struct WindowDefinition {
    std::uint32_t number;
    int left;
    int top;
    int width;
    int height;
    Text title;
    int borderStyle;  // 0 none, 1 sizable, 2 fixed, 3/4 tool windows, 5/6 with sunken client edge
    bool controlBox;
    bool maximiseBox;
    bool minimiseBox;
    int startPosition;  // 0 at left/top, 1 centred, 2 minimised, 3 maximised
    bool enterMovesFocus;
    bool escCloses;
    bool f1OpensHelp;
    bool showInTaskbar;
    std::vector<ControlDefinition> controls;
    std::vector<EventBinding> bindings;
};

const WindowDefinition& mainWindowDefinition();

}  // namespace vparse
