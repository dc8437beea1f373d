#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/FrameTexts.h"

#include <algorithm>

namespace vparse {

namespace {

MainWindow* loadedWindow = nullptr;

bool keyDown(int virtualKey) { return GetKeyState(virtualKey) < 0; }

std::unique_ptr<Control> createControl(const KindSettings& settings, const CreateContext& context) {
    return std::visit(
        [&](const auto& kind) -> std::unique_ptr<Control> {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<Kind, BrowserBoxSettings>) {
                return BrowserBox::create(kind, context);
            } else if constexpr (std::is_same_v<Kind, PushButtonSettings>) {
                return PushButton::create(kind, context);
            } else if constexpr (std::is_same_v<Kind, EditBoxSettings>) {
                return EditBox::create(kind, context);
            } else if constexpr (std::is_same_v<Kind, RadioButtonSettings>) {
                return RadioButton::create(kind, context);
            } else {
                return Timer::create(kind, context);
            }
        },
        settings);
}

}  // namespace

MainWindow::MainWindow(const WindowDefinition& definition) : definition_(definition) {
    units_.reserve(definition.controls.size());
    for (const ControlDefinition& control : definition.controls) units_.push_back({&control, {}});
}

MainWindow::~MainWindow() {
    if (window_) DestroyWindow(window_);
    destroyControls();
    if (loadedWindow == this) loadedWindow = nullptr;
}

DWORD MainWindow::windowStyle(const WindowDefinition& definition) {
    DWORD style = WS_CLIPCHILDREN;
    if (definition.borderStyle == 0) {
        style |= WS_POPUP;
    } else {
        if (!definition.title.empty()) style |= WS_CAPTION;
        if (definition.borderStyle == 1 || definition.borderStyle == 3 ||
            definition.borderStyle == 5) {
            style |= WS_THICKFRAME;
            if (definition.maximiseBox) style |= WS_MAXIMIZEBOX;
        } else if (!definition.title.empty()) {
            style |= WS_BORDER;
        }
        if (definition.controlBox) style |= WS_SYSMENU;
        if (definition.minimiseBox) style |= WS_MINIMIZEBOX;
    }
    return style;
}

POINT MainWindow::startPlace(const WindowDefinition& definition, int screenWidth,
                             int screenHeight) {
    if (definition.startPosition == 1) {
        // Integer division truncates toward zero: a window larger than the screen
        // starts partly off-screen, and is not clamped.
        return {(screenWidth - definition.width) / 2, (screenHeight - definition.height) / 2};
    }
    return {definition.left, definition.top};
}

