// vparse_bench_inproc: runs vparse's own main window, built from the program's
// definition with the real web-browser component, inside this process and drives it
// through the product's own code paths, far faster than a user or the timer would.
// It carries vparse's manifest, so its controls are those of vparse.exe.
//
//   hint-cost [--writes N] [--ticks N] [--token T]
//       CPU cost of rewriting the hint line: N direct calls of the timer's handler
//       (each followed by the painting it causes), and N ticks of the window's own
//       timer run at its shortest period (the whole path of a tick: the timer
//       message, the event, the handler, the painting). Prints the cost of 30
//       rewrites, the work of 30 s of the 1 s timer, and for comparison the cost of
//       the ticks alone (taken from the queue, not dispatched).
//
//   timer-split [--seconds S] [--token T]
//       The cost of the hint rewrites at the timer's own 1 s period: CPU of the
//       window idling S seconds with its timer, minus S seconds with it stopped.
//       Prints the cost of 30 ticks.
//
//   startup-phases
//       Where the start-up of the window goes: the controls of the program's
//       definition made one by one, each step timed, in a fresh process.
//
//   soak [--hint-writes N] [--navigations N] [--sample-every N] [--token T]
//       N writes of the hint through the timer's handler, then N navigations by
//       clicking the three buttons (the parse button with one of the two address
//       radio buttons checked), each awaited until the component reports its end.
//       GDI and USER objects and private bytes are sampled every so many actions.
//       Run it with http_proxy pointing at a loopback proxy: nothing leaves the
//       machine.
//
//   soak-component [--navigations N] [--sample-every N]
//       The reference for the navigation soak: the same component in a plain window
//       with nothing of vparse, navigated N times to the same four addresses.
//
// --token T: a unique argument by which the process finds its own Linux pid for
// fine CPU figures (see probe/ProcessProbe.h).
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/WindowDefinition.h"
#include "browser/ComponentHost.h"
#include "commands/CommandTexts.h"
#include "commands/Handlers.h"
#include "probe/ProcessProbe.h"
#include "probe/SoakReport.h"

#include <exdispid.h>
#include <ole2.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <span>
#include <string>

namespace {

using Microsoft::WRL::ComPtr;
using vparse::mainWindowNumber;
namespace controls = vparse::controls;

// ---------------------------------------------------------------------------
// Watching the component's events: the product's own OLE host, with a tee in front
// of the browser box's event receiver that counts each event and hands it on.

struct EventCounts {
    std::map<DISPID, long> byId;
    long total = 0;
    long of(DISPID id) const {
        const auto at = byId.find(id);
        return at == byId.end() ? 0 : at->second;
    }
};
EventCounts events;

class EventTee final : public IDispatch {
public:
    explicit EventTee(IDispatch* inner) : inner_(inner) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return inner_->GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return inner_->GetTypeInfo(index, locale, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) override {
        return inner_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        ++events.byId[id];
        ++events.total;
        return inner_->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
    }

private:
    ~EventTee() = default;
    LONG references_ = 1;
    ComPtr<IDispatch> inner_;
};

class WatchingHost final : public vparse::ComponentHost {
public:
    HRESULT create(HWND parent, const RECT& area, IDispatch* receiver) override {
        tee_.Reset();
        if (receiver) tee_.Attach(new EventTee(receiver));
        return real_->create(parent, area, tee_.Get());
    }
    IWebBrowser2* browser() const override { return real_->browser(); }
    HWND window() const override { return real_->window(); }
    void destroy() override {
        real_->destroy();
        tee_.Reset();
    }

private:
    std::unique_ptr<vparse::ComponentHost> real_ = vparse::makeOleComponentHost();
    ComPtr<EventTee> tee_;
};

std::unique_ptr<vparse::ComponentHost> makeWatchingHost() { return std::make_unique<WatchingHost>(); }

// ---------------------------------------------------------------------------

struct Options {
    std::string mode;
    long hintWrites = 100000;
    long navigations = 10000;
    long sampleEvery = 1000;
    long writes = 3000;
    long ticks = 1000;
    double seconds = 15;
    std::string token;
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "vparse_bench_inproc: %s\n", what);
    std::fflush(stderr);
    ExitProcess(2);
}

