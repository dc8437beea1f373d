// What the four control kinds and the browser box share: their numbers, the event
// they raise through the window, and a window procedure that reaches the object.
#pragma once

#include "app/Control.h"
#include "app/controls/Font.h"

#include <initializer_list>

namespace vparse {

class ControlBase : public Control {
public:
    HWND window() const override { return window_; }

protected:
    explicit ControlBase(const CreateContext& context);
    // Destroys the platform window if it still exists, without calling back.
    ~ControlBase() override;

    EventAnswer raise(int event, std::initializer_list<std::int32_t> arguments = {});

    // Makes the control's window of a platform class ("EDIT", "BUTTON") with its
    // text, style, place and id, and routes its messages through onMessage.
    bool createPlatformWindow(const wchar_t* platformClass, const Text& text, DWORD style,
                              const CreateContext& context);
    // Makes the control's font by the font rule and hands it to the window.
    void applyFont(const FontRecord& record);
    // For windows of a class of our own: pass this as the creation parameter of
    // CreateWindowEx with ownClassProc as the class's procedure.
    static LRESULT CALLBACK ownClassProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam);
    static const wchar_t* registerOwnClass(const wchar_t* name, UINT style, HBRUSH background);

    // A message of the control's window; the default hands it on unchanged.
    virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT defaultProcessing(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    ScopedFont font_;
    const std::uint32_t windowNumber_;
    const std::uint32_t controlNumber_;
    EventTarget* const events_;

private:
    static LRESULT CALLBACK subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    LRESULT route(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void subclass(HWND window);
    void detach();

    bool subclassed_ = false;
};

}  // namespace vparse
