// End-to-end tests of the main window: vparse.exe runs as a process of its own and
// is judged from outside through its windows, its focus and its exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "Driver.h"
#include "Proxy.h"
#include "ProgramFacts.h"

namespace e2e {
namespace {

// Child ids of the controls, in creation order.

constexpr int kWindowWidth = 1401;
constexpr int kWindowHeight = 746;

// The ANSI code page decides how the program's GBK texts reach the screen; every
// check below compares UTF-16 text, which must be exact under any code page.
class CodePageLog : public ::testing::Environment {
 public:
  void SetUp() override { std::printf("[ e2e    ] ANSI code page of this run: %u\n", GetACP()); }
};
[[maybe_unused]] ::testing::Environment* const kCodePageLog =
    ::testing::AddGlobalTestEnvironment(new CodePageLog);

// Suites whose names end in Cp1252 are run by ctest under a locale that gives the
// ANSI code page 1252 (the others under 936).
constexpr char kNeeds1252[] = "needs the ANSI code page 1252 (ctest runs *Cp1252 suites with LC_ALL=C.UTF-8)";

// The control that owns a window of the program: the direct child of the main window
// that is `hwnd` or holds it.
HWND owningControl(HWND main, HWND hwnd) {
  for (HWND h = hwnd; h && h != main; h = GetParent(h)) {
    if (GetParent(h) == main) return h;
  }
  return nullptr;
}

int owningControlId(HWND main, HWND hwnd) {
  HWND control = owningControl(main, hwnd);
  return control ? GetDlgCtrlID(control) : 0;
}

// Waits for the process to end and checks that it ended by itself with `expected`.
void expectExitCode(AppProcess& app, DWORD expected) {
  auto code = app.waitForExit(kExitTimeout);
  if (!code) {
    std::string why = "vparse still runs " + std::to_string(kExitTimeout.count()) + " ms later";
    if (auto box = app.findMessageBox()) {
      MessageBoxInfo info = describeMessageBox(*box);
      why += "; it shows a message box \"" + toUtf8(info.caption) + "\": \"" + toUtf8(info.text) + "\"";
    }
    ADD_FAILURE() << why;
    return;
  }
  EXPECT_EQ(*code, expected) << "exit code";
}

// Minimises and restores the window, then waits until it is back at `expected`;
// returns where it is then. Minimising is handled after every message posted before
// this call, so their effect (a maximised window restores to maximised) shows in the
// result.
RECT minimiseRestoreAndSettle(HWND main, const RECT& expected) {
  postSysCommand(main, SC_MINIMIZE);
  if (!pollUntil([&] { return IsIconic(main) != FALSE; }, kActionTimeout)) {
    throw DriverError("the window did not minimise");
  }
  postSysCommand(main, SC_RESTORE);
  RECT now{};
  pollUntil(
      [&] {
        now = windowRect(main);
        return !IsIconic(main) && EqualRect(&now, &expected);
      },
      kActionTimeout);
  return now;
}

std::string rectText(const RECT& r) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
  return buf;
}

// The program started and its window shown, for each test.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordProperty("ansi_code_page", static_cast<int>(GetACP()));
    app_.emplace(AppProcess::launch(launchOptions()));
    main_ = app_->waitForMainWindow();
  }

  // Ends the program before the members of derived fixtures (proxy, registry guard) go.
  void TearDown() override { app_.reset(); }

  virtual LaunchOptions launchOptions() { return {}; }

  AppProcess& app() { return *app_; }

  HWND control(int id) {
    HWND h = GetDlgItem(main_, id);
    if (!h) throw DriverError("the main window has no child with id " + std::to_string(id));
    return h;
  }

  // Id of the control that holds the keyboard focus (the browser box for any window
  // inside it), 0 for none.
  int focusedControlId() { return owningControlId(main_, app().focus()); }

  // Waits until the focus is in the control `id`; returns the id where it is then.
  int waitForFocusIn(int id) {
    app().waitForFocus([&](HWND f) { return owningControlId(main_, f) == id; });
    return focusedControlId();
  }

  std::optional<AppProcess> app_;
  HWND main_ = nullptr;
};

