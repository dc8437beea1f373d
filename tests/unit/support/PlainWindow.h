// A window class of the tests' own whose procedure is DefWindowProcW: parents of the
// units under test and stand-in component windows.
#pragma once

#include <windows.h>

namespace vparse::testing {

// Registers the class `name` once per process (a second registration fails and
// changes nothing) and answers the name.
inline const wchar_t* plainWindowClass(const wchar_t* name) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);
    return name;
}

// A top-level overlapped window of such a class at (0, 0), not shown.
inline HWND createPlainParent(const wchar_t* className, int width, int height) {
    return CreateWindowExW(0, plainWindowClass(className), L"browser box test",
                           WS_OVERLAPPEDWINDOW, 0, 0, width, height, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace vparse::testing
