// The three commands of vparse.exe seen from outside: each click writes the browser
// emulation value under the executable's file name and sends the browser to its page,
// which shows as a request at a loopback proxy; the parse command without an address
// shows its warning instead. Renamed copies write under their own names.
#include "CommandsSupport.h"
#include "ProgramFacts.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace e2e {
namespace {

using namespace commands;

void expectLevelWritten(const std::wstring& exeName) {
  const auto value = readEmulationValue(exeName);
  ASSERT_TRUE(value.has_value()) << "no emulation value named \"" << toUtf8(exeName) << "\"";
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value->data, kLevelBytes);
}

// ---------------------------------------------------------------------------
// Navigation: what reaches the proxy for each page. The browser sends the addresses
// as the program hands them over: the weather host without a scheme, the map address
// with its leading blank (which the component takes for a host named " http").

struct NavigationCase {
  const char* name;
  const wchar_t* button;
  std::vector<const wchar_t*> radios;  // clicked in this order before the command
  std::string requestLine;
};

const NavigationCase kNavigationCases[] = {
    {"Weather", L"天气", {}, kWeatherRequest},
    {"Map", L"地图", {}, kMapRequest},
    {"ParseAddress1", L"视频解析", {L"地址1"}, kAddress1Request},
    {"ParseAddress2", L"视频解析", {L"地址2"}, kAddress2Request},
    {"ParseAddress1AfterAddress2", L"视频解析", {L"地址2", L"地址1"}, kAddress1Request},
};

// The case's name stands for it in test listings (ctest names the test after it).
void PrintTo(const NavigationCase& c, std::ostream* out) { *out << c.name; }

class CommandsNavigation : public ::testing::TestWithParam<NavigationCase> {};

TEST_P(CommandsNavigation, EachClickWritesLevelThenRequestsPage) {
  const NavigationCase& c = GetParam();
  const std::wstring exeName = fileNameOf(productExePath());
  UserValueGuard guard(kEmulationKey, exeName);
  ProxiedApp app;
  for (const wchar_t* radio : c.radios) app.checkRadio(radio);

  for (size_t click = 1; click <= 2; ++click) {
    SCOPED_TRACE("click " + std::to_string(click));
    deleteEmulationValue(exeName);
    ASSERT_FALSE(readEmulationValue(exeName).has_value());
    postButtonClick(app.button(c.button));
    const bool arrived = pollUntil([&] { return countLine(app.proxy(), c.requestLine) >= click; }, kStartTimeout);
    ASSERT_TRUE(arrived) << "want " << click << " x \"" << c.requestLine << "\"; the proxy saw:"
                         << joinLines(app.proxy().requestLines());
    expectLevelWritten(exeName);
  }
  // Nothing else was requested: one request per click, for that page only.
  Sleep(500);
  EXPECT_EQ(app.proxy().requestLines(), (std::vector<std::string>{c.requestLine, c.requestLine}));
  EXPECT_FALSE(app.app().findMessageBox().has_value());
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandsNavigation, ::testing::ValuesIn(kNavigationCases));

// ---------------------------------------------------------------------------
// The parse command with no address chosen.

