// The strip below the browser box, driven from outside the running vparse.exe: the
// ten controls' texts, exact styles and places, the hint line's face on screen,
// the radio buttons under mouse and keyboard, the keys on the push buttons, and the
// hint's two wordings (also while the warning box is open).
//
// The program runs behind a loopback proxy (no navigation leaves the machine); a
// click is observed by its effect: 视频解析 with no address chosen opens the warning
// box, and every button click writes the emulation value of the executable's name.
#include "CommandsSupport.h"
#include "ProgramFacts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace e2e {
namespace {

using commands::kFirstHint;
using commands::kHintText;
using commands::kWarningCaption;
using commands::kWarningText;
using commands::ProxiedApp;
using commands::wholeText;
using Clock = std::chrono::steady_clock;

class StripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.emplace();
    main_ = app_->main();
  }

  void TearDown() override {
    if (!app_) return;
    if (auto box = app_->app().findMessageBox()) PostMessageW(*box, WM_COMMAND, IDOK, 0);
    postClose(main_);
    app_->app().waitForExit(kExitTimeout);
    app_.reset();
  }

  AppProcess& app() { return app_->app(); }

  HWND control(int id) const {
    HWND h = GetDlgItem(main_, id);
    if (!h) throw DriverError("the main window has no child with id " + std::to_string(id));
    return h;
  }

  bool checked(int id) const { return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

  // Ids of the radio buttons that read as checked.
  std::vector<int> checkedRadios() const {
    std::vector<int> ids;
    for (int id : kRadioIds) {
      if (checked(id)) ids.push_back(id);
    }
    return ids;
  }

  // Id of the main window's child that holds the focus (the browser box for a window
  // inside it); 0 for none.
  int focusedId() {
    for (HWND h = app().focus(); h; h = GetParent(h)) {
      if (GetParent(h) == main_) return GetDlgCtrlID(h);
    }
    return 0;
  }

  bool waitForFocus(int id) {
    return pollUntil([&] { return focusedId() == id; }, kActionTimeout);
  }

  POINT screenCentre(int id) const {
    RECT r = windowRect(control(id));
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }

  std::optional<ProxiedApp> app_;
  HWND main_ = nullptr;
};

// ---------------------------------------------------------------------------
// Texts, styles and places

struct StripControl {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  RECT place;  // left, top, width, height; a height of 0: the hint line's least height
  DWORD style;
  DWORD exStyle;
};

constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE |
                               BS_CENTER | BS_VCENTER;
constexpr DWORD kRadioStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_AUTORADIOBUTTON | BS_MULTILINE | BS_LEFT |
                              BS_VCENTER;

const StripControl kStrip[] = {
    {kWeatherId, L"Button", L"天气", {1310, 691, 80, 24}, kButtonStyle, 0},
    {kMapId, L"Button", L"地图", {1224, 691, 80, 24}, kButtonStyle, 0},
    {kParseId, L"Button", L"视频解析", {1138, 691, 80, 24}, kButtonStyle, 0},
    {kHintId, L"Edit", nullptr, {4, 689, 736, 0}, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | ES_AUTOHSCROLL,
     WS_EX_CLIENTEDGE},
    {kAddress1Id, L"Button", L"地址1", {752, 696, 64, 16}, kRadioStyle, 0},
    {kAddress2Id, L"Button", L"地址2", {824, 696, 64, 16}, kRadioStyle, 0},
    {170, L"Button", L"未开发", {904, 696, 64, 16}, kRadioStyle | WS_DISABLED, 0},
    {180, L"Button", L"未开发", {984, 696, 64, 16}, kRadioStyle | WS_DISABLED, 0},
    {190, L"Button", L"未开发", {1056, 696, 64, 16}, kRadioStyle | WS_DISABLED, 0},
    {200, nullptr, L"", {1248, 552, 16, 16}, WS_CHILD | WS_CLIPSIBLINGS, 0},
};