Options parse(int argc, char** argv) {
    Options options;
    if (argc < 2) fail("usage: vparse_bench_inproc hint-cost|soak [options]");
    options.mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) fail(("missing value after " + name).c_str());
        const char* value = argv[++i];
        if (name == "--hint-writes") options.hintWrites = std::atol(value);
        else if (name == "--navigations") options.navigations = std::atol(value);
        else if (name == "--sample-every") options.sampleEvery = std::atol(value);
        else if (name == "--writes") options.writes = std::atol(value);
        else if (name == "--ticks") options.ticks = std::atol(value);
        else if (name == "--token") options.token = value;
        else if (name == "--seconds") options.seconds = std::atof(value);
        else fail(("unknown option " + name).c_str());
    }
    return options;
}

// Dispatches every message waiting now, painting included.
// Ticks of the window's timer seen by the pumps below (set timerWindow to count).
HWND timerWindow = nullptr;
long timerTicksSeen = 0;

void pumpPending() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) fail("the main window ended during the run");
        if (message.message == WM_TIMER && message.hwnd == timerWindow && timerWindow) ++timerTicksSeen;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Dispatches messages until `done` holds or `seconds` have passed; true if it held.
template <typename Condition>
bool pumpUntil(Condition done, double seconds) {
    const LARGE_INTEGER start = bench::now();
    for (;;) {
        pumpPending();
        if (done()) return true;
        const double left = seconds - bench::secondsSince(start);
        if (left <= 0) return done();
        // Whatever can make `done` true arrives as a message: sleep until one comes.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left * 1000) + 1, QS_ALLINPUT);
    }
}

void pumpFor(double seconds) {
    pumpUntil([] { return false; }, seconds);
}

HWND controlWindow(std::uint32_t number) {
    vparse::MainWindow* window = vparse::MainWindow::loaded();
    vparse::Control* control = window ? window->control(number) : nullptr;
    if (!control || !control->window()) fail("a control of the main window is missing");
    return control->window();
}

void buildMainWindow() {
    if (FAILED(OleInitialize(nullptr))) fail("OleInitialize failed");
    vparse::setComponentHostFactory(makeWatchingHost);
    if (!vparse::loadMainWindow()) fail("the main window could not be built");
    // Settle: the first painting and whatever the component does once.
    pumpFor(1.5);
}

void closeMainWindow() {
    vparse::MainWindow* window = vparse::MainWindow::loaded();
    if (window && window->window()) DestroyWindow(window->window());
    pumpPending();
}

void setTimerInterval(std::int32_t milliseconds) {
    vparse::writeSetting(mainWindowNumber, controls::时钟1, vparse::Timer::interval,
                         vparse::Value(milliseconds));
}

std::optional<int> ownUnixPid(const Options& options) {
    if (options.token.empty()) return std::nullopt;
    return bench::unixPidWithArgument(options.token);
}

// ---------------------------------------------------------------------------
// hint-cost

