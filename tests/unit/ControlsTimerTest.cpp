// The timer kind made directly under a test parent: its hidden window, periodic
// events counted with a pumped message loop, and the rules for writing `interval`.
// Periods are short (50 to 400 ms) and every count is taken under a deadline.
#include "ControlsFixture.h"

#include "app/controls/Timer.h"

#include <memory>
#include <ostream>

namespace strip_test {
namespace {

using vparse::Timer;
using vparse::TimerSettings;

constexpr std::uint32_t timerNumber = 369164315;

class TimerTest : public ::testing::Test {
protected:
    Timer* make(std::int32_t interval) {
        return parent.own(
            Timer::create(TimerSettings{interval}, parent.context(200, {600, 300, 16, 16}, &events, timerNumber, 0)));
    }

    int periodic() const { return events.count(timerNumber, Timer::periodic); }

    // Periodic events raised while the loop runs for `duration`.
    int countFor(Millis duration) {
        const int before = periodic();
        pumpFor(duration);
        return periodic() - before;
    }

    static std::int32_t interval(Timer* timer) {
        const auto value = timer->readSetting(Timer::interval);
        return value ? std::get<std::int32_t>(*value) : -12345;
    }

    EventLog events;
    TestParent parent;
};

TEST_F(TimerTest, IsAHiddenChildWindowThatNeverTakesTheFocus) {
    Timer* timer = make(50);
    ASSERT_TRUE(timer);
    const HWND window = timer->window();
    EXPECT_EQ(GetParent(window), parent.window());
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)),
              static_cast<DWORD>(WS_CHILD | WS_CLIPSIBLINGS));
    EXPECT_EQ(windowTextOf(window), L"");
    EXPECT_EQ(GetClassLongPtrW(window, GCL_STYLE), static_cast<ULONG_PTR>(CS_DBLCLKS));
    EXPECT_EQ(GetClassLongPtrW(window, GCLP_HBRBACKGROUND), 0u);
    EXPECT_EQ(timer->claimsKey(VK_RETURN), false);
}

// A positive interval starts the timer at creation: about one event per period,
// each carrying the window's and the control's numbers.
TEST_F(TimerTest, StartsAtCreationAndRaisesPeriodicEvents) {
    Timer* timer = make(50);
    ASSERT_TRUE(timer);
    EXPECT_TRUE(timer->running());
    const int raised = countFor(Millis{600});
    EXPECT_GE(raised, 4);
    EXPECT_LE(raised, 13);
    for (const RaisedEvent& e : events.events) {
        EXPECT_EQ(e.windowNumber, TestParent::windowNumber);
        EXPECT_EQ(e.controlNumber, timerNumber);
        EXPECT_EQ(e.event, Timer::periodic);
    }
}

TEST_F(TimerTest, IntervalZeroAtCreationRaisesNothing) {
    Timer* timer = make(0);
    ASSERT_TRUE(timer);
    EXPECT_FALSE(timer->running());
    EXPECT_EQ(countFor(Millis{300}), 0);
    EXPECT_EQ(interval(timer), 0);
}

struct IntervalCase {
    const char* name;
    std::int32_t created;
    std::int32_t written;
    std::int32_t readBack;
    bool running;
};

void PrintTo(const IntervalCase& c, std::ostream* os) { *os << c.name; }

class TimerIntervalTest : public TimerTest, public ::testing::WithParamInterface<IntervalCase> {};

// Negative values count as 0; 0 stops the timer and a positive value runs it. After
// the write the events follow the new state: none when stopped, about one per
// period (50 ms here) when running.
TEST_P(TimerIntervalTest, WriteStoresTheValueAndSetsTheTimerGoingOrStopped) {
    const IntervalCase& c = GetParam();
    Timer* timer = make(c.created);
    ASSERT_TRUE(timer);
    pumpFor(Millis{80});
    timer->writeSetting(Timer::interval, vparse::Value(c.written));
    EXPECT_EQ(interval(timer), c.readBack);
    EXPECT_EQ(timer->running(), c.running);
    const int raised = countFor(Millis{400});
    if (c.running) {
        EXPECT_GE(raised, 3);
        EXPECT_LE(raised, 9);
    } else {
        EXPECT_EQ(raised, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, TimerIntervalTest,
    ::testing::Values(IntervalCase{"negative_stops", 50, -5, 0, false},
                      IntervalCase{"zero_stops", 50, 0, 0, false},
                      IntervalCase{"minimum_negative_stops", 50, INT32_MIN, 0, false},
                      IntervalCase{"negative_on_stopped_keeps_stopped", 0, -1, 0, false},
                      IntervalCase{"positive_starts_a_stopped_timer", 0, 50, 50, true},
                      IntervalCase{"equal_keeps_running", 50, 50, 50, true},
                      IntervalCase{"new_period_keeps_running", 200, 50, 50, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A write of the value it already has changes nothing: the running period is not
// started anew. Rewriting 100 every 30 ms would starve a timer that restarts on
// each write; left alone it keeps ticking.
TEST_F(TimerTest, WritingTheSameValueDoesNotRestartThePeriod) {
    Timer* timer = make(100);
    ASSERT_TRUE(timer);
    const int before = periodic();
    const auto deadline = Clock::now() + Millis{800};
    while (Clock::now() < deadline) {
        timer->writeSetting(Timer::interval, vparse::Value(std::int32_t{100}));
        pumpFor(Millis{30});
    }
    EXPECT_GE(periodic() - before, 4);
    EXPECT_EQ(interval(timer), 100);
}

// A new value starts a new period at once: a timer moved from 50 to 400 ms raises
// nothing in the first 300 ms after the write, then ticks at the new pace.
TEST_F(TimerTest, NewValueRestartsWithTheNewPeriod) {
    Timer* timer = make(50);
    ASSERT_TRUE(timer);
    ASSERT_GE(countFor(Millis{200}), 2);
    timer->writeSetting(Timer::interval, vparse::Value(std::int32_t{400}));
    EXPECT_EQ(countFor(Millis{300}), 0);
    const int later = countFor(Millis{600});
    EXPECT_GE(later, 1);
    EXPECT_LE(later, 2);
}

}  // namespace
}  // namespace strip_test
