// The push button kind.
#pragma once

#include "app/controls/ControlBase.h"

#include <memory>

namespace vparse {

struct PushButtonSettings {
    std::int32_t buttonType = 0;  // 0 ordinary, 1 default button
    Text caption;
    std::int32_t horizontalAlignment = 1;  // 0 left, 1 centred, 2 right
    std::int32_t verticalAlignment = 1;    // 0 top, 1 centred, 2 bottom
    FontRecord font;
};

// Style bits of the two alignment settings shared by push and radio buttons.
DWORD buttonAlignmentStyle(std::int32_t horizontal, std::int32_t vertical);

class PushButton final : public ControlBase {
public:
    enum Setting : int { buttonType = 9, caption = 10, horizontalAlignment = 11, verticalAlignment = 12 };
    enum Event : int { click = 0 };

    static std::unique_ptr<PushButton> create(const PushButtonSettings& settings,
                                              const CreateContext& context);

    bool writeSetting(int index, const Value& value) override;
    std::optional<Value> readSetting(int index) override;
    bool isDefaultButton() const override;
    void raiseClick() override;
    void handleNotification(UINT code) override;

private:
    PushButton(const PushButtonSettings& settings, const CreateContext& context);

    PushButtonSettings settings_;
};

}  // namespace vparse