// Exact styles: no WS_GROUP anywhere, so all five radio buttons form one group. A
// radio button's WS_TABSTOP belongs to the platform, which sets it with the check
// and clears it without; it is judged against the check.
TEST_F(StripTest, TenControlsHaveTheirTextsExactStylesAndPlaces) {
  const int hintHeight = hintLineHeight();
  for (const StripControl& want : kStrip) {
    SCOPED_TRACE("control id " + std::to_string(want.id));
    const WindowInfo got = describeWindow(control(want.id));
    if (want.className) {
      EXPECT_EQ(CompareStringOrdinal(got.className.c_str(), -1, want.className, -1, TRUE), CSTR_EQUAL)
          << toUtf8(got.className);
    }
    if (want.text) {
      EXPECT_EQ(got.text, std::wstring(want.text)) << toUtf8(got.text);
    }
    EXPECT_EQ(got.rect.left, want.place.left);
    EXPECT_EQ(got.rect.top, want.place.top);
    EXPECT_EQ(got.width(), want.place.right);
    EXPECT_EQ(got.height(), want.place.bottom ? want.place.bottom : hintHeight);
    DWORD style = static_cast<DWORD>(got.style);
    if ((want.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON && want.className) {
      EXPECT_EQ((style & WS_TABSTOP) != 0, checked(want.id)) << "the platform's tab stop follows the check";
      style &= ~WS_TABSTOP;
    }
    EXPECT_EQ(style, want.style) << std::hex << "style 0x" << style << ", expected 0x" << want.style;
    EXPECT_EQ(static_cast<DWORD>(got.exStyle), want.exStyle) << std::hex << "extended style 0x" << got.exStyle;
  }
  EXPECT_TRUE(checkedRadios().empty()) << "no radio button is checked at start";
}

// ---------------------------------------------------------------------------
// The hint line's face

// The screen pixels of a window's outer rectangle, top-down, 0x00RRGGBB.
struct ScreenPixels {
  int width = 0;
  int height = 0;
  std::vector<DWORD> data;
  DWORD at(int x, int y) const { return data[static_cast<size_t>(y) * width + x] & 0x00FFFFFF; }
};

ScreenPixels capture(HWND window) {
  const RECT r = windowRect(window);
  ScreenPixels pixels;
  pixels.width = r.right - r.left;
  pixels.height = r.bottom - r.top;
  pixels.data.resize(static_cast<size_t>(pixels.width) * pixels.height);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = pixels.width;
  info.bmiHeader.biHeight = -pixels.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::copy_n(static_cast<const DWORD*>(bits), pixels.data.size(), pixels.data.begin());
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

constexpr DWORD kGreen = 0x00FF00;
constexpr DWORD kRed = 0xFF0000;

// The client area is one text line high, centred inside the sunken edge; the
// margins above and below it and the line's free end are green, the characters red.
TEST_F(StripTest, HintLineShowsRedCharactersOnGreenAroundACentredLine) {
  const HWND hint = control(kHintId);
  const RECT outer = windowRect(hint);
  RECT client{};
  GetClientRect(hint, &client);
  POINT origin{0, 0};
  ClientToScreen(hint, &origin);
  const int height = outer.bottom - outer.top;
  const int edge = GetSystemMetrics(SM_CYEDGE);
  const int line = hintFontTextHeight(L"W");
  const int top = origin.y - outer.top;
  EXPECT_EQ(client.bottom, line) << "client height";
  EXPECT_EQ(top, edge + (height - 2 * edge - line) / 2) << "client top";

  // Wait for a capture with the face painted: the free end of the line green and the
  // characters drawn (the timer rewrites the line every second, and a capture taken
  // between erasing and drawing shows no characters).
  ScreenPixels pixels;
  const int freeEndX = origin.x - outer.left + client.right - 2;
  int red = 0;
  const bool painted = pollUntil(
      [&] {
        pixels = capture(hint);
        red = 0;
        for (int y = top; y < top + line; ++y) {
          for (int x = edge; x < pixels.width / 2; ++x) red += pixels.at(x, y) == kRed;
        }
        return pixels.at(freeEndX, top + line / 2) == kGreen && red > 100;
      },
      kActionTimeout);
  ASSERT_TRUE(painted) << "no capture showed red characters (" << red << " red pixels) on a green line";

  int notGreen = 0;
  std::string first;
  auto expectGreen = [&](int x, int y) {
    if (pixels.at(x, y) != kGreen && !notGreen++) {
      first = "(" + std::to_string(x) + "," + std::to_string(y) + ")";
    }
  };
  for (int x = edge; x < pixels.width - edge; ++x) {
    for (int y = edge; y < top; ++y) expectGreen(x, y);
    for (int y = top + line; y < height - edge; ++y) expectGreen(x, y);
  }
  for (int y = top; y < top + line; ++y) expectGreen(freeEndX, y);
  EXPECT_EQ(notGreen, 0) << "pixels of the margins that are not green, first at " << first;

  EXPECT_NE(pixels.at(pixels.width / 2, 0), kGreen) << "the sunken edge is the platform's, not green";
}

// ---------------------------------------------------------------------------
// Radio buttons under the mouse

enum class Click { Mouse, Message };

struct ClickStep {
  Click how;
  int id;
  int checkedAfter;  // the one radio button checked afterwards
};

// One choice among all five: a click checks its radio button and unchecks the
// others; clicking the checked one keeps it; the state with none checked does not
// come back. Read with BM_GETCHECK from outside after each click.
TEST_F(StripTest, ClicksMakeOneChoiceAmongTheRadioButtons) {
  ASSERT_TRUE(checkedRadios().empty());
  const ClickStep steps[] = {
      {Click::Mouse, kAddress2Id, kAddress2Id}, {Click::Message, kAddress1Id, kAddress1Id},
      {Click::Mouse, kAddress1Id, kAddress1Id}, {Click::Message, kAddress2Id, kAddress2Id},
      {Click::Mouse, kAddress1Id, kAddress1Id}, {Click::Message, kAddress1Id, kAddress1Id},
  };
  int n = 0;
  for (const ClickStep& step : steps) {
    SCOPED_TRACE("step " + std::to_string(++n) + (step.how == Click::Mouse ? ": mouse on " : ": BM_CLICK on ") +
                 std::to_string(step.id));
    if (step.how == Click::Mouse) {
      sendClickAt(screenCentre(step.id));
    } else {
      postButtonClick(control(step.id));
    }
    std::vector<int> now;
    const bool settled = pollUntil(
        [&] {
          now = checkedRadios();
          return now == std::vector<int>{step.checkedAfter};
        },
        kActionTimeout);
    EXPECT_TRUE(settled) << "checked: " << ::testing::PrintToString(now);
    if (step.how == Click::Mouse) {
      EXPECT_EQ(focusedId(), step.id) << "the mouse click gave the focus";
    }
  }
}

// The greyed radio buttons ignore the mouse: nothing gets checked or unchecked and
// the focus stays. (A real click, so that the platform decides where it goes.)
TEST_F(StripTest, MouseOnGreyedRadioButtonsDoesNothing) {
  sendClickAt(screenCentre(kAddress2Id));
  ASSERT_TRUE(pollUntil([&] { return checkedRadios() == std::vector<int>{kAddress2Id}; }, kActionTimeout))
      << "the mouse did not reach 地址2";
  ASSERT_TRUE(waitForFocus(kAddress2Id));
  for (int id : kGreyedIds) {
    SCOPED_TRACE("greyed radio button " + std::to_string(id));
    sendClickAt(screenCentre(id));
    const auto until = Clock::now() + Millis{400};
    while (Clock::now() < until) {
      ASSERT_EQ(checkedRadios(), std::vector<int>{kAddress2Id});
      ASSERT_EQ(focusedId(), kAddress2Id);
      Sleep(20);
    }
  }
}

// ---------------------------------------------------------------------------
// Keyboard

// The arrows move the check and the focus between 地址1 and 地址2 only, wrapping
// past the greyed ones; Tab then goes on from where the arrows left the focus,
// past the greyed radio buttons and the timer, to the browser box.
TEST_F(StripTest, ArrowsSwapCheckAndFocusBetweenTheTwoAddressesAndTabPassesTheGreyedOnes) {
  ASSERT_TRUE(setFocusFromOutside(control(kAddress1Id)));
  ASSERT_TRUE(waitForFocus(kAddress1Id));
  ASSERT_TRUE(checkedRadios().empty()) << "gaining the focus checks nothing";

  struct Step {
    UINT key;
    const char* name;
    int to;
  };
  const Step steps[] = {{VK_RIGHT, "Right", kAddress2Id}, {VK_RIGHT, "Right", kAddress1Id},
                        {VK_LEFT, "Left", kAddress2Id},   {VK_DOWN, "Down", kAddress1Id},
                        {VK_UP, "Up", kAddress2Id},       {VK_UP, "Up", kAddress1Id},
                        {VK_DOWN, "Down", kAddress2Id},   {VK_LEFT, "Left", kAddress1Id}};
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(step.name) + " to " + std::to_string(step.to));
    postKey(app().focus(), step.key);
    ASSERT_TRUE(waitForFocus(step.to)) << "focus in " << focusedId();
    std::vector<int> now;
    ASSERT_TRUE(pollUntil([&] { return (now = checkedRadios()) == std::vector<int>{step.to}; }, kActionTimeout))
        << "checked: " << ::testing::PrintToString(now);
  }

  postKey(app().focus(), VK_TAB);
  EXPECT_TRUE(waitForFocus(kAddress2Id)) << "Tab from 地址1, focus in " << focusedId();
  postKey(app().focus(), VK_TAB);
  EXPECT_TRUE(waitForFocus(kBrowserId)) << "Tab from 地址2, focus in " << focusedId();
  EXPECT_EQ(checkedRadios(), std::vector<int>{kAddress1Id}) << "Tab checks nothing";
}

