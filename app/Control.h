// The one set of operations that the main window uses for every control kind.
#pragma once

#include "app/Text.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <variant>

namespace vparse {

// A setting value: a 32-bit integer (booleans and colours included) or a text.
using Value = std::variant<std::int32_t, Text>;

// Colour values keep this marker for the platform's button-face colour until used.
inline constexpr std::int32_t buttonFaceColour = static_cast<std::int32_t>(0xFF000000u);
COLORREF resolveColour(std::int32_t colour);

// Common settings of every unit (indexes 0 to 7); kind settings start at 8.
enum CommonSetting : int {
    settingLeft = 0,
    settingTop = 1,
    settingWidth = 2,
    settingHeight = 3,
    settingTag = 4,
    settingVisible = 5,
    settingDisabled = 6,
    settingMousePointer = 7,
    firstKindSetting = 8,
};

// What the event delivery answers to a control that raised an event.
struct EventAnswer {
    bool handlerRan = false;
    bool returnedValue = false;
    std::int32_t value = 0;
};

// Receives the events of the controls and hears when a control's window is gone.
class EventTarget {
public:
    virtual EventAnswer raiseEvent(std::uint32_t windowNumber, std::uint32_t controlNumber,
                                   int event, std::span<const std::int32_t> arguments) = 0;
    virtual void controlGone(std::uint32_t windowNumber, std::uint32_t controlNumber) = 0;

protected:
    ~EventTarget() = default;
};

// Everything a kind's create operation receives besides its own settings.
struct CreateContext {
    DWORD baseStyle = 0;  // WS_TABSTOP and WS_DISABLED as the unit asks; never WS_VISIBLE
    HWND parent = nullptr;
    int childId = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::uint32_t windowNumber = 0;
    std::uint32_t controlNumber = 0;
    EventTarget* events = nullptr;
};

class Control {
public:
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // The control's platform window, or null once it has been destroyed.
    virtual HWND window() const = 0;

    // Writes kind setting `index` (8 and above). Answers whether the control would
    // have to be made anew for the value to take effect.
    virtual bool writeSetting(int index, const Value& value) = 0;
    // Reads kind setting `index`; nothing for an index the kind does not have.
    virtual std::optional<Value> readSetting(int index) = 0;

    // Whether the control takes this key itself instead of the window's handling.
    virtual bool claimsKey(UINT virtualKey) const {
        (void)virtualKey;
        return false;
    }
    virtual bool isDefaultButton() const { return false; }
    virtual bool isRadioButton() const { return false; }
    // Raises the kind's click event (the window's Enter and arrow-key handling).
    virtual void raiseClick() {}

    // A notification (WM_COMMAND code) that the platform sent to the parent.
    virtual void handleNotification(UINT code) { (void)code; }
    // A colour question (WM_CTLCOLOR*) that the platform asked the parent.
    virtual HBRUSH answerColour(HDC dc) {
        (void)dc;
        return nullptr;
    }

protected:
    Control() = default;
};

}  // namespace vparse