// The same, with the program's web traffic going to a proxy of the test and the
// emulation value of its executable removed for the test.
class ProxiedMainWindowTest : public MainWindowTest {
 protected:
  LaunchOptions launchOptions() override {
    LaunchOptions options;
    options.environment.push_back({L"http_proxy", proxy_.address()});
    deleteEmulationValue(fileNameOf(productExePath()));
    return options;
  }

  HttpProxy proxy_;
  UserValueGuard emulationValue_{kEmulationKey, fileNameOf(productExePath())};
};

// ---------------------------------------------------------------------------
// The window itself

// Title and captions, compared as UTF-16: exact under any ANSI code page.
void expectTextsExact(HWND main) {
  EXPECT_EQ(windowText(main), std::wstring(kMainTitle)) << toUtf8(windowText(main));
  wchar_t buf[64] = {};
  GetWindowTextW(main, buf, 64);
  EXPECT_STREQ(buf, kMainTitle);
  const std::pair<int, const wchar_t*> captions[] = {
      {100, L""},      {110, L"天气"},   {120, L"地图"},   {130, L"视频解析"}, {150, L"地址1"},
      {160, L"地址2"}, {170, L"未开发"}, {180, L"未开发"}, {190, L"未开发"},   {200, L""},
  };
  for (auto [id, text] : captions) {
    const std::wstring got = windowText(GetDlgItem(main, id));
    EXPECT_EQ(got, std::wstring(text)) << "control " << id << ": " << toUtf8(got);
  }
}

TEST_F(MainWindowTest, TitleAndCaptionsExact) { expectTextsExact(main_); }

// The same under the ANSI code page 1252, where GBK text shows as mojibake unless it
// is turned into UTF-16 as GBK.
class MainWindowCp1252 : public MainWindowTest {
 protected:
  void SetUp() override {
    if (GetACP() != 1252) GTEST_SKIP() << kNeeds1252;
    MainWindowTest::SetUp();
  }
};

TEST_F(MainWindowCp1252, TitleAndCaptionsExact) { expectTextsExact(main_); }

TEST_F(MainWindowTest, HasFixedOuterSizeCentredOnTheScreen) {
  const int screenW = GetSystemMetrics(SM_CXSCREEN);
  const int screenH = GetSystemMetrics(SM_CYSCREEN);
  const RECT r = windowRect(main_);
  EXPECT_EQ(r.right - r.left, kWindowWidth) << rectText(r);
  EXPECT_EQ(r.bottom - r.top, kWindowHeight) << rectText(r);
  // Halved difference, truncated toward zero (C++ integer division does that too).
  EXPECT_EQ(r.left, (screenW - kWindowWidth) / 2) << "screen " << screenW << "x" << screenH;
  EXPECT_EQ(r.top, (screenH - kWindowHeight) / 2) << "screen " << screenW << "x" << screenH;
}

TEST_F(MainWindowTest, HasFixedFrameWithCaptionSystemMenuAndMinimiseBoxOnly) {
  const LONG_PTR style = GetWindowLongPtrW(main_, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_CLIPCHILDREN);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the frame must not be sizable";
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & (WS_POPUP | WS_CHILD | WS_DISABLED | WS_VSCROLL | WS_HSCROLL));

  // The platform adds WS_EX_WINDOWEDGE to a captioned window; the program adds nothing
  // (no topmost, no tool window, no client edge).
  const LONG_PTR exStyle = GetWindowLongPtrW(main_, GWL_EXSTYLE);
  EXPECT_EQ(exStyle & ~static_cast<LONG_PTR>(WS_EX_WINDOWEDGE), 0) << std::hex << "ex-style 0x" << exStyle;

  // Its own taskbar button: a top-level window without an owner.
  EXPECT_EQ(GetWindow(main_, GW_OWNER), nullptr);
  EXPECT_EQ(GetAncestor(main_, GA_PARENT), GetDesktopWindow());

  const ULONG_PTR classStyle = GetClassLongPtrW(main_, GCL_STYLE);
  EXPECT_EQ(classStyle, static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS)) << std::hex << "class style 0x"
                                                                                        << classStyle;
}