// Enter on a focused push button clicks nothing: no warning, no emulation value, no
// request. Each Enter is followed by a Tab, whose effect shows that the Enter before
// it has been handled. Space then clicks 视频解析, which with no address chosen
// warns in a modal box; OK closes it.
TEST_F(StripTest, EnterOnAFocusedButtonClicksNothingAndSpaceClicksIt) {
  const std::wstring exeName = fileNameOf(app().exePath());
  UserValueGuard restore(kEmulationKey, exeName);
  deleteEmulationValue(exeName);

  const int buttons[][2] = {{kWeatherId, kMapId}, {kMapId, kParseId}, {kParseId, kHintId}};
  for (const auto& [id, next] : buttons) {
    SCOPED_TRACE("button " + std::to_string(id));
    ASSERT_TRUE(setFocusFromOutside(control(id)));
    ASSERT_TRUE(waitForFocus(id));
    postKey(control(id), VK_RETURN);
    postKey(control(id), VK_TAB);
    EXPECT_TRUE(waitForFocus(next)) << "the Tab after Enter did not arrive; focus in " << focusedId();
    EXPECT_FALSE(app().findMessageBox().has_value()) << "Enter clicked 视频解析";
    EXPECT_FALSE(readEmulationValue(exeName).has_value()) << "Enter clicked a button";
  }
  EXPECT_TRUE(app_->proxy().requestLines().empty());

  ASSERT_TRUE(setFocusFromOutside(control(kParseId)));
  ASSERT_TRUE(waitForFocus(kParseId));
  postKey(control(kParseId), VK_SPACE);
  const HWND box = app().waitForMessageBox(kActionTimeout);
  const MessageBoxInfo info = describeMessageBox(box);
  EXPECT_EQ(info.caption, kWarningCaption) << toUtf8(info.caption);
  EXPECT_EQ(info.text, kWarningText) << toUtf8(info.text);
  EXPECT_TRUE(readEmulationValue(exeName).has_value()) << "the click wrote no emulation value";

  HWND ok = GetDlgItem(box, IDOK);
  ASSERT_NE(ok, nullptr) << "the warning has no OK button";
  postButtonClick(ok);
  EXPECT_TRUE(pollUntil([&] { return !app().findMessageBox().has_value(); }, kActionTimeout))
      << "OK did not close the warning";
  EXPECT_TRUE(app().running());
  EXPECT_TRUE(IsWindowEnabled(main_)) << "the main window is enabled again";
}

