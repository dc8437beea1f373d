// The hint line of vparse.exe seen from outside: the first wording right after
// start, the timer's wording about one second later and for good, and whatever is
// typed into the line replaced within a second.
#include "CommandsSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace e2e {
namespace {

using namespace commands;
using Clock = std::chrono::steady_clock;

long long millisSince(Clock::time_point start) {
  return std::chrono::duration_cast<Millis>(Clock::now() - start).count();
}

TEST(Hint, FirstWordingAtStartThenTimerWordingForGood) {
  ProxiedApp app;
  const HWND hint = app.hintLine();
  const auto shown = Clock::now();
  const std::wstring first = wholeText(hint);
  ASSERT_EQ(first, kFirstHint) << "right after start the hint reads \"" << toUtf8(first) << "\"";

  // The timer ticks every 1000 ms from just before the window was shown.
  std::wstring text;
  ASSERT_TRUE(pollUntil([&] { return (text = wholeText(hint)) != kFirstHint; }, Millis{3000}))
      << "the first wording is still there after 3 s";
  const long long changedAfter = millisSince(shown);
  EXPECT_EQ(text, kHintText) << "reads \"" << toUtf8(text) << "\"";
  EXPECT_GE(changedAfter, 500) << "the hint changed long before the first tick";
  EXPECT_LE(changedAfter, 1600) << "the hint changed long after the first tick";

  // It never goes back: sampled over the next two and a half ticks.
  const auto watchStart = Clock::now();
  while (millisSince(watchStart) < 2500) {
    text = wholeText(hint);
    ASSERT_EQ(text, kHintText) << "after " << millisSince(watchStart) << " ms it reads \"" << toUtf8(text) << "\"";
    Sleep(40);
  }
}

TEST(Hint, TypedTextIsReplacedWithinASecond) {
  ProxiedApp app;
  const HWND hint = app.hintLine();
  ASSERT_TRUE(pollUntil([&] { return wholeText(hint) == kHintText; }, Millis{3000}));

  // Three times: each tick writes the line again, not only the first one.
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // Start right after a tick, so that the typed text is surely seen before the next
    // one: a marker text is put in and waited out.
    const std::wstring marker = L"-";
    SendMessageTimeoutW(hint, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(marker.c_str()), SMTO_ABORTIFHUNG, 2000,
                        nullptr);
    ASSERT_TRUE(pollUntil([&] { return wholeText(hint) == kHintText; }, Millis{2000}));
    // Keys as the keyboard sends them; the program's loop turns them into characters.
    for (UINT key : {UINT{'X'}, UINT{'Y'}, UINT{'Z'}}) postKey(hint, key);
    std::wstring text;
    ASSERT_TRUE(pollUntil([&] { return (text = wholeText(hint)) != kHintText; }, Millis{1500}))
        << "the typed keys never showed in the hint line";
    const auto typedAt = Clock::now();
    EXPECT_NE(text.find_first_of(L"xyzXYZ"), std::wstring::npos) << "reads \"" << toUtf8(text) << "\"";
    ASSERT_TRUE(pollUntil([&] { return (text = wholeText(hint)) == kHintText; }, Millis{2000}))
        << "typed text still there: \"" << toUtf8(text) << "\"";
    EXPECT_LE(millisSince(typedAt), 1000 + 250) << "replaced later than the next tick";
  }
}

}  // namespace
}  // namespace e2e
