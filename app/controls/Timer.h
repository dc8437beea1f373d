// The timer kind: a hidden child window whose platform timer raises `periodic`.
#pragma once

#include "app/controls/ControlBase.h"

#include <memory>

namespace vparse {

struct TimerSettings {
    std::int32_t interval = 1000;  // milliseconds; 0 means no periodic events
};

class Timer final : public ControlBase {
public:
    enum Setting : int { interval = 8 };
    enum Event : int { periodic = 0 };
    static constexpr UINT_PTR timerId = 1000;
    static constexpr const wchar_t* className = L"VparseTimer";

    static std::unique_ptr<Timer> create(const TimerSettings& settings,
                                         const CreateContext& context);

    bool writeSetting(int index, const Value& value) override;
    std::optional<Value> readSetting(int index) override;
    bool running() const { return running_; }

private:
    Timer(const TimerSettings& settings, const CreateContext& context);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    TimerSettings settings_;
    bool running_ = false;
};

}  // namespace vparse