// ---------------------------------------------------------------------------
// The hint's wordings

// Right after start the hint shows its first wording; the timer's wording follows
// about a second later. The warning box, opened at once, does not stop the timer:
// the wording arrives while the box is open, and text put into the line meanwhile
// is replaced at the next tick.
TEST_F(StripTest, HintChangesWordingOnTimeEvenWhileTheWarningIsOpen) {
  const auto found = Clock::now();
  const HWND hint = control(kHintId);
  const std::wstring first = wholeText(hint);
  const auto readAfter = std::chrono::duration_cast<Millis>(Clock::now() - found).count();
  ASSERT_LT(readAfter, 500) << "the first read came too late to judge the first wording";
  EXPECT_EQ(first, kFirstHint) << toUtf8(first);

  postButtonClick(control(kParseId));
  const HWND box = app().waitForMessageBox(kActionTimeout);
  EXPECT_EQ(describeMessageBox(box).caption, kWarningCaption);

  std::wstring text;
  EXPECT_TRUE(pollUntil([&] { return (text = wholeText(hint)) == kHintText; }, Millis{2500}))
      << "after 2.5 s the hint reads \"" << toUtf8(text) << "\"";
  const auto changedAfter = std::chrono::duration_cast<Millis>(Clock::now() - found).count();
  EXPECT_LE(changedAfter, 2000) << "the second wording came late";

  const std::wstring marker = L"typed meanwhile";
  SendMessageTimeoutW(hint, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(marker.c_str()), SMTO_ABORTIFHUNG, 2000, nullptr);
  EXPECT_TRUE(pollUntil([&] { return (text = wholeText(hint)) == kHintText; }, Millis{1500}))
      << "the hint still reads \"" << toUtf8(text) << "\"";
  EXPECT_TRUE(app().findMessageBox().has_value()) << "the warning box is still open";

  postButtonClick(GetDlgItem(box, IDOK));
  EXPECT_TRUE(pollUntil([&] { return !app().findMessageBox().has_value(); }, kActionTimeout));
}

}  // namespace
}  // namespace e2e
