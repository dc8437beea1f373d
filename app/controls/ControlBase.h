// What the four control kinds and the browser box share: their numbers, the event
// they raise through the window, and a window procedure that reaches the object.
#pragma once

#include "app/Control.h"

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

    // For windows of the platform's classes ("EDIT", "BUTTON"): routes their
    // messages through onMessage.
    void subclass(HWND window);
    // For windows of a class of our own: pass this as the creation parameter of
    // CreateWindowEx with ownClassProc as the class's procedure.
    static LRESULT CALLBACK ownClassProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam);
    static const wchar_t* registerOwnClass(const wchar_t* name, UINT style, HBRUSH background);

    // A message of the control's window; the default hands it on unchanged.
    virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT defaultProcessing(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    const std::uint32_t windowNumber_;
    const std::uint32_t controlNumber_;
    EventTarget* const events_;

private:
    static LRESULT CALLBACK subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    LRESULT route(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void detach();

    bool subclassed_ = false;
};

}  // namespace vparse