int hintCost(const Options& options) {
    buildMainWindow();
    const std::optional<int> unixPid = ownUnixPid(options);
    const HANDLE self = GetCurrentProcess();
    setTimerInterval(0);  // only our own rewrites from here on
    pumpFor(0.5);

    // 1. Direct calls of the handler, each followed by the painting it causes.
    const bench::CpuTime before = bench::cpuTime(self, unixPid);
    const LARGE_INTEGER started = bench::now();
    for (long i = 0; i < options.writes; ++i) {
        vparse::onHintTimer();
        pumpPending();
    }
    const double directSeconds = bench::secondsSince(started);
    const bench::CpuTime after = bench::cpuTime(self, unixPid);
    const double directMs = after.best() - before.best();

    // 1b. The same calls with the painting left out: the messages wait until all
    //     the writes are done, and the one paint then is not counted.
    const bench::CpuTime unpaintedBefore = bench::cpuTime(self, unixPid);
    for (long i = 0; i < options.writes; ++i) vparse::onHintTimer();
    const double unpaintedMs = bench::cpuTime(self, unixPid).best() - unpaintedBefore.best();
    pumpPending();

    // 2. The background: the same process with the timer stopped, for 3 s.
    const bench::CpuTime idleBefore = bench::cpuTime(self, unixPid);
    const LARGE_INTEGER idleStarted = bench::now();
    pumpFor(3.0);
    const double idleSeconds = bench::secondsSince(idleStarted);
    const double idleMs = bench::cpuTime(self, unixPid).best() - idleBefore.best();

    // 3. The window's own timer at its shortest period: every tick takes the whole
    //    path. The ticks are counted as they are dispatched.
    const HWND timer = controlWindow(controls::时钟1);
    long ticks = 0;
    setTimerInterval(1);
    const bench::CpuTime tickBefore = bench::cpuTime(self, unixPid);
    const LARGE_INTEGER tickStarted = bench::now();
    MSG message{};
    while (ticks < options.ticks && bench::secondsSince(tickStarted) < 120) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) fail("the main window ended during the run");
        if (message.message == WM_TIMER && message.hwnd == timer) ++ticks;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    const double tickSeconds = bench::secondsSince(tickStarted);
    const bench::CpuTime tickAfter = bench::cpuTime(self, unixPid);
    const double tickMs = tickAfter.best() - tickBefore.best();
    const double background = idleSeconds > 0 ? idleMs * tickSeconds / idleSeconds : 0;

    // 4. The same ticks taken from the queue but not dispatched: what waking up for
    //    a timer costs by itself, with no handler and no painting.
    long bareTicks = 0;
    const bench::CpuTime bareBefore = bench::cpuTime(self, unixPid);
    const LARGE_INTEGER bareStarted = bench::now();
    while (bareTicks < options.ticks && bench::secondsSince(bareStarted) < 120) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) fail("the main window ended during the run");
        if (message.message == WM_TIMER && message.hwnd == timer) {
            ++bareTicks;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    const double bareSeconds = bench::secondsSince(bareStarted);
    const double bareMs = bench::cpuTime(self, unixPid).best() - bareBefore.best();
    setTimerInterval(0);
    const double bareBackground = idleSeconds > 0 ? idleMs * bareSeconds / idleSeconds : 0;

    const char* hint = vparse::texts::hintText;
    const auto content = vparse::readSetting(mainWindowNumber, controls::编辑框1, vparse::EditBox::content);
    const auto* text = std::get_if<vparse::Text>(&content);
    if (!text || *text != hint) fail("the hint line does not hold the hint after the rewrites");

    std::printf("CPU source: %s\n", after.bestSource());
    std::printf("direct rewrites: %ld in %.3f s wall, %.1f ms CPU: %.4f ms each\n", options.writes,
                directSeconds, directMs, directMs / options.writes);
    std::printf("the same without painting: %.1f ms CPU: %.4f ms each (painting: %.4f ms each)\n",
                unpaintedMs, unpaintedMs / options.writes, (directMs - unpaintedMs) / options.writes);
    std::printf("background (timer stopped): %.1f ms CPU in %.2f s\n", idleMs, idleSeconds);
    std::printf("timer ticks: %ld in %.2f s wall (period %.2f ms), %.1f ms CPU, %.1f ms of it background: %.4f ms each\n",
                ticks, tickSeconds, tickSeconds * 1000 / std::max(ticks, 1L), tickMs, background,
                (tickMs - background) / std::max(ticks, 1L));
    std::printf("timer ticks not dispatched: %ld in %.2f s wall, %.1f ms CPU: %.4f ms each\n", bareTicks,
                bareSeconds, bareMs, (bareMs - bareBackground) / std::max(bareTicks, 1L));
    std::printf("hint_cost_30_direct_ms %.3f\n", directMs / options.writes * 30);
    std::printf("hint_cost_30_ticks_ms %.3f\n", (tickMs - background) / std::max(ticks, 1L) * 30);
    std::printf("hint_cost_30_bare_ticks_ms %.3f\n", (bareMs - bareBackground) / std::max(bareTicks, 1L) * 30);
    closeMainWindow();
    return 0;
}

// ---------------------------------------------------------------------------
// timer-split

