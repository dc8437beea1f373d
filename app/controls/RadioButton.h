// The radio button kind. All radio buttons of one parent form one group.
#pragma once

#include "app/controls/ControlBase.h"

#include <memory>

namespace vparse {

struct RadioButtonSettings {
    bool pushLike = false;
    bool flat = false;
    Text caption;
    bool textOnLeft = false;
    std::int32_t horizontalAlignment = 0;
    std::int32_t verticalAlignment = 1;
    std::int32_t textColour = 0x00000000;
    std::int32_t backgroundColour = buttonFaceColour;
    FontRecord font;
    bool checked = false;
};

class RadioButton final : public ControlBase {
public:
    enum Setting : int {
        pushLike = 9,
        flat = 10,
        caption = 11,
        textOnLeft = 12,
        horizontalAlignment = 13,
        verticalAlignment = 14,
        textColour = 15,
        backgroundColour = 16,
        checked = 18,
    };
    enum Event : int { click = 0 };

    static std::unique_ptr<RadioButton> create(const RadioButtonSettings& settings,
                                               const CreateContext& context);

    bool writeSetting(int index, const Value& value) override;
    std::optional<Value> readSetting(int index) override;
    bool isRadioButton() const override { return true; }
    void raiseClick() override;
    void handleNotification(UINT code) override;
    HBRUSH answerColour(HDC dc) override;

private:
    RadioButton(const RadioButtonSettings& settings, const CreateContext& context);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    RadioButtonSettings settings_;
    ScopedBrush brush_;
    bool focusChanging_ = false;
};

}  // namespace vparse