// The caption shows the window's small icon, else its big one scaled down, else the
// platform's default picture: so the program's own picture there shows that its icon
// was set. (Under Wine, WM_GETICON from another process answers null, so the icon
// handles themselves cannot be asked for.)
TEST_F(MainWindowTest, CaptionShowsTheProgramsIcon) {
  const int size = GetSystemMetrics(SM_CXSMICON);
  const RECT r = windowRect(main_);
  const POINT at{r.left + GetSystemMetrics(SM_CXFIXEDFRAME) + 2,
                 r.top + GetSystemMetrics(SM_CYFIXEDFRAME) + (GetSystemMetrics(SM_CYCAPTION) - 1 - size) / 2};
  UniqueIcon own = loadIconResource(app().exePath(), L"DEFAULT_ICON", size);
  double ownScore = 765;
  pollUntil([&] { return (ownScore = bestIconMismatchNear(at, own.get(), size, 3)) < 40.0; }, Millis{2000});
  const double logoScore = bestIconMismatchNear(at, LoadIconW(nullptr, MAKEINTRESOURCEW(32517)), size, 3);
  const double appScore = bestIconMismatchNear(at, LoadIconW(nullptr, MAKEINTRESOURCEW(32512)), size, 3);
  std::printf("[ e2e    ] caption icon mismatch: DEFAULT_ICON %.1f, default window picture %.1f, application %.1f\n",
              ownScore, logoScore, appScore);
  EXPECT_LT(ownScore, 40.0) << "the caption near (" << at.x << "," << at.y << ") does not show DEFAULT_ICON";
  EXPECT_LT(ownScore, logoScore) << "the caption shows the platform's default window picture";
  EXPECT_LT(ownScore, appScore) << "the caption shows the platform's application picture";
}

// ---------------------------------------------------------------------------
// Controls

// Radio buttons are made with WS_TABSTOP, but the platform's button control clears
// it whenever the button is unchecked; the window's own Tab handling does not look at
// it (see the Tab tests). So the style bit is checked for the other kinds only.
enum class TabStyle { Set, Clear, PlatformManaged };

struct ExpectedChild {
  int id;
  const wchar_t* className;
  RECT rect;  // client coordinates of the main window
  bool visible;
  bool enabled;
  TabStyle tabStop;
  const wchar_t* text;  // nullptr: not checked here (the hint line changes every second)
};

constexpr TabStyle kTab = TabStyle::Set;
constexpr TabStyle kRadioTab = TabStyle::PlatformManaged;

constexpr ExpectedChild kChildren[] = {
    {100, L"VparseBrowserBox", {0, 0, 1408, 688}, true, true, kTab, L""},
    {110, L"Button", {1310, 691, 1390, 715}, true, true, kTab, L"天气"},
    {120, L"Button", {1224, 691, 1304, 715}, true, true, kTab, L"地图"},
    {130, L"Button", {1138, 691, 1218, 715}, true, true, kTab, L"视频解析"},
    {140, L"Edit", {4, 689, 740, 713}, true, true, kTab, nullptr},
    {150, L"Button", {752, 696, 816, 712}, true, true, kRadioTab, L"地址1"},
    {160, L"Button", {824, 696, 888, 712}, true, true, kRadioTab, L"地址2"},
    {170, L"Button", {904, 696, 968, 712}, true, false, kRadioTab, L"未开发"},
    {180, L"Button", {984, 696, 1048, 712}, true, false, kRadioTab, L"未开发"},
    {190, L"Button", {1056, 696, 1120, 712}, true, false, kRadioTab, L"未开发"},
    {200, L"VparseTimer", {1248, 552, 1264, 568}, false, true, TabStyle::Clear, L""},
};