// The timer at its own period: the window as the program makes it, idling for
// --seconds with its 1 s timer rewriting the hint, then as long again with the timer
// stopped. The difference is what the ticks cost at their real spacing (each one
// wakes a process that has been asleep for a second).
int timerSplit(const Options& options) {
    buildMainWindow();
    const std::optional<int> unixPid = ownUnixPid(options);
    const HANDLE self = GetCurrentProcess();
    timerWindow = controlWindow(controls::时钟1);

    timerTicksSeen = 0;
    const bench::CpuTime ticking = bench::cpuTime(self, unixPid);
    pumpFor(options.seconds);
    const double tickingMs = bench::cpuTime(self, unixPid).best() - ticking.best();
    const long ticks = timerTicksSeen;

    setTimerInterval(0);
    pumpFor(0.5);
    const bench::CpuTime stopped = bench::cpuTime(self, unixPid);
    pumpFor(options.seconds);
    const double stoppedMs = bench::cpuTime(self, unixPid).best() - stopped.best();

    const double perTick = ticks > 0 ? (tickingMs - stoppedMs) / static_cast<double>(ticks) : 0;
    std::printf("CPU source: %s\n", ticking.bestSource());
    std::printf("timer running: %ld ticks in %.0f s, %.2f ms CPU; timer stopped: %.2f ms CPU in %.0f s\n",
                ticks, options.seconds, tickingMs, stoppedMs, options.seconds);
    std::printf("hint_cost_30_timer_ms %.3f\n", perTick * 30);
    closeMainWindow();
    return ticks > 0 && unixPid ? 0 : 1;
}

// ---------------------------------------------------------------------------
// startup-phases

// Receives the events of controls made outside a main window: there is no handler.
class NoHandlers final : public vparse::EventTarget {
public:
    vparse::EventAnswer raiseEvent(std::uint32_t, std::uint32_t, int, std::span<const std::int32_t>) override {
        return {};
    }
    void controlGone(std::uint32_t, std::uint32_t) override {}
};

const char* kindName(const vparse::KindSettings& settings) {
    switch (settings.index()) {
    case 0: return "browser box";
    case 1: return "push button";
    case 2: return "edit box";
    case 3: return "radio button";
    default: return "timer";
    }
}

std::unique_ptr<vparse::Control> createKind(const vparse::KindSettings& settings,
                                            const vparse::CreateContext& context) {
    return std::visit(
        [&](const auto& kind) -> std::unique_ptr<vparse::Control> {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<Kind, vparse::BrowserBoxSettings>) return vparse::BrowserBox::create(kind, context);
            else if constexpr (std::is_same_v<Kind, vparse::PushButtonSettings>) return vparse::PushButton::create(kind, context);
            else if constexpr (std::is_same_v<Kind, vparse::EditBoxSettings>) return vparse::EditBox::create(kind, context);
            else if constexpr (std::is_same_v<Kind, vparse::RadioButtonSettings>) return vparse::RadioButton::create(kind, context);
            else return vparse::Timer::create(kind, context);
        },
        settings);
}

LRESULT CALLBACK plainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// Where the start-up of vparse's window spends its time, step by step, in a fresh
// process: the controls of the program's definition are made one by one with their
// kinds' own create operations, in a plain window of the same size and title.
// This program carries vparse's manifest, so the controls are the same (common
// controls 6).
int startupPhases() {
    const LARGE_INTEGER entered = bench::now();
    FILETIME created{}, ended{}, kernel{}, user{}, current{};
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    GetSystemTimePreciseAsFileTime(&current);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    std::printf("phase %-34s %8.2f ms\n", "process creation to main()", (ticks(current) - ticks(created)) / 1e4);
    LARGE_INTEGER step = bench::now();
    const auto lap = [&](const std::string& what) {
        std::printf("phase %-34s %8.2f ms\n", what.c_str(), bench::secondsSince(step) * 1000);
        step = bench::now();
    };
    if (FAILED(OleInitialize(nullptr))) fail("OleInitialize failed");
    lap("OleInitialize");

    const vparse::WindowDefinition& definition = vparse::mainWindowDefinition();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = plainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"VparsePhasesWindow";
    RegisterClassW(&windowClass);
    const std::wstring title = vparse::toWide(definition.title);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, title.c_str(),
                                        vparse::MainWindow::windowStyle(definition), 0, 0, definition.width,
                                        definition.height, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) fail("no window");
    lap("top-level window (Chinese title)");
    vparse::defaultBigIcon();
    vparse::defaultSmallIcon();
    lap("icons");

    NoHandlers noHandlers;
    std::vector<std::unique_ptr<vparse::Control>> made;
    int childId = 100;
    std::map<std::string, int> seen;
    for (const vparse::ControlDefinition& control : definition.controls) {
        vparse::CreateContext context;
        context.baseStyle = (control.disabled ? WS_DISABLED : 0) | (control.tabStop ? WS_TABSTOP : 0);
        context.parent = window;
        context.childId = childId;
        context.left = control.left;
        context.top = control.top;
        context.width = control.width;
        context.height = control.height;
        context.windowNumber = definition.number;
        context.controlNumber = control.number;
        context.events = &noHandlers;
        made.push_back(createKind(control.settings, context));
        if (!made.back()) fail("a control could not be made");
        if (control.visible && !control.isTimer()) ShowWindow(made.back()->window(), SW_SHOWNA);
        const std::string kind = kindName(control.settings);
        const int count = ++seen[kind];
        lap(kind + (count == 1 ? " (first)" : " (" + std::to_string(count) + ")"));
        childId += 10;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    lap("show and first paint");
    pumpPending();
    lap("pending messages");
    std::printf("phase %-34s %8.2f ms\n", "total since main()", bench::secondsSince(entered) * 1000);
    const PROCESS_MEMORY_COUNTERS_EX counters = bench::memoryCounters(GetCurrentProcess());
    std::printf("peak working set %.0f KiB\n", static_cast<double>(counters.PeakWorkingSetSize) / 1024);
    made.clear();
    DestroyWindow(window);
    return 0;
}

