// vparse_bench: starts vparse.exe and the baseline as separate processes and
// measures them from outside, the way the shell sees a program.
//
//   compare --product EXE --baseline EXE [--startup-runs N] [--idle-runs N]
//           [--idle-from S] [--idle-to S] [--hint-cost-ms X] [--size LABEL=PATH]...
//           [--timer-split INPROC_EXE] [--timer-split-seconds S]
//       Start-up time (CreateProcessW until the main window is visible with all its
//       controls and the component's window), peak working set (read just before
//       closing) and the CPU used between --idle-from and --idle-to seconds after
//       the start. Runs alternate between the two programs, the first of each pair
//       taking turns, and every figure is the median of its runs. With
//       --timer-split, the cost of 30 hint rewrites is measured after each idle
//       round (vparse_bench_inproc timer-split) and its median is the allowance of
//       the idle-CPU target; else --hint-cost-ms gives it. Prints a table with the
//       ratios and the targets.
//
//   attribute --program LABEL=CHILDREN=EXE... [--rounds N]
//       Start-up time and peak working set of several programs side by side (the
//       first is the reference), to find where a difference comes from.
//
//   boxes --product EXE [--count N] [--sample-every N]
//       Opens and closes the warning box N times: clicks the parse button with no
//       address chosen, waits for the box, presses its OK button, waits until it is
//       gone. Samples GDI and USER objects and private bytes of vparse as it goes.
#include "probe/ProcessProbe.h"
#include "probe/SoakReport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using bench::CpuTime;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "vparse_bench: %s\n", what.c_str());
    std::fflush(stderr);
    ExitProcess(2);
}

std::wstring wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

// ---------------------------------------------------------------------------
// A program under measurement

struct Program {
    std::string label;
    std::wstring path;
    size_t minChildren;  // direct children of the main window once it is complete
};