MainWindow* MainWindow::fromHandle(HWND window) {
    if (!window) return nullptr;
    wchar_t name[64] = {};
    if (!GetClassNameW(window, name, 64) || lstrcmpW(name, className) != 0) return nullptr;
    return reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

MainWindow* MainWindow::loaded() { return loadedWindow; }

bool MainWindow::build() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // Erasing paints nothing: WM_PAINT fills the client area.
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);

    const DWORD style = windowStyle(definition_);
    const POINT place = startPlace(definition_, GetSystemMetrics(SM_CXSCREEN),
                                   GetSystemMetrics(SM_CYSCREEN));
    const std::wstring title = toWide(definition_.title);
    // No owner window: the window has its own taskbar button.
    HWND window = CreateWindowExW(0, className, title.c_str(), style, place.x, place.y,
                                  definition_.width, definition_.height, nullptr, nullptr,
                                  instance, this);
    if (!window) return false;

    RECT outer{};
    GetWindowRect(window, &outer);
    if (outer.right - outer.left != definition_.width ||
        outer.bottom - outer.top != definition_.height) {
        SetWindowPos(window, nullptr, place.x, place.y, definition_.width, definition_.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(defaultBigIcon()));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(defaultSmallIcon()));

    if (!createControls()) {
        destroyControls();
        DestroyWindow(window);
        return false;
    }

    // Each control lies above every control made before it.
    for (Unit& unit : units_) {
        SetWindowPos(unit.live->window(), HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    for (Unit& unit : units_) {
        if (unit.definition->visible && !unit.definition->isTimer()) {
            ShowWindow(unit.live->window(), SW_SHOWNA);
        }
    }
    loadedWindow = this;
    // The window's creation notifications have no handlers in this program.
    ShowWindow(window, SW_SHOW);
    return true;
}

bool MainWindow::createControls() {
    int childId = 100;
    for (Unit& unit : units_) {
        const ControlDefinition& control = *unit.definition;
        CreateContext context;
        context.baseStyle = (control.disabled ? WS_DISABLED : 0) | (control.tabStop ? WS_TABSTOP : 0);
        context.parent = window_;
        context.childId = childId;
        context.left = control.left;
        context.top = control.top;
        context.width = control.width;
        context.height = control.height;
        context.windowNumber = definition_.number;
        context.controlNumber = control.number;
        context.events = this;
        unit.live = createControl(control.settings, context);
        if (!unit.live) return false;
        childId += 10;
    }
    return true;
}

void MainWindow::destroyControls() {
    for (Unit& unit : units_) unit.live.reset();
}

Control* MainWindow::control(std::uint32_t number) const {
    for (const Unit& unit : units_) {
        if (unit.definition->number == number) return unit.live.get();
    }
    return nullptr;
}

const ControlDefinition* MainWindow::controlDefinition(std::uint32_t number) const {
    for (const Unit& unit : units_) {
        if (unit.definition->number == number) return unit.definition;
    }
    return nullptr;
}

MainWindow::Unit* MainWindow::unitOfWindow(HWND window) {
    if (!window) return nullptr;
    for (Unit& unit : units_) {
        if (unit.live && unit.live->window() == window) return &unit;
    }
    return nullptr;
}

MainWindow::Unit* MainWindow::focusedUnit() {
    // Only the focused window and its parent are looked at: focus deeper inside a
    // control (inside a web page, say) finds no control.
    const HWND focus = GetFocus();
    if (!focus || focus == window_) return nullptr;
    if (Unit* unit = unitOfWindow(focus)) return unit;
    return unitOfWindow(GetAncestor(focus, GA_PARENT));
}

std::vector<MainWindow::Unit*> MainWindow::tabOrder() {
    std::vector<Unit*> eligible;
    for (Unit& unit : units_) {
        if (!unit.live || !unit.definition->tabStop || unit.definition->isTimer()) continue;
        const HWND window = unit.live->window();
        if (!window || !IsWindowVisible(window) || !IsWindowEnabled(window)) continue;
        eligible.push_back(&unit);
    }
    std::stable_sort(eligible.begin(), eligible.end(), [](const Unit* a, const Unit* b) {
        return a->definition->tabOrder < b->definition->tabOrder;
    });
    return eligible;
}

void MainWindow::focusFirst() {
    const std::vector<Unit*> eligible = tabOrder();
    if (!eligible.empty()) SetFocus(eligible.front()->live->window());
}

void MainWindow::moveFocus(bool backwards) {
    Unit* focused = focusedUnit();
    if (!focused) return;
    const std::vector<Unit*> eligible = tabOrder();
    if (eligible.empty()) return;
    const auto at = std::find(eligible.begin(), eligible.end(), focused);
    size_t next = 0;
    if (at == eligible.end()) {
        next = backwards ? eligible.size() - 1 : 0;
    } else {
        const size_t index = static_cast<size_t>(at - eligible.begin());
        next = backwards ? (index + eligible.size() - 1) % eligible.size()
                         : (index + 1) % eligible.size();
    }
    SetFocus(eligible[next]->live->window());
}

bool MainWindow::moveRadioCheck(Unit& focused, UINT key) {
    const HWND parent = GetAncestor(focused.live->window(), GA_PARENT);
    std::vector<Unit*> group;
    for (Unit* unit : tabOrder()) {
        if (unit->live->isRadioButton() && GetAncestor(unit->live->window(), GA_PARENT) == parent) {
            group.push_back(unit);
        }
    }
    const auto at = std::find(group.begin(), group.end(), &focused);
    if (at == group.end()) return true;
    const size_t index = static_cast<size_t>(at - group.begin());
    const bool backwards = key == VK_LEFT || key == VK_UP;
    const size_t next = backwards ? (index + group.size() - 1) % group.size()
                                  : (index + 1) % group.size();
    Unit* target = group[next];
    if (target == &focused) return true;

    for (Unit& unit : units_) {
        if (unit.live && unit.live->isRadioButton() &&
            GetAncestor(unit.live->window(), GA_PARENT) == parent) {
            SendMessageW(unit.live->window(), BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
    const HWND targetWindow = target->live->window();
    SendMessageW(targetWindow, BM_SETCHECK, BST_CHECKED, 0);
    target->live->raiseClick();
    // The handler of the click may have ended the window.
    if (IsWindow(targetWindow)) SetFocus(targetWindow);
    return true;
}

bool MainWindow::preTranslate(const MSG& message) {
    if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
    const UINT key = static_cast<UINT>(message.wParam);
    const bool alt = keyDown(VK_MENU) || (message.message == WM_SYSKEYDOWN &&
                                          (message.lParam & (LPARAM{1} << 29)) != 0);
    const bool control = keyDown(VK_CONTROL);
    const bool shift = keyDown(VK_SHIFT);
    if (alt || control) return false;

    Unit* focused = focusedUnit();
    if (focused && focused->live->claimsKey(key)) return false;

    switch (key) {
    case VK_TAB:
        moveFocus(shift);
        return true;
    case VK_ESCAPE:
        if (shift || !definition_.escCloses) return false;
        SendMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    case VK_RETURN:
        if (shift) return false;
        if (focused && focused->live->isDefaultButton()) {
            focused->live->raiseClick();
            return true;
        }
        return false;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
        if (shift || !focused || !focused->live->isRadioButton()) return false;
        return moveRadioCheck(*focused, key);
    default:
        return false;
    }
}

EventAnswer MainWindow::raiseEvent(std::uint32_t windowNumber, std::uint32_t controlNumber,
                                   int event, std::span<const std::int32_t> arguments) {
    (void)arguments;  // no handler of this program takes arguments
    if (eventsStopped()) return {};
    if (windowNumber != definition_.number) fatalError(texts::eventWindowNotFoundText, 0);
    if (!controlDefinition(controlNumber)) fatalError(texts::eventControlNotFoundText, 0);
    for (const EventBinding& binding : definition_.bindings) {
        if (binding.controlNumber == controlNumber && binding.event == event) {
            binding.handler();
            return {true, false, 0};
        }
    }
    return {};
}

void MainWindow::controlGone(std::uint32_t windowNumber, std::uint32_t controlNumber) {
    if (windowNumber != definition_.number) return;
    for (Unit& unit : units_) {
        if (unit.definition->number == controlNumber && unit.live && !unit.live->window()) {
            unit.live.reset();
        }
    }
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
        topLevelWindowCreated();
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        self->rememberedFocus_ = nullptr;
        if (loadedWindow == self) loadedWindow = nullptr;
        const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        topLevelWindowDestroyed();
        return result;
    }
    return self->onMessage(message, wParam, lParam);
}

LRESULT MainWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(window_, focus)) rememberedFocus_ = focus;
        }
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_SETFOCUS: {
        const HWND remembered = std::exchange(rememberedFocus_, nullptr);
        if (remembered && IsWindow(remembered) && IsChild(window_, remembered)) {
            SetFocus(remembered);
        } else {
            focusFirst();
        }
        return 0;
    }
    case WM_SYSCOMMAND:
        // The window has no maximised state, whatever asks for it.
        if ((wParam & 0xFFF0) == SC_MAXIMIZE && !(windowStyle(definition_) & WS_MAXIMIZEBOX)) {
            return 0;
        }
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_GETMINMAXINFO: {
        // The window keeps its defined size even on a screen smaller than it: the
        // parts that do not fit lie off-screen.
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMaxTrackSize.x = std::max<LONG>(limits->ptMaxTrackSize.x, definition_.width);
        limits->ptMaxTrackSize.y = std::max<LONG>(limits->ptMaxTrackSize.y, definition_.height);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        if (HDC dc = BeginPaint(window_, &paint)) {
            FillRect(dc, &paint.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
            EndPaint(window_, &paint);
        }
        return 0;
    }
    case WM_COMMAND:
        // While the window is disabled (the task-modal warning is open) its controls
        // run no handler: real input cannot reach them then, and a click or key
        // posted straight to a button is dropped here, so handlers never nest.
        if (!IsWindowEnabled(window_)) return 0;
        if (lParam) {
            if (Unit* unit = unitOfWindow(reinterpret_cast<HWND>(lParam))) {
                unit->live->handleNotification(HIWORD(wParam));
                return 0;
            }
        }
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        if (Unit* unit = unitOfWindow(reinterpret_cast<HWND>(lParam))) {
            if (HBRUSH brush = unit->live->answerColour(reinterpret_cast<HDC>(wParam))) {
                return reinterpret_cast<LRESULT>(brush);
            }
        }
        return DefWindowProcW(window_, message, wParam, lParam);
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

namespace {

Control* liveControlForKindSetting(std::uint32_t windowNumber, std::uint32_t controlNumber) {
    MainWindow* window = MainWindow::loaded();
    if (windowNumber != mainWindowNumber) fatalError(texts::windowNotLoadedText, 0);
    Control* control = window ? window->control(controlNumber) : nullptr;
    if (!control || !control->window()) fatalError(texts::controlNotLoadedText, 0);
    return control;
}

std::optional<Value> readCommonSetting(std::uint32_t controlNumber, int index) {
    MainWindow* window = MainWindow::loaded();
    Control* control = window ? window->control(controlNumber) : nullptr;
    const ControlDefinition* definition =
        window ? window->controlDefinition(controlNumber)
               : nullptr;
    if (!definition) {
        for (const ControlDefinition& candidate : mainWindowDefinition().controls) {
            if (candidate.number == controlNumber) definition = &candidate;
        }
    }
    if (!definition) return std::nullopt;
    RECT place{definition->left, definition->top, definition->left + definition->width,
               definition->top + definition->height};
    HWND handle = control ? control->window() : nullptr;
    if (handle) {
        GetWindowRect(handle, &place);
        MapWindowPoints(nullptr, GetAncestor(handle, GA_PARENT), reinterpret_cast<POINT*>(&place), 2);
    }
    switch (index) {
    case settingLeft: return Value(std::int32_t{place.left});
    case settingTop: return Value(std::int32_t{place.top});
    case settingWidth: return Value(std::int32_t{place.right - place.left});
    case settingHeight: return Value(std::int32_t{place.bottom - place.top});
    case settingTag: return Value(Text{});
    case settingVisible:
        return Value(std::int32_t{handle ? IsWindowVisible(handle) != FALSE : definition->visible});
    case settingDisabled:
        return Value(std::int32_t{handle ? IsWindowEnabled(handle) == FALSE : definition->disabled});
    default: return Value(std::int32_t{0});
    }
}

}  // namespace

Value readSetting(std::uint32_t windowNumber, std::uint32_t controlNumber, int index) {
    if (index < firstKindSetting) {
        if (windowNumber != mainWindowNumber) fatalError(texts::windowNotLoadedText, 0);
        return readCommonSetting(controlNumber, index).value_or(Value(std::int32_t{0}));
    }
    Control* control = liveControlForKindSetting(windowNumber, controlNumber);
    return control->readSetting(index).value_or(Value(std::int32_t{0}));
}

void writeSetting(std::uint32_t windowNumber, std::uint32_t controlNumber, int index,
                  const Value& value) {
    if (index < firstKindSetting) {
        if (windowNumber != mainWindowNumber) fatalError(texts::windowNotLoadedText, 0);
        MainWindow* window = MainWindow::loaded();
        Control* control = window ? window->control(controlNumber) : nullptr;
        HWND handle = control ? control->window() : nullptr;
        const auto* number = std::get_if<std::int32_t>(&value);
        if (!handle || !number) return;
        if (index == settingVisible) ShowWindow(handle, *number ? SW_SHOWNA : SW_HIDE);
        if (index == settingDisabled) EnableWindow(handle, *number ? FALSE : TRUE);
        if (index <= settingHeight) {
            RECT place{};
            GetWindowRect(handle, &place);
            MapWindowPoints(nullptr, GetAncestor(handle, GA_PARENT), reinterpret_cast<POINT*>(&place), 2);
            int values[4] = {place.left, place.top, place.right - place.left, place.bottom - place.top};
            values[index] = *number;
            SetWindowPos(handle, nullptr, values[0], values[1], values[2], values[3],
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return;
    }
    Control* control = liveControlForKindSetting(windowNumber, controlNumber);
    control->writeSetting(index, value);
}

}  // namespace vparse