TEST_F(MainWindowTest, ElevenControlsWithTheirClassesPlacesAndStates) {
  ASSERT_EQ(childWindows(main_).size(), std::size(kChildren));
  for (const ExpectedChild& want : kChildren) {
    SCOPED_TRACE("control id " + std::to_string(want.id));
    HWND h = GetDlgItem(main_, want.id);
    ASSERT_NE(h, nullptr) << "no child with this id";
    const WindowInfo got = describeWindow(h);
    EXPECT_EQ(CompareStringOrdinal(got.className.c_str(), -1, want.className, -1, TRUE), CSTR_EQUAL)
        << "class " << toUtf8(got.className);
    EXPECT_EQ(got.rect.left, want.rect.left) << rectText(got.rect);
    EXPECT_EQ(got.rect.top, want.rect.top) << rectText(got.rect);
    EXPECT_EQ(got.width(), want.rect.right - want.rect.left) << rectText(got.rect);
    if (want.id == kHintId) {
      EXPECT_EQ(got.height(), hintLineHeight()) << rectText(got.rect);
    } else {
      EXPECT_EQ(got.height(), want.rect.bottom - want.rect.top) << rectText(got.rect);
    }
    EXPECT_EQ(got.visible, want.visible);
    EXPECT_EQ(got.enabled, want.enabled);
    if (want.tabStop != TabStyle::PlatformManaged) {
      EXPECT_EQ((got.style & WS_TABSTOP) != 0, want.tabStop == TabStyle::Set);
    }
    EXPECT_EQ((got.style & WS_DISABLED) != 0, !want.enabled);
    EXPECT_TRUE(got.style & WS_CHILD);
    EXPECT_TRUE(got.style & WS_CLIPSIBLINGS);
    EXPECT_FALSE(got.style & WS_GROUP) << "one group holds all radio buttons";
    if (want.text) {
      EXPECT_EQ(got.text, std::wstring(want.text)) << toUtf8(got.text);
    }
  }
}

TEST_F(MainWindowTest, ControlsStackedInCreationOrderTimerOnTop) {
  std::vector<int> topFirst;
  for (HWND h : childWindows(main_)) topFirst.push_back(GetDlgCtrlID(h));
  const std::vector<int> want = {200, 190, 180, 170, 160, 150, 140, 130, 120, 110, 100};
  EXPECT_EQ(topFirst, want) << "z-order from the top: each control lies above the ones created before it";
}

TEST_F(MainWindowTest, TimerWindowStaysHiddenWhileItTicks) {
  HWND timer = control(kTimerId);
  EXPECT_FALSE(IsWindowVisible(timer));
  // Past the first periodic events.
  const bool shown = pollUntil([&] { return IsWindowVisible(timer) != FALSE; }, Millis{2500}, Millis{50});
  EXPECT_FALSE(shown) << "the timer's window was shown";
  EXPECT_TRUE(app().running());
}

TEST_F(MainWindowTest, BrowserBoxHoldsTheComponentWindowOverItsWholeArea) {
  HWND box = control(kBrowserId);
  const auto inside = childWindows(box);
  ASSERT_FALSE(inside.empty()) << "the browser box holds no window of the web-browser component";
  RECT client{};
  GetClientRect(box, &client);
  const WindowInfo component = describeWindow(inside.back());
  EXPECT_TRUE(component.visible) << describeHandle(component.hwnd);
  EXPECT_TRUE(component.style & WS_CHILD);
  EXPECT_TRUE(EqualRect(&component.rect, &client))
      << describeHandle(component.hwnd) << " at " << rectText(component.rect) << ", box client " << rectText(client);
}

// ---------------------------------------------------------------------------
// Focus and keys

TEST_F(MainWindowTest, ActiveAndFocusedInTheBrowserBoxAtStart) {
  HWND box = control(kBrowserId);
  HWND focus = app().waitForFocus([&](HWND f) { return isSameOrDescendant(box, f); });
  EXPECT_TRUE(isSameOrDescendant(box, focus)) << "focus on " << describeHandle(focus);
  EXPECT_EQ(activeWindow(app().guiThreadId()), main_);
  EXPECT_TRUE(waitForForeground(main_)) << "foreground: " << describeHandle(GetForegroundWindow());
}

TEST_F(MainWindowTest, TabVisitsEligibleControlsInCreationOrderThenWraps) {
  ASSERT_EQ(waitForFocusIn(kBrowserId), kBrowserId) << describeHandle(app().focus());
  const std::vector<int> want = {kWeatherId, kMapId, kParseId, kHintId,
                                 kAddress1Id,        kAddress2Id,    kBrowserId,  kWeatherId};
  std::vector<int> got;
  for (int next : want) {
    app().postKeyToFocus(VK_TAB);
    got.push_back(waitForFocusIn(next));
    if (got.back() != next) break;
  }
  EXPECT_EQ(got, want) << "focus after each Tab (0: none of the controls); never 170-190 or 200";
}

