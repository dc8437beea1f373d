// What the benchmark and the soak read about a process: its GUI objects, its memory
// and its CPU time, from inside the process or from another one.
//
// Where the platform's own counter answers, it is used and reported as it is. Wine 8
// answers some of them with 0 (GetGuiResources, PrivateUsage) and others too
// coarsely (GetProcessTimes: 10 ms steps); each has a stand-in that measures the
// same thing:
//   GDI objects   live entries of the process's GDI handle table (PEB
//                 GdiSharedHandleTable), the table the platform's own count walks;
//   USER objects  the process's windows: top-level, message-only and all their
//                 descendants, hidden ones included (windows are the USER objects
//                 this program makes; icons and cursors are loaded once);
//   private bytes committed private memory, summed from VirtualQueryEx;
//   CPU time      the Linux kernel's account of the Wine process (/proc through
//                 Wine's Z: drive): utime+stime of the whole process in clock ticks,
//                 and the run time in nanoseconds of each of its threads.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Sample {
    std::int64_t guiGdi = 0;          // GetGuiResources(GR_GDIOBJECTS) as answered
    std::int64_t guiUser = 0;         // GetGuiResources(GR_USEROBJECTS) as answered
    std::int64_t gdiObjects = -1;     // live GDI table entries; -1 when unreadable
    std::int64_t windows = 0;         // windows of the process
    std::uint64_t privateUsage = 0;   // PROCESS_MEMORY_COUNTERS_EX.PrivateUsage as answered
    std::uint64_t privateCommit = 0;  // committed MEM_PRIVATE bytes (VirtualQueryEx)
    std::uint64_t pagefileUsage = 0;
    std::uint64_t workingSet = 0;
    std::uint64_t peakWorkingSet = 0;

    // The figures the soak judges: the platform's answer where it gives one.
    std::int64_t gdi() const { return guiGdi > 0 ? guiGdi : gdiObjects; }
    std::int64_t user() const { return guiUser > 0 ? guiUser : windows; }
    std::uint64_t privateBytes() const { return privateUsage > 0 ? privateUsage : privateCommit; }
};

// `process` needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.
Sample sampleProcess(HANDLE process, DWORD processId);

std::int64_t gdiTableEntries(HANDLE process, DWORD processId);
std::int64_t windowsOfProcess(DWORD processId);
// "Button x8, Edit x1, ..." for the windows counted by windowsOfProcess.
std::string windowClassesOfProcess(DWORD processId);
std::uint64_t committedPrivateBytes(HANDLE process);
PROCESS_MEMORY_COUNTERS_EX memoryCounters(HANDLE process);

// CPU time of a process, in milliseconds, from every source there is.
struct CpuTime {
    double reportedMs = 0;     // GetProcessTimes kernel+user; 0 when not answered
    double statMs = -1;        // /proc/<pid>/stat utime+stime (10 ms steps); -1 unknown
    double threadsMs = -1;     // sum of /proc/<pid>/task/*/schedstat run times; -1 unknown
    // The finest figure available.
    double best() const { return threadsMs >= 0 ? threadsMs : statMs >= 0 ? statMs : reportedMs; }
    const char* bestSource() const {
        return threadsMs >= 0 ? "thread run times" : statMs >= 0 ? "utime+stime" : "GetProcessTimes";
    }
};
CpuTime cpuTime(HANDLE process, std::optional<int> unixPid);

// The Linux pid of the process whose command line holds `token` (a unique argument
// given at its start); nothing on Windows or when no such process exists.
std::optional<int> unixPidWithArgument(const std::string& token);

// The whole text of a file (also /proc files, whose size reads as 0).
std::optional<std::string> readWholeFile(const std::wstring& path);

// Helpers for the reports.
double median(std::vector<double> values);
double secondsSince(LARGE_INTEGER start);
LARGE_INTEGER now();

}  // namespace bench
