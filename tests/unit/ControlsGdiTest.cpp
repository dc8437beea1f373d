// What the control kinds own: their fonts and brushes are freed with them, and
// neither rewriting the hint nor making and destroying controls again and again
// leaves GDI objects behind.
#include "ControlsFixture.h"

#include "app/controls/EditBox.h"
#include "app/controls/PushButton.h"
#include "app/controls/RadioButton.h"
#include "app/controls/Timer.h"

#include <memory>

namespace strip_test {
namespace {

using namespace vparse;

// A few objects may come and go with the platform's caches (device contexts, a
// font's realisation); a leak per write or per control shows as hundreds.
constexpr long slack = 4;

EditBoxSettings hintLine() {
    EditBoxSettings settings;
    settings.content = gbk(L"  点击“地址”点击“视频解析”");
    settings.textColour = 0x000000FF;
    settings.backgroundColour = 0x0000FF00;
    settings.font = hintFontRecord();
    return settings;
}

class ControlsGdiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (liveGdiObjects() < 0) GTEST_SKIP() << "this platform reports no GDI object count";
    }

    EventLog events;
    TestParent parent;
};

TEST_F(ControlsGdiTest, TwoThousandContentWritesLeaveNoObjectBehind) {
    EditBox* box = parent.own(EditBox::create(hintLine(), parent.context(140, {4, 200, 736, 24}, &events)));
    ASSERT_TRUE(box);
    ShowWindow(box->window(), SW_SHOWNA);
    const Value texts[] = {Value(gbk(L" !点击【地址】点击【视频解析】!")), Value(gbk(L"  点击“地址”"))};
    // Warm the platform's caches with the same work first.
    for (int i = 0; i < 50; ++i) box->writeSetting(EditBox::content, texts[i % 2]);
    pumpFor(Millis{50});
    const long before = liveGdiObjects();
    for (int i = 0; i < 2000; ++i) {
        box->writeSetting(EditBox::content, texts[i % 2]);
        if (i % 100 == 99) {
            RedrawWindow(box->window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
            pumpFor(Millis{1});
        }
    }
    pumpFor(Millis{50});
    const long after = liveGdiObjects();
    EXPECT_LE(after - before, slack) << before << " GDI objects before, " << after << " after";
    EXPECT_EQ(events.count(140, EditBox::contentChange), 2050);
}

// Made 200 times each with a font record (so each makes a font of its own) and
// destroyed again.
TEST_F(ControlsGdiTest, MakingAndDestroyingControlsTwoHundredTimesLeavesNoObjectBehind) {
    PushButtonSettings push;
    push.caption = gbk(L"天气");
    push.font = hintFontRecord();
    RadioButtonSettings radio;
    radio.caption = gbk(L"地址1");
    radio.font = hintFontRecord();
    auto cycle = [&] {
        std::unique_ptr<Control> made[] = {
            EditBox::create(hintLine(), parent.context(140, {4, 200, 736, 24}, &events)),
            PushButton::create(push, parent.context(110, {760, 200, 80, 24}, &events)),
            RadioButton::create(radio, parent.context(150, {760, 240, 64, 16}, &events)),
            Timer::create(TimerSettings{50}, parent.context(200, {0, 0, 16, 16}, &events, 0, 0)),
        };
        for (auto& control : made) {
            ASSERT_TRUE(control);
            ShowWindow(control->window(), SW_SHOWNA);
        }
        pumpFor(Millis{0});
    };
    for (int i = 0; i < 5; ++i) cycle();
    pumpFor(Millis{50});
    const long before = liveGdiObjects();
    for (int i = 0; i < 200; ++i) {
        cycle();
        if (HasFatalFailure()) return;
    }
    pumpFor(Millis{50});
    const long after = liveGdiObjects();
    EXPECT_LE(after - before, slack) << before << " GDI objects before, " << after << " after";
}

// Destroying a control frees its window, its font and its brush; the stock font
// that a control without a font record uses stays.
TEST_F(ControlsGdiTest, DestroyedControlFreesItsWindowFontAndBrush) {
    auto box = EditBox::create(hintLine(), parent.context(140, {4, 200, 736, 24}, &events));
    RadioButtonSettings radioSettings;
    radioSettings.caption = gbk(L"地址1");
    radioSettings.font = hintFontRecord();
    auto radio = RadioButton::create(radioSettings, parent.context(150, {760, 240, 64, 16}, &events));
    RadioButtonSettings plainSettings;
    plainSettings.caption = gbk(L"地址2");
    auto plain = RadioButton::create(plainSettings, parent.context(160, {830, 240, 64, 16}, &events));
    ASSERT_TRUE(box && radio && plain);

    HDC dc = CreateCompatibleDC(nullptr);
    struct Owned {
        HWND window;
        HFONT font;
        HBRUSH brush;
    };
    const Owned boxOwned{box->window(), fontOf(box->window()), box->answerColour(dc)};
    const Owned radioOwned{radio->window(), fontOf(radio->window()), radio->answerColour(dc)};
    const HFONT stock = fontOf(plain->window());
    DeleteDC(dc);
    for (const Owned& owned : {boxOwned, radioOwned}) {
        ASSERT_EQ(GetObjectType(owned.font), static_cast<DWORD>(OBJ_FONT));
        ASSERT_EQ(GetObjectType(owned.brush), static_cast<DWORD>(OBJ_BRUSH));
    }
    ASSERT_EQ(stock, GetStockObject(DEFAULT_GUI_FONT));

    box.reset();
    radio.reset();
    plain.reset();
    for (const Owned& owned : {boxOwned, radioOwned}) {
        EXPECT_FALSE(IsWindow(owned.window));
        EXPECT_EQ(GetObjectType(owned.font), 0u) << "font still alive";
        EXPECT_EQ(GetObjectType(owned.brush), 0u) << "brush still alive";
    }
    EXPECT_EQ(GetObjectType(stock), static_cast<DWORD>(OBJ_FONT));
    EXPECT_TRUE(events.gone.empty()) << "a control destroyed by its owner does not report itself gone";
}

// When the parent window goes first, each control hears that its window is gone,
// reports it once, and then no longer claims a window.
TEST_F(ControlsGdiTest, ControlsOutlivedByTheirWindowsReportThemGone) {
    TestParent other;
    auto box = EditBox::create(hintLine(), other.context(140, {4, 200, 736, 24}, &events, 31));
    auto timer = Timer::create(TimerSettings{50}, other.context(200, {0, 0, 16, 16}, &events, 32, 0));
    ASSERT_TRUE(box && timer);
    DestroyWindow(other.window());
    EXPECT_EQ(box->window(), nullptr);
    EXPECT_EQ(timer->window(), nullptr);
    ASSERT_EQ(events.gone.size(), 2u);
    EXPECT_EQ(events.gone[0] + events.gone[1], 31u + 32u);
}

}  // namespace
}  // namespace strip_test