TEST_F(MainWindowTest, ShiftTabVisitsEligibleControlsBackwardThenWraps) {
  ASSERT_EQ(waitForFocusIn(kBrowserId), kBrowserId) << describeHandle(app().focus());
  ASSERT_TRUE(waitForForeground(main_)) << "real keys go to the foreground window";
  const std::vector<int> want = {kAddress2Id,    kAddress1Id,        kHintId,   kParseId,
                                 kMapId, kWeatherId, kBrowserId, kAddress2Id};
  std::vector<int> got;
  for (int next : want) {
    sendChord({VK_SHIFT}, VK_TAB);
    got.push_back(waitForFocusIn(next));
    if (got.back() != next) break;
  }
  EXPECT_EQ(got, want) << "focus after each Shift+Tab (0: none of the controls)";
}

// Enter clicks no button: no button is a default one. Space does click the focused
// button, which shows that a click would have been seen: the weather command writes
// the browser emulation value and navigates, through the proxy.
TEST_F(ProxiedMainWindowTest, EnterOnAButtonClicksNothingWhereSpaceClicks) {
  HWND weather = control(kWeatherId);
  ASSERT_TRUE(setFocusFromOutside(weather));
  const std::wstring exeName = fileNameOf(app().exePath());
  ASSERT_FALSE(readEmulationValue(exeName).has_value());

  postKey(weather, VK_RETURN);
  const bool clicked = pollUntil(
      [&] { return readEmulationValue(exeName).has_value() || !proxy_.requestLines().empty(); }, Millis{1500});
  EXPECT_FALSE(clicked) << "Enter clicked the button";
  EXPECT_EQ(focusedControlId(), kWeatherId) << "Enter moved the focus";
  EXPECT_FALSE(app().findMessageBox().has_value());

  postKey(weather, VK_SPACE);
  EXPECT_TRUE(pollUntil([&] { return readEmulationValue(exeName).has_value(); }, kActionTimeout))
      << "Space on the button wrote no emulation value";
  EXPECT_TRUE(proxy_.waitForCount(1, kActionTimeout)) << "Space on the button made no request";
  EXPECT_TRUE(app().running());
}

// ---------------------------------------------------------------------------
// Closing

struct CloseWay {
  const char* name;
  void (*act)(AppProcess& app, HWND main);
};

void escWithFocusInBrowserBox(AppProcess& app, HWND main) {
  HWND box = GetDlgItem(main, kBrowserId);
  HWND focus = app.waitForFocus([&](HWND f) { return isSameOrDescendant(box, f); });
  ASSERT_TRUE(isSameOrDescendant(box, focus)) << describeHandle(focus) << "; vparse " << app.stateText();
  app.postKeyToFocus(VK_ESCAPE);
}

void escWithFocusInEditBox(AppProcess& app, HWND main) {
  HWND edit = GetDlgItem(main, kHintId);
  ASSERT_TRUE(setFocusFromOutside(edit));
  ASSERT_EQ(app.focus(), edit);
  postKey(edit, VK_ESCAPE);
}

void escWithFocusOnRadioButton(AppProcess& app, HWND main) {
  HWND radio = GetDlgItem(main, kAddress2Id);
  ASSERT_TRUE(setFocusFromOutside(radio));
  ASSERT_EQ(app.focus(), radio);
  postKey(radio, VK_ESCAPE);
}

void realEscKey(AppProcess&, HWND main) {
  ASSERT_TRUE(waitForForeground(main)) << "real input goes to the foreground window";
  sendKey(VK_ESCAPE);
}

void closeBoxCommand(AppProcess&, HWND main) { postSysCommand(main, SC_CLOSE); }

