// The main window: builds itself and its controls from the definition, keeps the
// focus, handles the keyboard, paints, finds controls and delivers their events.
#pragma once

#include "app/Control.h"
#include "app/WindowDefinition.h"

#include <memory>
#include <vector>

namespace vparse {

class MainWindow final : public EventTarget {
public:
    static constexpr const wchar_t* className = L"VparseMainWindow";

    explicit MainWindow(const WindowDefinition& definition);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Builds and shows the window; false when the window or a control cannot be made.
    bool build();

    HWND window() const { return window_; }
    const WindowDefinition& definition() const { return definition_; }

    // The window whose platform window is `window`, or null.
    static MainWindow* fromHandle(HWND window);
    // The built window that handlers address, or null.
    static MainWindow* loaded();

    // Key handling for a key-down message addressed to the window or a window
    // inside it; true when the key was consumed.
    bool preTranslate(const MSG& message);

    // The live control with that number, or null.
    Control* control(std::uint32_t number) const;
    const ControlDefinition* controlDefinition(std::uint32_t number) const;

    EventAnswer raiseEvent(std::uint32_t windowNumber, std::uint32_t controlNumber, int event,
                           std::span<const std::int32_t> arguments) override;
    void controlGone(std::uint32_t windowNumber, std::uint32_t controlNumber) override;

    // The window style that the definition asks for.
    static DWORD windowStyle(const WindowDefinition& definition);
    // Where the window goes on a screen of that size.
    static POINT startPlace(const WindowDefinition& definition, int screenWidth, int screenHeight);

private:
    struct Unit {
        const ControlDefinition* definition;
        std::unique_ptr<Control> live;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool createControls();
    void destroyControls();
    Unit* unitOfWindow(HWND window);
    Unit* focusedUnit();
    std::vector<Unit*> tabOrder();
    void focusFirst();
    void moveFocus(bool backwards);
    bool moveRadioCheck(Unit& focused, UINT key);

    const WindowDefinition& definition_;
    HWND window_ = nullptr;
    HWND rememberedFocus_ = nullptr;
    std::vector<Unit> units_;
};

// Access to a control's settings by window number, control number and index, as
// handlers use it. Kind settings (index 8 and above) of a control that has no live
// object, or any window number but the main window's, end the program.
Value readSetting(std::uint32_t windowNumber, std::uint32_t controlNumber, int index);
void writeSetting(std::uint32_t windowNumber, std::uint32_t controlNumber, int index,
                  const Value& value);

}  // namespace vparse
