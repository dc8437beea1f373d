// The life of the process: start-up, the event loop, the orderly end and the one
// way to stop on an unrecoverable error.
#pragma once

#include "app/Text.h"

#include <windows.h>

#include <string>

namespace vparse {

// The running executable's full path, split at its last backslash.
struct ExecutableLocation {
    std::wstring path;
    std::wstring directory;  // without the trailing backslash; empty without any backslash
    std::wstring fileName;   // with its extension
};

ExecutableLocation splitExecutablePath(std::wstring path);
// The full path of a module as the platform reports it, however long it is.
std::wstring modulePath(HMODULE module);
// Taken once at start-up (or on first use).
const ExecutableLocation& executableLocation();

// The whole life of the process; answers the exit code.
int startUp();
// Builds and shows the main window as the start window.
bool loadMainWindow();
// Runs until the quit message; answers its code.
int runEventLoop();

// Whether events may still reach handlers (not once the end or a fatal error began).
bool eventsStopped();
bool loopStarted();
// Called by each top-level window of the program when it has been destroyed.
void topLevelWindowCreated();
void topLevelWindowDestroyed();

// The executable's "DEFAULT_ICON" at 32x32 and 16x16, loaded on first use.
HICON defaultBigIcon();
HICON defaultSmallIcon();

// The fatal-error message for a text and a code, as shown to the user.
Text fatalMessage(const Text& text, int code);
// Shows the message, releases what start-up acquired and ends the process with -1.
[[noreturn]] void fatalError(const Text& text, int code);

// How fatalError shows its message; tests replace it to look at the message
// without a box waiting for a click.
using FatalMessageShower = void (*)(const std::wstring& text, const std::wstring& title);
void setFatalMessageShower(FatalMessageShower shower);

}  // namespace vparse
