// vparse_keep_session: holds the Wine session of a test run open.
//
// Wine ends its desktop process (explorer) shortly after the last ordinary process of
// a session has gone, and starts a new one for the next process that needs a window.
// Under ctest that costs every test about a second, because the desktop inherits the
// test's output pipe and ctest waits for it to close, and it lets a test start while
// the previous desktop is still going away: that test then cannot create a window
// ("no driver could be loaded"). The run script starts this program once, before
// ctest: it asks for the desktop window, which brings the desktop up with this
// program's standard handles, and then waits until the session is killed or the
// named event below is set.
//
//   vparse_keep_session.exe [READY_FILE]
//
// READY_FILE (a Windows path, e.g. Z:\tmp\ready) is created once the desktop is up.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    const HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, L"Local\\vparse-keep-session-stop");
    if (!stop) {
        std::fprintf(stderr, "vparse_keep_session: CreateEvent failed (%lu)\n", GetLastError());
        return 2;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fprintf(stderr, "vparse_keep_session: already running in this session\n");
        return 3;
    }
    if (!GetDesktopWindow()) {
        std::fprintf(stderr, "vparse_keep_session: the desktop window is missing (%lu)\n",
                     GetLastError());
        return 4;
    }
    if (argc > 1) {
        const HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ready == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "vparse_keep_session: cannot create %ls (%lu)\n", argv[1],
                         GetLastError());
            return 5;
        }
        CloseHandle(ready);
    }
    WaitForSingleObject(stop, INFINITE);
    CloseHandle(stop);
    return 0;
}