TEST(CommandsParse, WithoutAddressWarnsModallyWritesLevelAndRequestsNothing) {
  const std::wstring exeName = fileNameOf(productExePath());
  UserValueGuard guard(kEmulationKey, exeName);
  ProxiedApp app;
  const HWND hint = app.hintLine();
  ASSERT_EQ(SendMessageW(app.button(L"地址1"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  ASSERT_EQ(SendMessageW(app.button(L"地址2"), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    deleteEmulationValue(exeName);
    postButtonClick(app.button(L"视频解析"));
    const HWND box = app.app().waitForMessageBox(kActionTimeout);
    const MessageBoxInfo info = describeMessageBox(box);
    EXPECT_EQ(info.caption, kWarningCaption);
    EXPECT_EQ(info.text, kWarningText);
    ASSERT_EQ(info.buttons.size(), 1u);
    EXPECT_EQ(info.buttons[0].id, IDOK);
    EXPECT_TRUE(info.buttons[0].visible);
    // No icon: either no icon Static at all, or one that holds nothing and is hidden.
    if (info.iconStatic) {
      EXPECT_FALSE(IsWindowVisible(info.iconStatic) &&
                   SendMessageW(info.iconStatic, STM_GETICON, 0, 0) != 0)
          << "the warning shows an icon";
    }
    // The value was written before the radio buttons were looked at.
    expectLevelWritten(exeName);
    // Task-modal: the main window is disabled while the box is open.
    EXPECT_FALSE(IsWindowEnabled(app.main()));

    // The timer still rewrites the hint line while the box is open.
    const std::wstring typed = L"typed while the warning is open";
    DWORD_PTR taken = FALSE;
    ASSERT_TRUE(SendMessageTimeoutW(hint, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()), SMTO_ABORTIFHUNG,
                                    2000, &taken));
    ASSERT_TRUE(taken) << "the hint line did not take the text";
    EXPECT_TRUE(pollUntil([&] { return wholeText(hint) == kHintText; }, Millis{1600}))
        << "hint line reads \"" << toUtf8(wholeText(hint)) << "\"";
    ASSERT_TRUE(app.app().findMessageBox().has_value()) << "the box closed on its own";

    postButtonClick(info.buttons[0].hwnd);
    EXPECT_TRUE(pollUntil([&] { return !app.app().findMessageBox().has_value(); }, kActionTimeout));
    EXPECT_TRUE(pollUntil([&] { return IsWindowEnabled(app.main()) != FALSE; }, kActionTimeout));
  }
  Sleep(500);
  EXPECT_EQ(app.proxy().requestLines(), std::vector<std::string>{}) << "the warning must not navigate";
  EXPECT_TRUE(app.app().running());
}

// ---------------------------------------------------------------------------
// Renamed copies: the value is named exactly after the file the copy runs from. A
// value written under another name earlier (the product's own) stays as it was.

struct RenameCase {
  const char* name;
  std::wstring fileName;
};

const RenameCase kRenameCases[] = {
    {"Chinese", L"视频解析工具.exe"},
    // 乗 is 81 5C in GBK: its second byte is a backslash.
    {"GbkTrailBackslash", L"视频乗解析乗.exe"},
    {"Emoji", L"vparse\U0001F600.exe"},
    {"OutsideBmp", L"\U00020000工具.exe"},
};

std::set<std::wstring> emulationValueNames() {
  std::set<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD length = static_cast<DWORD>(std::size(name));
    if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace(name, length);
  }
  RegCloseKey(key);
  return names;
}

void PrintTo(const RenameCase& c, std::ostream* out) { *out << c.name; }

class CommandsRenamedCopy : public ::testing::TestWithParam<RenameCase> {};

TEST_P(CommandsRenamedCopy, WritesValueUnderExactFileName) {
  const std::wstring& fileName = GetParam().fileName;
  const std::wstring productName = fileNameOf(productExePath());
  UserValueGuard ownGuard(kEmulationKey, productName);
  UserValueGuard copyGuard(kEmulationKey, fileName);
  writeUserDword(kEmulationKey, productName, 7);
  deleteEmulationValue(fileName);
  const std::set<std::wstring> before = emulationValueNames();

  TempDir dir(L"vparse-e2e-rename");
  ProxiedApp app(dir.path(), fileName);
  postButtonClick(app.button(L"天气"));
  ASSERT_TRUE(app.proxy().waitForRequestLine(kWeatherRequest, kStartTimeout))
      << "the proxy saw:" << joinLines(app.proxy().requestLines());

  // Exactly one new value name, spelt exactly like the file, UTF-16 unit by unit.
  std::vector<std::wstring> added;
  for (const std::wstring& name : emulationValueNames()) {
    if (!before.count(name)) added.push_back(name);
  }
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0], fileName) << "written as \"" << toUtf8(added[0]) << "\"";
  expectLevelWritten(fileName);
  const auto own = readEmulationValue(productName);
  ASSERT_TRUE(own.has_value());
  EXPECT_EQ(own->asDword(), std::optional<DWORD>(7)) << "the product's own value was touched";
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandsRenamedCopy, ::testing::ValuesIn(kRenameCases));

}  // namespace
}  // namespace e2e