struct Launched {
    PROCESS_INFORMATION info{};
    std::string token;
    LARGE_INTEGER started{};
    HWND main = nullptr;
    double readyMs = -1;
    ~Launched() {
        if (info.hProcess) {
            if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 99);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
};

bool hasVisibleDescendantOfClass(HWND parent, const wchar_t* className) {
    struct Search {
        const wchar_t* className;
        bool found = false;
    } search{className};
    EnumChildWindows(
        parent,
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (lstrcmpW(name, s->className) == 0 && IsWindowVisible(window)) {
                s->found = true;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

size_t directChildren(HWND parent) {
    size_t count = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++count;
    return count;
}

// The program's main window once it is visible with all its controls and the
// component's window ("Shell Embedding") shown inside it; null before.
HWND readyWindow(DWORD processId, size_t minChildren) {
    struct Search {
        DWORD processId;
        size_t minChildren;
        HWND found = nullptr;
    } search{processId, minChildren};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != s->processId || !IsWindowVisible(window)) return TRUE;
            if (directChildren(window) < s->minChildren) return TRUE;
            if (!hasVisibleDescendantOfClass(window, L"Shell Embedding")) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int launchCounter = 0;

// Starts the program and waits until it is ready (at most 30 s).
void launch(const Program& program, Launched& run) {
    run.token = "--bench-run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++launchCounter);
    std::wstring commandLine = L"\"" + program.path + L"\" " + wide(run.token);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    run.started = bench::now();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &run.info)) {
        fail("cannot start " + program.label + " (error " + std::to_string(GetLastError()) + ")");
    }
    while (bench::secondsSince(run.started) < 30) {
        if (HWND window = readyWindow(run.info.dwProcessId, program.minChildren)) {
            run.readyMs = bench::secondsSince(run.started) * 1000;
            run.main = window;
            return;
        }
        if (WaitForSingleObject(run.info.hProcess, 1) != WAIT_TIMEOUT) {
            fail(program.label + " ended before its window was ready");
        }
    }
    fail(program.label + " was not ready within 30 s");
}

void sleepUntil(const Launched& run, double seconds) {
    const double left = seconds - bench::secondsSince(run.started);
    if (left > 0) Sleep(static_cast<DWORD>(left * 1000));
}

// Closes the main window the way the title bar's close button does and waits for the
// process to end (10 s at most). Answers its exit code, or -1 when it had to be killed.
long closeAndWait(Launched& run) {
    PostMessageW(run.main, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (WaitForSingleObject(run.info.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(run.info.hProcess, 99);
        WaitForSingleObject(run.info.hProcess, 5000);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(run.info.hProcess, &code);
    return static_cast<long>(code);
}

// ---------------------------------------------------------------------------
// compare

struct CompareOptions {
    Program product{"vparse", L"", 11};
    Program baseline{"baseline", L"", 1};
    int startupRuns = 15;
    int idleRuns = 5;
    double idleFrom = 5;
    double idleTo = 35;
    double hintCostMs = -1;
    std::string hintCostSource = "not measured";
    std::wstring timerSplit;  // vparse_bench_inproc.exe: measures the hint cost in each idle round
    double timerSplitSeconds = 15;
    std::vector<std::pair<std::string, std::wstring>> sizes;
};

struct Figures {
    std::vector<double> readyMs;
    std::vector<double> peakKiB;         // start-up runs: just before closing, 1 s after ready
    std::vector<double> idlePeakKiB;     // idle runs: just before closing, at the end of the window
    std::vector<double> idleCpuMs;       // finest source
    std::vector<double> idleStatMs;      // utime+stime
    std::vector<double> idleReportedMs;  // GetProcessTimes
    std::string cpuSource = "none";
    int unsoundRuns = 0;
};

void startupRun(const Program& program, Figures& figures) {
    Launched run;
    launch(program, run);
    figures.readyMs.push_back(run.readyMs);
    Sleep(1000);
    const double peak = static_cast<double>(bench::memoryCounters(run.info.hProcess).PeakWorkingSetSize) / 1024;
    figures.peakKiB.push_back(peak);
    const long code = closeAndWait(run);
    if (code != 0) ++figures.unsoundRuns;
    std::printf("  %-9s start-up %7.1f ms  peak WS %8.0f KiB  exit %ld\n", program.label.c_str(),
                run.readyMs, peak, code);
}

void idleRun(const Program& program, const CompareOptions& options, Figures& figures) {
    Launched run;
    launch(program, run);
    figures.readyMs.push_back(run.readyMs);
    const std::optional<int> unixPid = bench::unixPidWithArgument(run.token);
    sleepUntil(run, options.idleFrom);
    const CpuTime before = bench::cpuTime(run.info.hProcess, unixPid);
    sleepUntil(run, options.idleTo);
    const CpuTime after = bench::cpuTime(run.info.hProcess, unixPid);
    const double peak = static_cast<double>(bench::memoryCounters(run.info.hProcess).PeakWorkingSetSize) / 1024;
    figures.idlePeakKiB.push_back(peak);
    figures.idleCpuMs.push_back(after.best() - before.best());
    figures.idleStatMs.push_back(after.statMs - before.statMs);
    figures.idleReportedMs.push_back(after.reportedMs - before.reportedMs);
    figures.cpuSource = after.bestSource();
    const long code = closeAndWait(run);
    if (code != 0) ++figures.unsoundRuns;
    std::printf("  %-9s start-up %7.1f ms  idle CPU %7.2f ms (utime+stime %5.0f ms, GetProcessTimes %5.1f ms)  "
                "peak WS %8.0f KiB  exit %ld  Linux pid %s\n",
                program.label.c_str(), run.readyMs, after.best() - before.best(),
                after.statMs - before.statMs, after.reportedMs - before.reportedMs, peak, code,
                unixPid ? std::to_string(*unixPid).c_str() : "not found");
    if (!unixPid) ++figures.unsoundRuns;  // no fine CPU figure
}

std::uint64_t fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

// Runs a console program to its end (at most `seconds`) and answers what it printed.
std::string runAndCapture(std::wstring commandLine, double seconds) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) fail("no pipe");
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        fail("cannot start the hint-cost measurement");
    }
    CloseHandle(writeEnd);
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    const LARGE_INTEGER started = bench::now();
    // The pipe ends when the program does; the deadline guards against a hang.
    while (bench::secondsSince(started) < seconds) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;
        if (available == 0) {
            if (WaitForSingleObject(info.hProcess, 50) == WAIT_OBJECT_0) {
                if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) || available == 0) break;
            }
            continue;
        }
        if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
        output.append(buffer, got);
    }
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 99);
    CloseHandle(readEnd);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return output;
}

