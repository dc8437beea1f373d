// Clicks and keys in any order: a sequence of real mouse clicks (radio buttons,
// greyed ones included, and the three commands), real keys (Tab, Shift+Tab, arrows,
// Space, Enter) and typing into the hint line, drawn from a fixed seed and logged.
// Every warning that opens is closed. Along the way and afterwards: the program
// runs, at most one of 地址1 and 地址2 is checked and a greyed one never, only one
// box is ever open, every request is one of the four pages, the window answers and
// the hint is rewritten; at the end Esc closes the program with exit code 0.
//
// The seed is 20240611 unless VPARSE_FAULT_SEED names another.
#include "FaultSupport.h"
#include "ProgramFacts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace e2e {
namespace {

using namespace fault;
using commands::joinLines;
using commands::kWarningText;
using commands::ProxiedApp;

constexpr int kActions = 200;
constexpr unsigned kDefaultSeed = 20240611;


const std::set<std::string> kPageRequests = {kWeatherRequest, kMapRequest, kAddress1Request,
                                             kAddress2Request};

unsigned seed() {
  wchar_t buf[32] = {};
  const DWORD n = GetEnvironmentVariableW(L"VPARSE_FAULT_SEED", buf, static_cast<DWORD>(std::size(buf)));
  return n > 0 && n < std::size(buf) ? static_cast<unsigned>(std::wcstoul(buf, nullptr, 10)) : kDefaultSeed;
}

POINT screenCentre(HWND window) {
  const RECT r = windowRect(window);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

struct Key {
  const char* name;
  UINT vk;
  bool shift;
};

const Key kKeys[] = {
    {"Tab", VK_TAB, false},  {"ShiftTab", VK_TAB, true}, {"Left", VK_LEFT, false},    {"Right", VK_RIGHT, false},
    {"Up", VK_UP, false},    {"Down", VK_DOWN, false},   {"Space", VK_SPACE, false}, {"Enter", VK_RETURN, false},
};

class FaultRandom : public ::testing::Test {
 protected:
  HWND control(int id) const { return GetDlgItem(app_.main(), id); }

  bool checked(int id) const { return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

  // What must hold between any two actions; "" when it does.
  std::string brokenRule() {
    if (!app_.app().running()) return "the program ended: " + app_.app().stateText();
    if (checked(kAddress1Id) && checked(kAddress2Id)) return "地址1 and 地址2 are both checked";
    for (int id : kGreyedIds) {
      if (checked(id)) return "greyed radio button " + std::to_string(id) + " is checked";
      if (IsWindowEnabled(control(id))) return "greyed radio button " + std::to_string(id) + " is enabled";
    }
    const size_t boxes = topLevelWindows(app_.app().processId(), L"#32770").size();
    if (boxes > 1) return std::to_string(boxes) + " boxes are open";
    for (const std::string& line : app_.proxy().requestLines()) {
      if (!kPageRequests.count(line)) return "a request for no page of the program: " + line;
    }
    return "";
  }

  // Closes the warning if one is open (or opens within a short while); true if one was.
  bool closeWarning(Millis wait) {
    std::optional<HWND> box;
    if (!pollUntil([&] { return (box = app_.app().findMessageBox()).has_value(); }, wait)) return false;
    pollUntil([&] { return GetDlgItem(*box, IDOK) != nullptr; }, kActionTimeout);
    const MessageBoxInfo info = describeMessageBox(*box);
    EXPECT_EQ(info.text, kWarningText) << "a box that is not the warning: " << toUtf8(info.text);
    postButtonClick(GetDlgItem(*box, IDOK));
    if (!pollUntil([&] { return !app_.app().findMessageBox().has_value(); }, kActionTimeout)) {
      throw DriverError("OK did not close the warning");
    }
    if (!pollUntil([&] { return IsWindowEnabled(app_.main()) != FALSE; }, kActionTimeout)) {
      throw DriverError("the main window stayed disabled after OK");
    }
    // The warning has no owner: when it goes, no window of the program is active
    // (the main window was still disabled). A user clicks on the window again; here
    // on its caption, which changes nothing else.
    if (!waitForForeground(app_.main(), Millis{200})) {
      const RECT r = windowRect(app_.main());
      const POINT caption{(r.left + r.right) / 2, r.top + GetSystemMetrics(SM_CYFRAME) + 4};
      if (sendWithTimeout(app_.main(), WM_NCHITTEST, 0, MAKELPARAM(caption.x, caption.y)) != HTCAPTION) {
        throw DriverError("no caption at the top of the main window");
      }
      sendClickAt(caption);
    }
    return true;
  }

  ProxiedApp app_;
};

TEST_F(FaultRandom, ClicksAndKeysInAnyOrderLeaveTheProgramSoundAndEscEndsIt) {
  const unsigned s = seed();
  std::printf("[ e2e    ] seed %u\n", s);
  std::mt19937 random(s);
  auto pick = [&](int n) { return static_cast<int>(std::uniform_int_distribution<int>(0, n - 1)(random)); };

  const HWND main = app_.main();
  std::vector<std::string> log;
  int mayNavigate = 0;  // clicks on the commands and Space keys
  int warnings = 0;
  for (int step = 0; step < kActions; ++step) {
    // A warning that opened late belongs to the action before.
    if (closeWarning(Millis{0})) {
      ++warnings;
      log.back() += "(warned)";
    }
    ASSERT_TRUE(waitForForeground(main)) << "after " << step << " actions the main window is not in the foreground: "
                                         << describeHandle(GetForegroundWindow()) << "; actions:" << joinLines(log);
    std::string action;
    switch (pick(10)) {
      case 0: case 1: case 2: {  // a radio button, greyed ones as often as the others
        const int id = kRadioIds[pick(5)];
        action = "radio" + std::to_string(id);
        sendClickAt(screenCentre(control(id)));
        break;
      }
      case 3: case 4: {
        const int id = kButtonIds[pick(3)];
        action = "button" + std::to_string(id);
        ++mayNavigate;
        sendClickAt(screenCentre(control(id)));
        break;
      }
      case 5: case 6: case 7: case 8: {
        const Key& key = kKeys[pick(static_cast<int>(std::size(kKeys)))];
        action = key.name;
        if (key.vk == VK_SPACE) ++mayNavigate;
        if (key.shift) {
          sendChord({VK_SHIFT}, key.vk);
        } else {
          sendKey(key.vk);
        }
        break;
      }
      default: {  // into the hint line with the mouse, then three letters
        action = "type";
        sendClickAt(screenCentre(control(kHintId)));
        for (int i = 0; i < 3; ++i) sendKey('A' + pick(26));
        break;
      }
    }
    log.push_back(action);
    if (closeWarning(Millis{60})) {
      ++warnings;
      log.back() += "(warned)";
    }
    const std::string broken = brokenRule();
    ASSERT_EQ(broken, "") << "after action " << step + 1 << "; actions:" << joinLines(log);
  }
  for (size_t i = 0; i < log.size(); i += 20) {
    std::string line;
    for (size_t j = i; j < std::min(log.size(), i + 20); ++j) line += " " + log[j];
    std::printf("[ e2e    ] actions %zu-%zu:%s\n", i + 1, std::min(log.size(), i + 20), line.c_str());
  }

  // Any warning still on its way is closed too; then everything settles.
  while (closeWarning(Millis{500})) ++warnings;
  const auto requests = app_.proxy().requestLines();
  std::printf("[ e2e    ] %d warnings, %zu requests, %d clicks on commands and Space keys\n", warnings,
              requests.size(), mayNavigate);
  EXPECT_LE(requests.size(), static_cast<size_t>(mayNavigate)) << "more navigations than clicks:" << joinLines(requests);
  EXPECT_EQ(brokenRule(), "");
  const auto slowest = slowestAnswer(main, Millis{1000});
  ASSERT_TRUE(slowest.has_value()) << "WM_NULL went unanswered";
  EXPECT_LT(slowest->count(), 500) << "slowest answer to WM_NULL";
  EXPECT_EQ(hintRewrittenWithin(control(kHintId), Millis{1500}), "");

  app_.app().postKeyToFocus(VK_ESCAPE);
  const auto code = app_.app().waitForExit(kExitTimeout);
  ASSERT_TRUE(code.has_value()) << "Esc did not end the program; focus on " << describeHandle(app_.app().focus());
  EXPECT_EQ(*code, 0u);
}

}  // namespace
}  // namespace e2e