void closeBoxClick(AppProcess&, HWND main) {
  ASSERT_TRUE(waitForForeground(main));
  // The close box sits at the right end of the caption, inside the frame.
  const RECT r = windowRect(main);
  const int frameX = GetSystemMetrics(SM_CXFIXEDFRAME);
  const int frameY = GetSystemMetrics(SM_CYFIXEDFRAME);
  const POINT at{r.right - frameX - GetSystemMetrics(SM_CXSIZE) / 2,
                 r.top + frameY + GetSystemMetrics(SM_CYCAPTION) / 2};
  ASSERT_EQ(sendWithTimeout(main, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y)), HTCLOSE)
      << "no close box at (" << at.x << "," << at.y << ")";
  sendClickAt(at);
}

void altF4Posted(AppProcess& app, HWND) { postAltF4(app.focus()); }

void altF4Keys(AppProcess&, HWND main) {
  ASSERT_TRUE(waitForForeground(main)) << "real input goes to the foreground window";
  sendChord({VK_MENU}, VK_F4);
}

void closeMessage(AppProcess&, HWND main) { postClose(main); }

void PrintTo(const CloseWay& way, std::ostream* os) { *os << way.name; }

class ClosingTest : public MainWindowTest, public ::testing::WithParamInterface<CloseWay> {};

