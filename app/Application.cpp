#include "app/Application.h"

#include "app/FrameTexts.h"
#include "app/MainWindow.h"
#include "app/Scoped.h"

#include <ole2.h>

#include <memory>

namespace vparse {

namespace {

// Process-wide state of the frame, kept until the process ends.
struct FrameState {
    bool oleInitialised = false;
    bool loopStarted = false;
    bool eventsStopped = false;
    int liveTopLevelWindows = 0;
    ScopedIcon bigIcon;
    ScopedIcon smallIcon;
    bool iconsLoaded = false;
    std::unique_ptr<MainWindow> mainWindow;
};

FrameState& state() {
    static FrameState frame;
    return frame;
}

void showWithMessageBox(const std::wstring& text, const std::wstring& title) {
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
}

FatalMessageShower fatalShower = showWithMessageBox;

void releaseAcquired() {
    FrameState& frame = state();
    frame.bigIcon.reset();
    frame.smallIcon.reset();
    frame.iconsLoaded = false;
    if (frame.oleInitialised) {
        frame.oleInitialised = false;
        OleUninitialize();
    }
}

void loadIcons() {
    FrameState& frame = state();
    if (frame.iconsLoaded) return;
    frame.iconsLoaded = true;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    frame.bigIcon.reset(
        static_cast<HICON>(LoadImageW(instance, L"DEFAULT_ICON", IMAGE_ICON, 32, 32, 0)));
    frame.smallIcon.reset(
        static_cast<HICON>(LoadImageW(instance, L"DEFAULT_ICON", IMAGE_ICON, 16, 16, 0)));
}

}  // namespace

ExecutableLocation splitExecutablePath(std::wstring path) {
    ExecutableLocation location;
    const size_t last = path.rfind(L'\\');
    if (last == std::wstring::npos) {
        location.fileName = path;
    } else {
        location.directory = path.substr(0, last);
        location.fileName = path.substr(last + 1);
    }
    location.path = std::move(path);
    return location;
}

std::wstring modulePath(HMODULE module) {
    // The path may be longer than MAX_PATH: grow the buffer until it fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= 65536) return {};
        buffer.resize(buffer.size() * 2);
    }
}

const ExecutableLocation& executableLocation() {
    static const ExecutableLocation location = splitExecutablePath(modulePath(nullptr));
    return location;
}

bool eventsStopped() { return state().eventsStopped; }
bool loopStarted() { return state().loopStarted; }

void topLevelWindowCreated() { ++state().liveTopLevelWindows; }

void topLevelWindowDestroyed() {
    FrameState& frame = state();
    if (frame.liveTopLevelWindows > 0) --frame.liveTopLevelWindows;
    if (frame.liveTopLevelWindows == 0 && frame.loopStarted) PostQuitMessage(0);
}

HICON defaultBigIcon() {
    loadIcons();
    return state().bigIcon.get();
}

HICON defaultSmallIcon() {
    loadIcons();
    return state().smallIcon.get();
}

bool loadMainWindow() {
    FrameState& frame = state();
    frame.mainWindow = std::make_unique<MainWindow>(mainWindowDefinition());
    if (frame.mainWindow->build()) return true;
    frame.mainWindow.reset();
    return false;
}

int runEventLoop() {
    FrameState& frame = state();
    if (frame.liveTopLevelWindows == 0) return 0;
    frame.loopStarted = true;
    MSG message{};
    for (;;) {
        // No idle work is registered: waiting for the next message is all there is.
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) return 0;
        bool consumed = false;
        if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) {
            const HWND desktop = GetDesktopWindow();
            for (HWND window = message.hwnd; window && window != desktop;
                 window = GetAncestor(window, GA_PARENT)) {
                if (MainWindow* main = MainWindow::fromHandle(window)) {
                    consumed = main->preTranslate(message);
                    break;
                }
            }
        }
        if (!consumed) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

int startUp() {
    FrameState& frame = state();
    frame.oleInitialised = SUCCEEDED(OleInitialize(nullptr));

    // From here on relative paths resolve against the executable's own folder.
    // The trailing backslash makes a drive root ("C:") mean its root folder.
    const ExecutableLocation& location = executableLocation();
    if (!location.directory.empty()) {
        SetCurrentDirectoryW((location.directory + L"\\").c_str());
    }

    // The window definition is compiled in, so it is always ready.
    if (!loadMainWindow()) fatalError(texts::startWindowFailedText, 0);

    const int code = runEventLoop();

    // The orderly end.
    frame.eventsStopped = true;
    frame.mainWindow.reset();
    releaseAcquired();
    return code;
}

Text fatalMessage(const Text& text, int code) {
    Text message = texts::fatalHead;
    message += "\r\n\r\n";
    if (code != 0) {
        message += texts::fatalCodeLabel;
        message += std::to_string(code);
        message += "\r\n\r\n";
    }
    if (!text.empty()) {
        message += texts::fatalTextLabel;
        message += text;
        message += "\r\n";
    }
    return message;
}

void setFatalMessageShower(FatalMessageShower shower) {
    fatalShower = shower ? shower : showWithMessageBox;
}

void fatalError(const Text& text, int code) {
    state().eventsStopped = true;
    fatalShower(toWide(fatalMessage(text, code)), toWide(texts::fatalTitle));
    releaseAcquired();
    ExitProcess(static_cast<UINT>(-1));
}

}  // namespace vparse
