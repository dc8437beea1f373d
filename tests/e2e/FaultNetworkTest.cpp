// Pages that cannot be reached: the program's web traffic goes to a loopback
// address that refuses the connection, swallows it without a word, or resets it at
// once. The navigation fails or hangs inside the web-browser component; the window
// must go on answering, warning and rewriting its hint line, the commands must keep
// working, and closing must end the process with exit code 0 even with a request
// still hanging.
#include "FaultSupport.h"
#include "ProgramFacts.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace e2e {
namespace {

using namespace fault;


// A window message round trip that takes longer than this would be felt by a user.
constexpr Millis kQuickAnswer{500};

class FaultUnreachable : public ::testing::TestWithParam<DeadEnd> {};

TEST_P(FaultUnreachable, WindowStaysResponsiveAndCommandsKeepWorking) {
  const std::wstring exeName = fileNameOf(productExePath());
  UserValueGuard guard(kEmulationKey, exeName);
  deleteEmulationValue(exeName);

  DeadEndServer server(GetParam());
  LaunchOptions options;
  options.environment = {{L"http_proxy", server.address()}, {L"no_proxy", std::nullopt}};
  AppProcess app = AppProcess::launch(options);
  const HWND main = app.waitForMainWindow();

  // Two rounds of both pages, as a user would click again when nothing shows.
  for (int round = 0; round < 2; ++round) {
    postButtonClick(GetDlgItem(main, kWeatherId));
    postButtonClick(GetDlgItem(main, kMapId));
  }
  ASSERT_TRUE(pollUntil([&] { return readEmulationValue(exeName).has_value(); }, kActionTimeout))
      << "the clicks were not handled: no emulation value";
  if (GetParam() != DeadEnd::Refuses) {
    // The navigations did go out: the dead end saw them.
    EXPECT_TRUE(pollUntil([&] { return server.accepted() >= 1; }, kStartTimeout))
        << "no connection reached the loopback server";
  }

  // Answers quickly all along while the component fails or waits.
  auto slowest = slowestAnswer(main, Millis{3000});
  ASSERT_TRUE(slowest.has_value()) << "WM_NULL went unanswered for a second";
  EXPECT_LT(slowest->count(), kQuickAnswer.count()) << "slowest answer to WM_NULL";
  const long long slowestAfterClicks = slowest->count();

  EXPECT_EQ(warningOpensAndCloses(app, GetDlgItem(main, kParseId)), "");
  EXPECT_EQ(hintRewrittenWithin(GetDlgItem(main, kHintId), Millis{1500}), "");

  // The weather command still runs to its end: it writes the value again.
  deleteEmulationValue(exeName);
  postButtonClick(GetDlgItem(main, kWeatherId));
  EXPECT_TRUE(pollUntil([&] { return readEmulationValue(exeName).has_value(); }, kActionTimeout))
      << "a click after the failed navigations wrote no emulation value";
  slowest = slowestAnswer(main, Millis{1000});
  ASSERT_TRUE(slowest.has_value()) << "WM_NULL went unanswered after the last click";
  EXPECT_LT(slowest->count(), kQuickAnswer.count()) << "slowest answer to WM_NULL after the last click";
  std::printf("[ e2e    ] %s: %d connection(s) reached the loopback server; slowest WM_NULL %lld ms\n",
              deadEndName(GetParam()), server.accepted(), slowestAfterClicks);

  EXPECT_EQ(closeAndDescribeEnd(app), "exit code 0");
}

INSTANTIATE_TEST_SUITE_P(Fault, FaultUnreachable,
                         ::testing::Values(DeadEnd::Refuses, DeadEnd::NeverAnswers, DeadEnd::ClosesAtOnce),
                         [](const ::testing::TestParamInfo<DeadEnd>& info) { return deadEndName(info.param); });

}  // namespace
}  // namespace e2e