// ---------------------------------------------------------------------------
// soak

constexpr DISPID kNavigateError = 271;  // DISPID_NAVIGATEERROR

// The events that end a navigation: the component reports either the document or
// the failure.
long navigationsEnded() {
    return events.of(DISPID_DOCUMENTCOMPLETE) + events.of(kNavigateError);
}

int soak(const Options& options) {
    buildMainWindow();
    const HANDLE self = GetCurrentProcess();
    const DWORD selfId = GetCurrentProcessId();
    const LARGE_INTEGER soakStarted = bench::now();

    // Hint writes through the handler of the timer (the timer itself keeps ticking).
    bench::SoakSeries writes{"hint writes", options.sampleEvery, {}, 0};
    writes.points.push_back({0, 0, bench::sampleProcess(self, selfId)});
    LARGE_INTEGER started = bench::now();
    for (long i = 1; i <= options.hintWrites; ++i) {
        vparse::onHintTimer();
        pumpPending();
        if (i % options.sampleEvery == 0 || i == options.hintWrites) {
            writes.points.push_back({i, bench::secondsSince(started), bench::sampleProcess(self, selfId)});
        }
    }
    writes.seconds = bench::secondsSince(started);
    const auto content = vparse::readSetting(mainWindowNumber, controls::编辑框1, vparse::EditBox::content);
    const auto* text = std::get_if<vparse::Text>(&content);
    if (!text || *text != vparse::texts::hintText) fail("the hint line does not hold the hint");
    const bool writesFlat = writes.print(256);
    std::printf("windows: %s\n", bench::windowClassesOfProcess(selfId).c_str());
    std::fflush(stdout);

    // Navigations by the buttons, each awaited until the component ends it.
    const HWND weather = controlWindow(controls::按钮1);
    const HWND map = controlWindow(controls::按钮2);
    const HWND parse = controlWindow(controls::按钮3);
    const HWND address1 = controlWindow(controls::单选框1);
    const HWND address2 = controlWindow(controls::单选框2);
    bench::SoakSeries navigations{"navigations", options.sampleEvery, {}, 0};
    navigations.points.push_back({0, 0, bench::sampleProcess(self, selfId)});
    long unfinished = 0;
    const long beforeNavigateAtStart = events.of(DISPID_BEFORENAVIGATE2);
    started = bench::now();
    for (long i = 1; i <= options.navigations; ++i) {
        const long ended = navigationsEnded();
        switch (i % 4) {
        case 1: SendMessageW(weather, BM_CLICK, 0, 0); break;
        case 2: SendMessageW(map, BM_CLICK, 0, 0); break;
        case 3:
            SendMessageW(address1, BM_CLICK, 0, 0);
            SendMessageW(parse, BM_CLICK, 0, 0);
            break;
        default:
            SendMessageW(address2, BM_CLICK, 0, 0);
            SendMessageW(parse, BM_CLICK, 0, 0);
            break;
        }
        if (!pumpUntil([&] { return navigationsEnded() > ended; }, 10.0)) ++unfinished;
        if (i % options.sampleEvery == 0 || i == options.navigations) {
            navigations.points.push_back({i, bench::secondsSince(started), bench::sampleProcess(self, selfId)});
        }
    }
    navigations.seconds = bench::secondsSince(started);
    // The component grows by itself with every navigation (see soak-component): the
    // verdict here is the raw one; bench/soak.sh weighs it against the component's.
    navigations.print(1024);
    std::printf("windows: %s\n", bench::windowClassesOfProcess(selfId).c_str());
    const long begun = events.of(DISPID_BEFORENAVIGATE2) - beforeNavigateAtStart;
    std::printf("component events: BeforeNavigate2 %ld, NavigateError %ld, DocumentComplete %ld, "
                "DownloadComplete %ld, all %ld; navigations not ended within 10 s: %ld\n",
                begun, events.of(kNavigateError), events.of(DISPID_DOCUMENTCOMPLETE),
                events.of(DISPID_DOWNLOADCOMPLETE), events.total, unfinished);
    std::printf("navigations_begun %ld\n", begun);
    if (begun != options.navigations) {
        std::printf("error: %ld clicks began %ld navigations\n", options.navigations, begun);
    }
    std::printf("in-process soak: %.1f s\n", bench::secondsSince(soakStarted));
    std::printf("hint_writes_verdict %s\n", writesFlat ? "FLAT" : "GROWING");
    closeMainWindow();
    return begun == options.navigations ? 0 : 1;
}