// One measurement of the cost of 30 hint rewrites at the timer's own period, in
// vparse's window inside vparse_bench_inproc; -1 when it gave none.
double timerSplitRun(const CompareOptions& options) {
    const std::string token = "--bench-split-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++launchCounter);
    const std::wstring commandLine = L"\"" + options.timerSplit + L"\" timer-split --seconds " +
                                     std::to_wstring(static_cast<int>(options.timerSplitSeconds)) + L" --token " +
                                     wide(token.substr(2));
    const std::string output = runAndCapture(commandLine, options.timerSplitSeconds * 2 + 60);
    const size_t at = output.find("hint_cost_30_timer_ms ");
    if (at == std::string::npos) {
        std::printf("  hint cost: no figure; the measurement printed:\n%s\n", output.c_str());
        return -1;
    }
    const double cost = std::atof(output.c_str() + at + 22);
    const size_t line = output.find("timer running:");
    std::printf("  hint cost %.2f ms per 30 ticks (%s)\n", cost,
                line == std::string::npos ? "" : output.substr(line, output.find('\n', line) - line).c_str());
    return cost;
}

int compare(const CompareOptions& options) {
    Figures product, baseline;
    std::printf("start-up runs: %d of each, alternating\n", options.startupRuns);
    for (int i = 0; i < options.startupRuns; ++i) {
        if (i % 2 == 0) {
            startupRun(options.product, product);
            startupRun(options.baseline, baseline);
        } else {
            startupRun(options.baseline, baseline);
            startupRun(options.product, product);
        }
    }
    std::printf("idle runs: %d of each, alternating; CPU from %.0f s to %.0f s after the start\n",
                options.idleRuns, options.idleFrom, options.idleTo);
    std::vector<double> hintCosts;
    for (int i = 0; i < options.idleRuns; ++i) {
        if (i % 2 == 0) {
            idleRun(options.product, options, product);
            idleRun(options.baseline, options, baseline);
        } else {
            idleRun(options.baseline, options, baseline);
            idleRun(options.product, options, product);
        }
        if (!options.timerSplit.empty()) {
            const double cost = timerSplitRun(options);
            if (cost >= 0) hintCosts.push_back(cost);
        }
    }

    const double readyP = bench::median(product.readyMs), readyB = bench::median(baseline.readyMs);
    const double peakP = bench::median(product.peakKiB), peakB = bench::median(baseline.peakKiB);
    const double idlePeakP = bench::median(product.idlePeakKiB), idlePeakB = bench::median(baseline.idlePeakKiB);
    const double cpuP = bench::median(product.idleCpuMs), cpuB = bench::median(baseline.idleCpuMs);
    const double statP = bench::median(product.idleStatMs), statB = bench::median(baseline.idleStatMs);
    const double window = options.idleTo - options.idleFrom;
    double hint = options.hintCostMs;
    std::string hintSource = options.hintCostSource;
    if (!hintCosts.empty()) {
        hint = bench::median(hintCosts);
        hintSource = "timer at its 1 s period in vparse's window, " + std::to_string(hintCosts.size()) +
                     " runs between the idle runs";
    }

    std::printf("\n| figure (median) | vparse | baseline | ratio | target | |\n");
    std::printf("| --- | ---: | ---: | ---: | --- | --- |\n");
    std::printf("| start-up to ready window, ms (%zu runs each) | %.1f | %.1f | %.3f | ratio <= 1.10 | %s |\n",
                product.readyMs.size(), readyP, readyB, readyP / readyB, verdict(readyP <= 1.10 * readyB));
    const double bestP = *std::min_element(product.readyMs.begin(), product.readyMs.end());
    const double bestB = *std::min_element(baseline.readyMs.begin(), baseline.readyMs.end());
    std::printf("| start-up, best run, ms | %.1f | %.1f | %.3f | (the least disturbed run) | |\n", bestP, bestB,
                bestP / bestB);
    std::printf("| peak working set 1 s after ready, KiB (%zu runs) | %.0f | %.0f | %.3f | ratio <= 1.10 | %s |\n",
                product.peakKiB.size(), peakP, peakB, peakP / peakB, verdict(peakP <= 1.10 * peakB));
    std::printf("| peak working set at %.0f s, KiB (%zu runs) | %.0f | %.0f | %.3f | ratio <= 1.10 | %s |\n",
                options.idleTo, product.idlePeakKiB.size(), idlePeakP, idlePeakB, idlePeakP / idlePeakB,
                verdict(idlePeakP <= 1.10 * idlePeakB));
    if (hint >= 0) {
        const double allowed = 1.10 * (cpuB + hint);
        std::printf("| CPU in %.0f s idle, ms (%s; %zu runs) | %.2f | %.2f | %.2f | <= 1.10 x (baseline + %.2f) = %.2f | %s |\n",
                    window, product.cpuSource.c_str(), product.idleCpuMs.size(), cpuP, cpuB,
                    cpuB > 0 ? cpuP / cpuB : 0.0, hint, allowed, verdict(cpuP <= allowed));
    } else {
        std::printf("| CPU in %.0f s idle, ms (%s; %zu runs) | %.2f | %.2f | %.2f | (no hint cost given) | |\n",
                    window, product.cpuSource.c_str(), product.idleCpuMs.size(), cpuP, cpuB,
                    cpuB > 0 ? cpuP / cpuB : 0.0);
    }
    std::printf("| CPU in %.0f s idle, utime+stime (10 ms steps), ms | %.0f | %.0f | | | |\n", window, statP, statB);
    std::printf("| idle CPU, vparse minus baseline, ms | %.2f | | | cost of 30 hint rewrites: %.2f ms (%s) | |\n",
                cpuP - cpuB, hint, hintSource.c_str());
    // Sizes: "vparse win32", "vparse win64", "baseline win32", ... Each row pairs the
    // product and the baseline of one architecture.
    for (const char* arch : {"win32", "win64"}) {
        std::uint64_t productBytes = 0, baselineBytes = 0;
        for (const auto& [label, path] : options.sizes) {
            if (label == std::string("vparse ") + arch) productBytes = fileSize(path);
            if (label == std::string("baseline ") + arch) baselineBytes = fileSize(path);
        }
        if (!productBytes && !baselineBytes) continue;
        const bool target = std::string(arch) == "win32";
        std::printf("| size of the %s exe, bytes | %llu (%.1f KiB) | %llu | %.2f | %s | %s |\n", arch,
                    static_cast<unsigned long long>(productBytes), static_cast<double>(productBytes) / 1024,
                    static_cast<unsigned long long>(baselineBytes),
                    baselineBytes ? static_cast<double>(productBytes) / static_cast<double>(baselineBytes) : 0.0,
                    target ? "vparse < 262144 (256 KiB)" : "", target ? verdict(productBytes > 0 && productBytes < 262144) : "");
    }
    if (product.unsoundRuns || baseline.unsoundRuns) {
        std::printf("\nwarning: %d vparse and %d baseline runs were unsound (exit code not 0, or no "
                    "Linux pid for the CPU figure)\n",
                    product.unsoundRuns, baseline.unsoundRuns);
    }
    std::printf("\nGetProcessTimes of the other process over the same window, medians: vparse %.1f ms, "
                "baseline %.1f ms (under Wine it moves in steps of 10 ms or more: too coarse here; the CPU "
                "figures above come from %s)\n",
                bench::median(product.idleReportedMs), bench::median(baseline.idleReportedMs),
                product.cpuSource.c_str());
    return product.unsoundRuns || baseline.unsoundRuns ? 1 : 0;
}

