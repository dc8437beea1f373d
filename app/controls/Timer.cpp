#include "app/controls/Timer.h"

namespace vparse {

Timer::Timer(const TimerSettings& settings, const CreateContext& context)
    : ControlBase(context), settings_(settings) {}

std::unique_ptr<Timer> Timer::create(const TimerSettings& settings, const CreateContext& context) {
    static const wchar_t* const registered = registerOwnClass(className, CS_DBLCLKS, nullptr);
    std::unique_ptr<Timer> timer(new Timer(settings, context));
    HWND window = CreateWindowExW(0, registered, L"", context.baseStyle | WS_CHILD | WS_CLIPSIBLINGS,
                                  context.left, context.top, context.width, context.height,
                                  context.parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(context.childId)),
                                  GetModuleHandleW(nullptr), timer.get());
    if (!window) return nullptr;
    return timer;
}

bool Timer::writeSetting(int index, const Value& value) {
    if (index != interval) return false;
    const auto* number = std::get_if<std::int32_t>(&value);
    const std::int32_t period = number && *number > 0 ? *number : 0;
    if (period == settings_.interval) return false;
    settings_.interval = period;
    if (running_ && window_) KillTimer(window_, timerId);
    running_ = false;
    if (period > 0 && window_) {
        running_ = SetTimer(window_, timerId, static_cast<UINT>(period), nullptr) != 0;
    }
    return false;
}

std::optional<Value> Timer::readSetting(int index) {
    if (index == interval) return Value(settings_.interval);
    return std::nullopt;
}

LRESULT Timer::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (settings_.interval > 0) {
            running_ = SetTimer(window_, timerId, static_cast<UINT>(settings_.interval), nullptr) != 0;
        }
        return defaultProcessing(message, wParam, lParam);
    case WM_TIMER: {
        const LRESULT result = defaultProcessing(message, wParam, lParam);
        raise(periodic);
        return result;
    }
    case WM_DESTROY:
        if (running_) {
            KillTimer(window_, timerId);
            running_ = false;
        }
        return defaultProcessing(message, wParam, lParam);
    default:
        return defaultProcessing(message, wParam, lParam);
    }
}

}  // namespace vparse
