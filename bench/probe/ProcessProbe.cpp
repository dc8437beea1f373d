#include "probe/ProcessProbe.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace bench {

namespace {

// One entry of the GDI handle table: 24 bytes on both pointer sizes.
struct GdiEntry {
    std::uint64_t object;
    std::uint16_t ownerProcess;
    std::uint16_t ownerCount;
    std::uint16_t unique;
    std::uint8_t type;  // 0: free
    std::uint8_t flags;
    std::uint64_t userPointer;
};
static_assert(sizeof(GdiEntry) == 24);
constexpr size_t kGdiEntries = 0x10000;
#ifdef _WIN64
constexpr size_t kPebGdiTableOffset = 0xF8;
#else
constexpr size_t kPebGdiTableOffset = 0x94;
#endif

using QueryProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

QueryProcess queryProcess() {
    static const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    return query;
}

struct WindowCount {
    DWORD processId;
    std::int64_t count = 0;
    std::map<std::wstring, int>* classes = nullptr;  // filled when given
};

void noteWindow(HWND window, WindowCount& tally) {
    ++tally.count;
    if (!tally.classes) return;
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    ++(*tally.classes)[name];
}

BOOL CALLBACK countChild(HWND window, LPARAM data) {
    noteWindow(window, *reinterpret_cast<WindowCount*>(data));
    return TRUE;
}

void countTree(HWND window, WindowCount& tally) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != tally.processId) return;
    noteWindow(window, tally);
    // EnumChildWindows walks every descendant, not only direct children.
    EnumChildWindows(window, countChild, reinterpret_cast<LPARAM>(&tally));
}

BOOL CALLBACK countTopLevel(HWND window, LPARAM data) {
    countTree(window, *reinterpret_cast<WindowCount*>(data));
    return TRUE;
}

bool isDigits(const wchar_t* text) {
    if (!*text) return false;
    for (; *text; ++text) {
        if (*text < L'0' || *text > L'9') return false;
    }
    return true;
}

// Whether `token` stands in `text` as a whole word (not as the start of a longer one).
bool holdsWord(const std::string& text, const std::string& token) {
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + 1)) {
        const size_t end = at + token.size();
        const bool startsWord = at == 0 || text[at - 1] == ' ' || text[at - 1] == '"';
        const bool endsWord = end == text.size() || text[end] == ' ' || text[end] == '"';
        if (startsWord && endsWord) return true;
    }
    return false;
}

// Fields after the parenthesised command name of /proc/<pid>/stat, 1-based as in
// proc(5): field 3 is the state.
std::optional<std::vector<std::string>> statFields(int unixPid) {
    const auto text = readWholeFile(L"Z:\\proc\\" + std::to_wstring(unixPid) + L"\\stat");
    if (!text) return std::nullopt;
    const size_t close = text->rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::vector<std::string> fields{"", ""};
    size_t at = close + 1;
    while (at < text->size()) {
        while (at < text->size() && (*text)[at] == ' ') ++at;
        const size_t end = text->find(' ', at);
        const size_t stop = end == std::string::npos ? text->size() : end;
        if (stop > at) fields.push_back(text->substr(at, stop - at));
        at = stop;
    }
    return fields;
}

// Windows of the process: top-level, message-only and all their descendants.
std::int64_t countWindows(DWORD processId, std::map<std::wstring, int>* classes) {
    WindowCount tally{processId, 0, classes};
    EnumWindows(countTopLevel, reinterpret_cast<LPARAM>(&tally));
    // Message-only windows are not top-level windows of the desktop.
    for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
        countTree(window, tally);
    }
    return tally.count;
}

}  // namespace

std::optional<std::string> readWholeFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::int64_t gdiTableEntries(HANDLE process, DWORD processId) {
    const QueryProcess query = queryProcess();
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !basic.PebBaseAddress) {
        return -1;
    }
    void* table = nullptr;
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<const BYTE*>(basic.PebBaseAddress) + kPebGdiTableOffset,
                           &table, sizeof table, &got) ||
        got != sizeof table || !table) {
        return -1;
    }
    auto entries = std::make_unique<GdiEntry[]>(kGdiEntries);
    if (!ReadProcessMemory(process, table, entries.get(), kGdiEntries * sizeof(GdiEntry), &got) ||
        got != kGdiEntries * sizeof(GdiEntry)) {
        return -1;
    }
    // Windows keeps one table for the session and marks each entry with its owner;
    // Wine keeps one per process and leaves the owner 0.
    bool owned = false;
    for (size_t i = 0; i < kGdiEntries && !owned; ++i) owned = entries[i].type && entries[i].ownerProcess;
    std::int64_t live = 0;
    for (size_t i = 0; i < kGdiEntries; ++i) {
        if (!entries[i].type) continue;
        if (owned && entries[i].ownerProcess != static_cast<std::uint16_t>(processId)) continue;
        ++live;
    }
    return live;
}