TEST_P(ClosingTest, EndsWithExitCodeZeroWithoutAsking) {
  GetParam().act(app(), main_);
  if (HasFatalFailure()) return;
  expectExitCode(app(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ClosingTest,
    ::testing::Values(CloseWay{"EscInBrowserBox", escWithFocusInBrowserBox},
                      CloseWay{"EscInEditBox", escWithFocusInEditBox},
                      CloseWay{"EscOnRadioButton", escWithFocusOnRadioButton},
                      CloseWay{"EscRealKey", realEscKey},
                      CloseWay{"CloseCommand", closeBoxCommand},
                      CloseWay{"CloseBoxClick", closeBoxClick},
                      CloseWay{"AltF4Posted", altF4Posted},
                      CloseWay{"AltF4RealKeys", altF4Keys},
                      CloseWay{"WmClose", closeMessage}),
    [](const ::testing::TestParamInfo<CloseWay>& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, AgreesToEndTheSessionAtOnce) {
  const auto answer = sendWithTimeout(main_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, Millis{3000});
  ASSERT_TRUE(answer.has_value()) << "no answer to WM_QUERYENDSESSION (a question box?)";
  EXPECT_NE(*answer, 0) << "the window objects to the end of the session";
  EXPECT_FALSE(app().findMessageBox().has_value());
}

// ---------------------------------------------------------------------------
// Minimising, maximising, sizing

TEST_F(MainWindowTest, MinimiseAndRestoreKeepTheProcessPlaceAndSize) {
  const RECT before = windowRect(main_);
  postSysCommand(main_, SC_MINIMIZE);
  ASSERT_TRUE(pollUntil([&] { return IsIconic(main_) != FALSE; }, kActionTimeout)) << "did not minimise";
  EXPECT_TRUE(app().running());
  EXPECT_FALSE(app().waitForExit(Millis{500}).has_value()) << "minimising ended the program";
  postSysCommand(main_, SC_RESTORE);
  RECT after{};
  const bool back = pollUntil(
      [&] {
        after = windowRect(main_);
        return !IsIconic(main_) && EqualRect(&before, &after);
      },
      kActionTimeout);
  EXPECT_TRUE(back) << rectText(before) << " became " << rectText(after) << (IsIconic(main_) ? " (minimised)" : "");
  EXPECT_TRUE(app().running());
  EXPECT_EQ(childWindows(main_).size(), std::size(kChildren));
}

TEST_F(MainWindowTest, MaximiseCommandLeavesSizeAndPlace) {
  const RECT before = windowRect(main_);
  postSysCommand(main_, SC_MAXIMIZE);
  const RECT after = minimiseRestoreAndSettle(main_, before);
  EXPECT_FALSE(IsZoomed(main_)) << "the window is maximised";
  EXPECT_TRUE(EqualRect(&before, &after)) << rectText(before) << " became " << rectText(after);
}

TEST_F(MainWindowTest, DoubleClickOnCaptionDoesNotMaximise) {
  const RECT before = windowRect(main_);
  const POINT onCaption{(before.left + before.right) / 2, before.top + GetSystemMetrics(SM_CYCAPTION) / 2 + 1};
  ASSERT_EQ(sendWithTimeout(main_, WM_NCHITTEST, 0, MAKELPARAM(onCaption.x, onCaption.y)), HTCAPTION);
  PostMessageW(main_, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(onCaption.x, onCaption.y));
  const RECT after = minimiseRestoreAndSettle(main_, before);
  EXPECT_FALSE(IsZoomed(main_));
  EXPECT_TRUE(EqualRect(&before, &after)) << rectText(before) << " became " << rectText(after);
}

TEST_F(MainWindowTest, FrameOffersNoSizingEdges) {
  const RECT r = windowRect(main_);
  const int midX = (r.left + r.right) / 2;
  const int midY = (r.top + r.bottom) / 2;
  const struct {
    const char* where;
    POINT at;
  } points[] = {
      {"left edge", {r.left, midY}},          {"right edge", {r.right - 1, midY}},
      {"bottom edge", {midX, r.bottom - 1}},  {"top edge", {midX, r.top}},
      {"bottom-right corner", {r.right - 1, r.bottom - 1}}, {"top-left corner", {r.left, r.top}},
  };
  for (const auto& p : points) {
    const auto code = sendWithTimeout(main_, WM_NCHITTEST, 0, MAKELPARAM(p.at.x, p.at.y));
    ASSERT_TRUE(code.has_value()) << "no answer to WM_NCHITTEST";
    EXPECT_NE(*code, HTNOWHERE) << p.where << " is not part of the window";
    EXPECT_FALSE(*code >= HTSIZEFIRST && *code <= HTSIZELAST) << p.where << " answers sizing hit code " << *code;
  }
}

// ---------------------------------------------------------------------------
// Start-up

// The program makes its own folder the current directory, whatever folder it was
// started in. It takes its path from the platform as UTF-16, so a folder name that
// the ANSI code page cannot write (Chinese under code page 1252) works all the same.
void checkCurrentDirectoryAfterStart() {
  TempDir startFolder(L"vparse-start");
  TempDir copies(L"vparse-copies");
  const struct {
    const char* name;
    std::wstring folder;  // empty: the product where it was built
    std::wstring file;
  } cases[] = {
      {"built product", L"", L""},
      {"renamed copy", copies.path() + L"\\plain", L"renamed tool.exe"},
      {"copy in a Chinese folder", copies.path() + L"\\视频工具", L"视频解析.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LaunchOptions options;
    options.workingDirectory = startFolder.path();
    AppProcess app = c.folder.empty() ? AppProcess::launch(options) : AppProcess::launchCopy(c.folder, c.file, options);
    app.waitForMainWindow();
    const std::wstring exeFolder = folderOf(app.exePath());
    const std::wstring& want = exeFolder;
    auto got = processCurrentDirectory(app.handle());
    ASSERT_TRUE(got.has_value()) << "cannot read the current directory of vparse";
    EXPECT_EQ(CompareStringOrdinal(got->c_str(), -1, want.c_str(), -1, TRUE), CSTR_EQUAL)
        << "current directory " << toUtf8(*got) << ", want " << toUtf8(want) << " (code page " << GetACP() << ")";
    postClose(app.mainWindow());
    expectExitCode(app, 0);
  }
}

TEST(StartUp, CurrentDirectoryBecomesTheExecutablesFolder) { checkCurrentDirectoryAfterStart(); }

TEST(StartUpCp1252, CurrentDirectoryBecomesTheExecutablesFolder) {
  if (GetACP() != 1252) GTEST_SKIP() << kNeeds1252;
  checkCurrentDirectoryAfterStart();
}

// Without the web-browser component (ieframe.dll provides CLSID_WebBrowser in Wine;
// shdocvw forwards to it) the main window cannot be built. The DLL is disabled for a
// copy of the program under a name of its own, so nothing else in the prefix changes.
void checkMissingBrowserComponent() {
  TempDir folder(L"vparse-nobrowser");
  const std::wstring copyName = L"vparse-nobrowser.exe";
  WineDllOverride noBrowser(copyName, L"ieframe", L"");
  AppProcess app = AppProcess::launchCopy(folder.path(), copyName);

  const HWND dialog = app.waitForMessageBox();
  const MessageBoxInfo box = describeMessageBox(dialog);
  EXPECT_EQ(box.caption, std::wstring(L"错误")) << toUtf8(box.caption);
  EXPECT_EQ(box.text, std::wstring(L"运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n")) << toUtf8(box.text);
  ASSERT_EQ(box.buttons.size(), 1u) << "one OK button only";
  EXPECT_EQ(box.buttons[0].id, IDOK);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr) << "the message box has no owner window";
  ASSERT_NE(box.iconStatic, nullptr) << "the message box shows no icon";
  std::optional<StockIcon> icon;
  pollUntil([&] { return (icon = identifyMessageBoxIcon(box)) == StockIcon::Error; }, Millis{3000});
  EXPECT_EQ(icon, StockIcon::Error) << "icon seen: " << (icon ? stockIconName(*icon) : "none recognised");

  // Everything built so far is gone: no main window, shown or hidden.
  for (HWND h : topLevelWindows(app.processId(), nullptr, false)) {
    EXPECT_NE(windowText(h), std::wstring(kMainTitle)) << "a main window remains: " << describeHandle(h);
  }
  EXPECT_TRUE(app.running()) << "the process must wait for the OK";

  postButtonClick(box.buttons[0].hwnd);
  expectExitCode(app, 0xFFFFFFFFu);
}

TEST(StartUp, MissingBrowserComponentEndsWithFatalErrorMessage) { checkMissingBrowserComponent(); }

TEST(StartUpCp1252, MissingBrowserComponentEndsWithFatalErrorMessage) {
  if (GetACP() != 1252) GTEST_SKIP() << kNeeds1252;
  checkMissingBrowserComponent();
}

// ---------------------------------------------------------------------------
// Screen sizes: run by a wrapper that starts a display of the size it exports in
// VPARSE_SCREEN_W and VPARSE_SCREEN_H.

std::optional<int> intFromEnvironment(const wchar_t* name) {
  wchar_t buf[32] = {};
  DWORD n = GetEnvironmentVariableW(name, buf, static_cast<DWORD>(std::size(buf)));
  if (n == 0 || n >= std::size(buf)) return std::nullopt;
  return static_cast<int>(std::wcstol(buf, nullptr, 10));
}

TEST(ScreenSize, WindowCentredByTruncatedHalfDifference) {
  const auto w = intFromEnvironment(L"VPARSE_SCREEN_W");
  const auto h = intFromEnvironment(L"VPARSE_SCREEN_H");
  if (!w || !h) GTEST_SKIP() << "VPARSE_SCREEN_W / VPARSE_SCREEN_H not set: no display of a chosen size";
  ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), *w);
  ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), *h);

  // Known places, independent of the formula; other sizes by the formula.
  const struct {
    int w, h, left, top;
  } known[] = {{1920, 1080, 259, 167}, {1366, 768, -17, 11}};
  POINT want{(*w - kWindowWidth) / 2, (*h - kWindowHeight) / 2};
  for (const auto& k : known) {
    if (k.w == *w && k.h == *h) want = {k.left, k.top};
  }

  AppProcess app = AppProcess::launch();
  const HWND main = app.waitForMainWindow();
  const RECT r = windowRect(main);
  EXPECT_EQ(r.left, want.x) << rectText(r) << " on " << *w << "x" << *h;
  EXPECT_EQ(r.top, want.y) << rectText(r) << " on " << *w << "x" << *h;
  // On a screen narrower than the window the platform limits the outer size to its
  // largest tracking size: the size is fixed only where the window fits.
  if (*w >= kWindowWidth && *h >= kWindowHeight) {
    EXPECT_EQ(r.right - r.left, kWindowWidth) << rectText(r);
    EXPECT_EQ(r.bottom - r.top, kWindowHeight) << rectText(r);
  } else {
    std::printf("[ e2e    ] on %dx%d the window is %ldx%ld\n", *w, *h, r.right - r.left, r.bottom - r.top);
  }
  postClose(main);
  expectExitCode(app, 0);
}

}  // namespace
}  // namespace e2e
