// Input that arrives while the warning box is open. The box is task-modal: the main
// window is disabled, so neither the mouse nor the keys may run a command, check a
// radio button, open a second box or close the main window, and nothing may be kept
// back to run once the box is gone. After OK everything works again.
#include "FaultSupport.h"
#include "ProgramFacts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace e2e {
namespace {

using namespace fault;
using commands::countLine;
using commands::joinLines;
using commands::ProxiedApp;



POINT screenCentre(HWND window) {
  const RECT r = windowRect(window);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

size_t openBoxes(const AppProcess& app) { return topLevelWindows(app.processId(), L"#32770").size(); }

class FaultModal : public ::testing::Test {
 protected:
  void SetUp() override {
    deleteEmulationValue(exeName_);
    main_ = app_.main();
  }

  HWND control(int id) const { return GetDlgItem(main_, id); }

  // Opens the warning and waits until it is up and the main window disabled.
  HWND openWarning() {
    postButtonClick(control(kParseId));
    const HWND box = app_.app().waitForMessageBox(kActionTimeout);
    if (!pollUntil([&] { return !IsWindowEnabled(main_); }, kActionTimeout)) {
      throw DriverError("the main window stayed enabled under the warning");
    }
    return box;
  }

  const std::wstring exeName_ = fileNameOf(productExePath());
  UserValueGuard guard_{kEmulationKey, exeName_};
  ProxiedApp app_;
  HWND main_ = nullptr;
};

// Real clicks on the commands and on 地址1, keys sent to the main window itself, and
// a pause that holds a tick of the timer.
TEST_F(FaultModal, InputWhileWarningIsOpenDoesNothingAndNothingRunsAfterOk) {
  const HWND box = openWarning();
  const RECT boxRect = windowRect(box);

  ASSERT_TRUE(waitForForeground(box)) << "the warning is not in the foreground";
  for (int id : {kWeatherId, kMapId, kParseId, kAddress1Id}) {
    const POINT at = screenCentre(control(id));
    ASSERT_FALSE(PtInRect(&boxRect, at)) << "the warning covers control " << id;
    sendClickAt(at);
  }
  for (UINT key : {UINT{VK_ESCAPE}, UINT{VK_TAB}, UINT{VK_RETURN}, UINT{VK_SPACE}}) postKey(main_, key);
  postAltF4(main_);

  Sleep(1500);
  EXPECT_EQ(app_.proxy().requestLines(), std::vector<std::string>{}) << "a command navigated under the warning";
  EXPECT_EQ(openBoxes(app_.app()), 1u) << "a second box opened";
  EXPECT_TRUE(IsWindow(main_)) << "the main window was closed";
  EXPECT_TRUE(app_.app().running());
  EXPECT_FALSE(IsWindowEnabled(main_)) << "the main window was enabled under the warning";
  EXPECT_EQ(SendMessageW(control(kAddress1Id), BM_GETCHECK, 0, 0), BST_UNCHECKED) << "a click reached 地址1";
  EXPECT_EQ(hintRewrittenWithin(control(kHintId), Millis{1500}), "");
  EXPECT_TRUE(app_.app().findMessageBox().has_value()) << "the input closed the warning";

  // OK: the box goes and nothing that was held back runs now.
  postButtonClick(GetDlgItem(box, IDOK));
  ASSERT_TRUE(pollUntil([&] { return !app_.app().findMessageBox().has_value(); }, kActionTimeout))
      << "OK did not close the warning";
  ASSERT_TRUE(pollUntil([&] { return IsWindowEnabled(main_) != FALSE; }, kActionTimeout));
  Sleep(1000);
  EXPECT_FALSE(app_.app().findMessageBox().has_value()) << "a box opened after OK";
  EXPECT_EQ(app_.proxy().requestLines(), std::vector<std::string>{}) << "a click held back ran after OK";
  EXPECT_TRUE(IsWindow(main_));
  EXPECT_EQ(SendMessageW(control(kAddress1Id), BM_GETCHECK, 0, 0), BST_UNCHECKED) << "a click held back ran after OK";

  // And the commands work again.
  postButtonClick(control(kWeatherId));
  EXPECT_TRUE(pollUntil([&] { return countLine(app_.proxy(), kWeatherRequest) == 1; }, kStartTimeout))
      << "天气 after OK; the proxy saw:" << joinLines(app_.proxy().requestLines());
  EXPECT_EQ(warningOpensAndCloses(app_.app(), control(kParseId)), "");
  EXPECT_EQ(closeAndDescribeEnd(app_.app()), "exit code 0");
}

// Messages posted straight to the buttons bypass the disabling: a BM_CLICK, or a
// Space key, posted to a button of the disabled main window still makes the button
// report a click (programs that drive other programs' buttons, and accessibility
// tools, click buttons this way). The main window drops those reports while it is
// disabled; otherwise the command would run inside the warning's loop and 视频解析
// would open a second warning over the first.
TEST_F(FaultModal, ClicksPostedToButtonsUnderTheWarningRunNoCommand) {
  const HWND box = openWarning();
  for (int id : {kWeatherId, kMapId, kParseId}) postButtonClick(control(id));
  postKey(control(kWeatherId), VK_SPACE);

  Sleep(1500);
  EXPECT_EQ(app_.proxy().requestLines(), std::vector<std::string>{}) << "a command navigated under the warning";
  EXPECT_EQ(openBoxes(app_.app()), 1u) << "a second box opened";

  postButtonClick(GetDlgItem(box, IDOK));
  EXPECT_TRUE(pollUntil([&] { return openBoxes(app_.app()) == 0; }, kActionTimeout)) << "OK left a box open";
  EXPECT_TRUE(pollUntil([&] { return IsWindowEnabled(main_) != FALSE; }, kActionTimeout));
  Sleep(1000);
  EXPECT_EQ(app_.proxy().requestLines(), std::vector<std::string>{}) << "a click held back ran after OK";
  EXPECT_EQ(closeAndDescribeEnd(app_.app()), "exit code 0");
}

}  // namespace
}  // namespace e2e