std::int64_t windowsOfProcess(DWORD processId) {
    return countWindows(processId, nullptr);
}

std::string windowClassesOfProcess(DWORD processId) {
    std::map<std::wstring, int> classes;
    countWindows(processId, &classes);
    std::string text;
    for (const auto& [name, count] : classes) {
        if (!text.empty()) text += ", ";
        const std::string narrow(name.begin(), name.end());  // class names here are ASCII
        text += narrow + " x" + std::to_string(count);
    }
    return text;
}


std::uint64_t committedPrivateBytes(HANDLE process) {
    std::uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    const BYTE* address = nullptr;
    while (VirtualQueryEx(process, address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

PROCESS_MEMORY_COUNTERS_EX memoryCounters(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters;
}

Sample sampleProcess(HANDLE process, DWORD processId) {
    Sample sample;
    sample.guiGdi = GetGuiResources(process, GR_GDIOBJECTS);
    sample.guiUser = GetGuiResources(process, GR_USEROBJECTS);
    sample.gdiObjects = gdiTableEntries(process, processId);
    sample.windows = windowsOfProcess(processId);
    const PROCESS_MEMORY_COUNTERS_EX counters = memoryCounters(process);
    sample.privateUsage = counters.PrivateUsage;
    sample.pagefileUsage = counters.PagefileUsage;
    sample.workingSet = counters.WorkingSetSize;
    sample.peakWorkingSet = counters.PeakWorkingSetSize;
    sample.privateCommit = committedPrivateBytes(process);
    return sample;
}

std::optional<int> unixPidWithArgument(const std::string& token) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<int> found;
    do {
        if (!isDigits(entry.cFileName)) continue;
        const auto commandLine =
            readWholeFile(std::wstring(L"Z:\\proc\\") + entry.cFileName + L"\\cmdline");
        if (!commandLine) continue;
        // The first argument is the program: an .exe for a Wine process. A launcher
        // that only passes the token on (timeout, a shell) has something else there.
        // Wine started by another Wine process holds the whole Windows command line
        // in its first argument; started from Linux it keeps the arguments apart.
        const std::string first = commandLine->substr(0, commandLine->find('\0'));
        std::string lower = first;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower.find(".exe") == std::string::npos) continue;
        std::string flat = *commandLine;
        std::replace(flat.begin(), flat.end(), '\0', ' ');
        if (!holdsWord(flat, token)) continue;
        found = _wtoi(entry.cFileName);
        break;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

CpuTime cpuTime(HANDLE process, std::optional<int> unixPid) {
    CpuTime times;
    FILETIME created{}, ended{}, kernel{}, user{};
    if (GetProcessTimes(process, &created, &ended, &kernel, &user)) {
        const auto ticks = [](const FILETIME& t) {
            return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        times.reportedMs = static_cast<double>(ticks(kernel) + ticks(user)) / 1e4;
    }
    if (!unixPid) return times;
    if (const auto fields = statFields(*unixPid); fields && fields->size() > 15) {
        // utime and stime are fields 14 and 15, in clock ticks of 1/100 s.
        const double ticks = std::atof((*fields)[14].c_str()) + std::atof((*fields)[15].c_str());
        times.statMs = ticks * 10.0;
    }
    const std::wstring taskFolder = L"Z:\\proc\\" + std::to_wstring(*unixPid) + L"\\task\\";
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((taskFolder + L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        double nanoseconds = 0;
        bool any = false;
        do {
            if (!isDigits(entry.cFileName)) continue;
            const auto schedstat = readWholeFile(taskFolder + entry.cFileName + L"\\schedstat");
            if (!schedstat) continue;
            nanoseconds += std::atof(schedstat->c_str());  // first field: time on the CPU
            any = true;
        } while (FindNextFileW(search, &entry));
        FindClose(search);
        if (any) times.threadsMs = nanoseconds / 1e6;
    }
    return times;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

LARGE_INTEGER now() {
    LARGE_INTEGER value{};
    QueryPerformanceCounter(&value);
    return value;
}

double secondsSince(LARGE_INTEGER start) {
    static const double frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    return static_cast<double>(now().QuadPart - start.QuadPart) / frequency;
}

}  // namespace bench
