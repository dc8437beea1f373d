// The edit box kind: a text field with its own colours and font.
#pragma once

#include "app/controls/ControlBase.h"

#include <memory>

namespace vparse {

struct EditBoxSettings {
    Text content;
    std::int32_t border = 1;  // 0 none, 1 sunken, 2 raised frame, 3 thin sunken, 4 sunken+frame, 5 line
    std::int32_t textColour = 0x00000000;
    std::int32_t backgroundColour = 0x00FFFFFF;
    FontRecord font;
    bool hideSelection = true;
    std::int32_t maxLength = 0;
    bool multiLine = false;
    std::int32_t scrollBars = 0;
    std::int32_t alignment = 0;
    std::int32_t inputMode = 0;
    std::int32_t passwordChar = 42;
    std::int32_t caseConversion = 0;
    std::int32_t selectionStart = 0;
    std::int32_t selectionLength = 0;
};

class EditBox final : public ControlBase {
public:
    enum Setting : int {
        content = 8,
        border = 9,
        textColour = 10,
        backgroundColour = 11,
        font = 12,
        hideSelection = 13,
        maxLength = 14,
        multiLine = 15,
        scrollBars = 16,
        alignment = 17,
        inputMode = 18,
        passwordChar = 19,
        caseConversion = 20,
        selectionStart = 24,
        selectionLength = 25,
    };
    enum Event : int { contentChange = 0 };

    static std::unique_ptr<EditBox> create(const EditBoxSettings& settings,
                                           const CreateContext& context);

    bool writeSetting(int index, const Value& value) override;
    std::optional<Value> readSetting(int index) override;
    bool claimsKey(UINT virtualKey) const override;
    void handleNotification(UINT code) override;
    HBRUSH answerColour(HDC dc) override;

    // The composed window style of a box with these settings (without WS_CHILD's base).
    static DWORD styleFor(const EditBoxSettings& settings);

private:
    EditBox(const EditBoxSettings& settings, const CreateContext& context);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void contentChanged();
    void applyBorder();

    EditBoxSettings settings_;
    ScopedBrush brush_;
    bool writingOwnContent_ = false;
};

}  // namespace vparse