// ---------------------------------------------------------------------------
// attribute

// Start-up time and peak working set of several programs, the first being the
// reference: every round runs each once, the first of the round taking turns.
int attribute(const std::vector<Program>& programs, int rounds) {
    std::vector<Figures> figures(programs.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < programs.size(); ++i) {
            const size_t which = (i + static_cast<size_t>(round)) % programs.size();
            startupRun(programs[which], figures[which]);
        }
    }
    const double readyReference = bench::median(figures[0].readyMs);
    const double peakReference = bench::median(figures[0].peakKiB);
    const auto best = [](const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); };
    const double bestReference = best(figures[0].readyMs);
    std::printf("\n| program (%d runs each) | start-up median, ms | vs %s | best run, ms | vs %s | peak working set, KiB | vs %s |\n",
                rounds, programs[0].label.c_str(), programs[0].label.c_str(), programs[0].label.c_str());
    std::printf("| --- | ---: | ---: | ---: | ---: | ---: | ---: |\n");
    int unsound = 0;
    for (size_t i = 0; i < programs.size(); ++i) {
        const double ready = bench::median(figures[i].readyMs);
        const double fastest = best(figures[i].readyMs);
        const double peak = bench::median(figures[i].peakKiB);
        std::printf("| %s | %.1f | %+.1f | %.1f | %+.1f | %.0f | %+.0f |\n", programs[i].label.c_str(), ready,
                    ready - readyReference, fastest, fastest - bestReference, peak, peak - peakReference);
        unsound += figures[i].unsoundRuns;
    }
    if (unsound) std::printf("\nwarning: %d runs did not end with exit code 0\n", unsound);
    return unsound ? 1 : 0;
}