// ---------------------------------------------------------------------------
// soak-component

// Receives the component's events where no browser box is: nothing is done.
class NoReceiver final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return S_OK;
    }
};

// The reference for the navigation soak: the same component, hosted by the same
// OLE host in a plain window with nothing of vparse around it, navigating to the
// same four addresses the same number of times. What grows here is the
// component's own.
int soakComponent(const Options& options) {
    if (FAILED(OleInitialize(nullptr))) fail("OleInitialize failed");
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = plainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VparseComponentSoak";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"component soak",
                                        WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 1401, 746, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
    if (!window) fail("no window");
    RECT area{0, 0, 1408, 688};
    NoReceiver receiver;
    WatchingHost host;
    if (FAILED(host.create(window, area, &receiver)) || !host.browser()) fail("the component could not be made");
    ShowWindow(window, SW_SHOW);
    pumpFor(1.5);

    const char* addresses[] = {vparse::texts::weatherPageAddress, vparse::texts::mapPageAddress,
                               vparse::texts::parsePage1Address, vparse::texts::parsePage2Address};
    const HANDLE self = GetCurrentProcess();
    const DWORD selfId = GetCurrentProcessId();
    bench::SoakSeries series{"navigations of the component alone", options.sampleEvery, {}, 0};
    series.points.push_back({0, 0, bench::sampleProcess(self, selfId)});
    long unfinished = 0;
    const long begunAtStart = events.of(DISPID_BEFORENAVIGATE2);
    const LARGE_INTEGER started = bench::now();
    for (long i = 1; i <= options.navigations; ++i) {
        const long ended = navigationsEnded();
        const std::wstring wide = vparse::toWide(addresses[i % 4]);
        BSTR url = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        VARIANT empty;
        VariantInit(&empty);
        host.browser()->Navigate(url, &empty, &empty, &empty, &empty);
        SysFreeString(url);
        if (!pumpUntil([&] { return navigationsEnded() > ended; }, 10.0)) ++unfinished;
        if (i % options.sampleEvery == 0 || i == options.navigations) {
            series.points.push_back({i, bench::secondsSince(started), bench::sampleProcess(self, selfId)});
        }
    }
    series.seconds = bench::secondsSince(started);
    series.print(1024);
    std::printf("windows: %s\n", bench::windowClassesOfProcess(selfId).c_str());
    const long begun = events.of(DISPID_BEFORENAVIGATE2) - begunAtStart;
    std::printf("component events: BeforeNavigate2 %ld, NavigateError %ld; not ended within 10 s: %ld\n", begun,
                events.of(kNavigateError), unfinished);
    std::printf("navigations_begun_component %ld\n", begun);
    host.destroy();
    DestroyWindow(window);
    OleUninitialize();
    return begun == options.navigations ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const Options options = parse(argc, argv);
    if (options.mode == "hint-cost") return hintCost(options);
    if (options.mode == "soak") return soak(options);
    if (options.mode == "startup-phases") return startupPhases();
    if (options.mode == "soak-component") return soakComponent(options);
    if (options.mode == "timer-split") return timerSplit(options);
    fail("the mode is hint-cost or soak");
}