// ---------------------------------------------------------------------------
// boxes

struct BoxOptions {
    Program product{"vparse", L"", 11};
    long count = 1000;
    long sampleEvery = 100;
};

constexpr int kParseButtonId = 130;
constexpr int kRadio1Id = 150;
constexpr int kRadio2Id = 160;

// The program's message box (#32770), visible; null when there is none.
HWND messageBoxOf(DWORD processId) {
    struct Search {
        DWORD processId;
        HWND found = nullptr;
    } search{processId};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (owner == s->processId && IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool waitFor(const std::function<bool()>& condition, double seconds) {
    const LARGE_INTEGER start = bench::now();
    while (!condition()) {
        if (bench::secondsSince(start) > seconds) return condition();
        Sleep(1);
    }
    return true;
}

// A sample of a process that goes on running: its GDI and USER counts are the least
// of three reads 30 ms apart, so that an object that lives only while the process
// paints (a device context, a clipping region) is not taken for a kept one.
bench::Sample settledSample(HANDLE process, DWORD processId) {
    bench::Sample sample = bench::sampleProcess(process, processId);
    for (int i = 0; i < 2; ++i) {
        Sleep(30);
        const bench::Sample again = bench::sampleProcess(process, processId);
        sample.gdiObjects = std::min(sample.gdiObjects, again.gdiObjects);
        sample.guiGdi = std::min(sample.guiGdi, again.guiGdi);
        sample.windows = std::min(sample.windows, again.windows);
        sample.guiUser = std::min(sample.guiUser, again.guiUser);
    }
    return sample;
}

LRESULT askButton(HWND button, UINT message) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(button, message, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
    return static_cast<LRESULT>(result);
}

int boxes(const BoxOptions& options) {
    Launched run;
    launch(options.product, run);
    const HANDLE process = run.info.hProcess;
    const DWORD processId = run.info.dwProcessId;
    const HWND parse = GetDlgItem(run.main, kParseButtonId);
    if (!parse) fail("the parse button is missing");
    if (askButton(GetDlgItem(run.main, kRadio1Id), BM_GETCHECK) != BST_UNCHECKED ||
        askButton(GetDlgItem(run.main, kRadio2Id), BM_GETCHECK) != BST_UNCHECKED) {
        fail("an address radio button is checked at the start: the click would navigate");
    }
    Sleep(500);
    bench::SoakSeries series{"warning boxes", options.sampleEvery, {}, 0};
    series.points.push_back({0, 0, settledSample(process, processId)});
    const LARGE_INTEGER started = bench::now();
    std::vector<double> openMs;
    for (long i = 1; i <= options.count; ++i) {
        const LARGE_INTEGER clicked = bench::now();
        PostMessageW(parse, BM_CLICK, 0, 0);
        HWND box = nullptr;
        if (!waitFor([&] { return (box = messageBoxOf(processId)) != nullptr; }, 10)) {
            fail("box " + std::to_string(i) + " did not open within 10 s");
        }
        openMs.push_back(bench::secondsSince(clicked) * 1000);
        const HWND ok = GetDlgItem(box, IDOK);
        if (!ok) fail("box " + std::to_string(i) + " has no OK button");
        PostMessageW(ok, BM_CLICK, 0, 0);
        if (!waitFor([&] { return !IsWindow(box); }, 10)) {
            fail("box " + std::to_string(i) + " did not close within 10 s of pressing OK");
        }
        if (i % options.sampleEvery == 0 || i == options.count) {
            series.points.push_back({i, bench::secondsSince(started), settledSample(process, processId)});
        }
    }
    series.seconds = bench::secondsSince(started);
    const bool flat = series.print(256);
    std::printf("windows: %s\n", bench::windowClassesOfProcess(processId).c_str());
    std::printf("box opened %.1f ms after the click (median of %zu)\n", bench::median(openMs), openMs.size());
    const long code = closeAndWait(run);
    std::printf("vparse exit code after the boxes: %ld\n", code);
    std::printf("boxes_verdict %s\n", flat && code == 0 ? "FLAT" : "GROWING");
    return flat && code == 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------

std::wstring pathArgument(const char* value) {
    std::wstring path = wide(value);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc < 2) fail("usage: vparse_bench compare|boxes [options]");
    const std::string mode = argv[1];
    CompareOptions compareOptions;
    BoxOptions boxOptions;
    std::vector<Program> attributed;
    int rounds = 9;
    for (int i = 2; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) fail("missing value after " + name);
        const char* value = argv[++i];
        if (name == "--product") compareOptions.product.path = boxOptions.product.path = pathArgument(value);
        else if (name == "--baseline") compareOptions.baseline.path = pathArgument(value);
        else if (name == "--startup-runs") compareOptions.startupRuns = std::atoi(value);
        else if (name == "--idle-runs") compareOptions.idleRuns = std::atoi(value);
        else if (name == "--idle-from") compareOptions.idleFrom = std::atof(value);
        else if (name == "--idle-to") compareOptions.idleTo = std::atof(value);
        else if (name == "--hint-cost-ms") compareOptions.hintCostMs = std::atof(value);
        else if (name == "--hint-cost-source") compareOptions.hintCostSource = value;
        else if (name == "--timer-split") compareOptions.timerSplit = pathArgument(value);
        else if (name == "--timer-split-seconds") compareOptions.timerSplitSeconds = std::atof(value);
        else if (name == "--count") boxOptions.count = std::atol(value);
        else if (name == "--rounds") rounds = std::atoi(value);
        else if (name == "--program") {
            // LABEL=CHILDREN=PATH: CHILDREN is the main window's direct children once ready.
            const std::string program = value;
            const size_t first = program.find('=');
            const size_t second = first == std::string::npos ? first : program.find('=', first + 1);
            if (second == std::string::npos) fail("--program takes LABEL=CHILDREN=PATH");
            attributed.push_back({program.substr(0, first),
                                  pathArgument(program.substr(second + 1).c_str()),
                                  static_cast<size_t>(std::atoi(program.substr(first + 1, second - first - 1).c_str()))});
        }
        else if (name == "--sample-every") boxOptions.sampleEvery = std::atol(value);
        else if (name == "--size") {
            const std::string pair = value;
            const size_t equals = pair.find('=');
            if (equals == std::string::npos) fail("--size takes LABEL=PATH");
            compareOptions.sizes.emplace_back(pair.substr(0, equals), pathArgument(pair.substr(equals + 1).c_str()));
        } else {
            fail("unknown option " + name);
        }
    }
    if (mode == "compare") {
        if (compareOptions.product.path.empty() || compareOptions.baseline.path.empty()) {
            fail("compare needs --product and --baseline");
        }
        return compare(compareOptions);
    }
    if (mode == "boxes") {
        if (boxOptions.product.path.empty()) fail("boxes needs --product");
        return boxes(boxOptions);
    }
    if (mode == "attribute") {
        if (attributed.size() < 2) fail("attribute needs two --program or more");
        return attribute(attributed, rounds);
    }
    fail("the mode is compare, attribute or boxes");
}
