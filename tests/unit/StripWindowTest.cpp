// A main window built from a definition of the test's own, with a strip like the
// program's but with three selectable radio buttons (so that "next" and "previous"
// differ) among a disabled, a hidden and a non-tab-stop one. Recording handlers are
// bound to every control's event. Keys go through MainWindow::preTranslate as the
// event loop hands them over.
#include "ControlsFixture.h"

#include "app/MainWindow.h"

#include <array>
#include <ostream>

namespace strip_test {
namespace {

using namespace vparse;

enum Slot : int {
    ordinaryButton,
    defaultButton,
    hintBox,
    radioA,
    radioB,
    radioDisabled,
    radioC,
    radioHidden,
    radioNoTabStop,
    timer,
    slotCount
};

constexpr std::uint32_t testWindowNumber = 7001;
constexpr std::uint32_t numberOf(int slot) { return 500 + static_cast<std::uint32_t>(slot); }

std::array<int, slotCount> handlerRuns{};

template <int Slot>
void recordRun() {
    ++handlerRuns[Slot];
}

template <size_t... Slots>
std::vector<EventBinding> bindAll(std::index_sequence<Slots...>) {
    // Every kind here raises its own event with number 0.
    return {EventBinding{numberOf(static_cast<int>(Slots)), 0, &recordRun<static_cast<int>(Slots)>}...};
}

RadioButtonSettings radio(const wchar_t* caption) {
    RadioButtonSettings settings;
    settings.caption = gbk(caption);
    return settings;
}

PushButtonSettings push(const wchar_t* caption, std::int32_t type) {
    PushButtonSettings settings;
    settings.caption = gbk(caption);
    settings.buttonType = type;
    return settings;
}

EditBoxSettings hint() {
    EditBoxSettings settings;
    settings.content = gbk(L"  点击“地址”");
    settings.textColour = 0x000000FF;
    settings.backgroundColour = 0x0000FF00;
    settings.font = hintFontRecord();
    return settings;
}

WindowDefinition stripDefinition() {
    WindowDefinition window{};
    window.number = testWindowNumber;
    window.left = 50;
    window.top = 50;
    window.width = 900;
    window.height = 260;
    window.title = gbk(L"条带测试");
    window.borderStyle = 2;
    window.controlBox = true;
    window.minimiseBox = true;
    window.startPosition = 1;
    window.escCloses = true;
    window.showInTaskbar = true;
    //                 name         number                  left top width height visible disabled tab order
    window.controls = {
        {L"按钮1", numberOf(ordinaryButton), 10, 10, 80, 24, true, false, true, 0, push(L"天气", 0)},
        {L"按钮2", numberOf(defaultButton), 100, 10, 80, 24, true, false, true, 0, push(L"默认", 1)},
        {L"编辑框1", numberOf(hintBox), 10, 50, 400, 24, true, false, true, 0, hint()},
        {L"单选框A", numberOf(radioA), 10, 100, 64, 16, true, false, true, 0, radio(L"甲")},
        {L"单选框B", numberOf(radioB), 80, 100, 64, 16, true, false, true, 0, radio(L"乙")},
        {L"单选框D", numberOf(radioDisabled), 150, 100, 64, 16, true, true, true, 0, radio(L"未开发")},
        {L"单选框C", numberOf(radioC), 220, 100, 64, 16, true, false, true, 0, radio(L"丙")},
        {L"单选框E", numberOf(radioHidden), 290, 100, 64, 16, false, false, true, 0, radio(L"隐")},
        {L"单选框F", numberOf(radioNoTabStop), 360, 100, 64, 16, true, false, false, 0, radio(L"无")},
        {L"时钟1", numberOf(timer), 600, 150, 16, 16, false, false, false, 0, TimerSettings{0}},
    };
    window.bindings = bindAll(std::make_index_sequence<slotCount>{});
    return window;
}

class StripWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        handlerRuns.fill(0);
        ASSERT_TRUE(main.build());
        pumpFor(Millis{20});
        handlerRuns.fill(0);
    }

    HWND windowOf(int slot) const { return main.control(numberOf(slot))->window(); }
    bool checked(int slot) const { return SendMessageW(windowOf(slot), BM_GETCHECK, 0, 0) == BST_CHECKED; }

    // The key as the event loop hands it to the window: addressed to the focus.
    bool press(UINT key) {
        MSG message{};
        message.hwnd = GetFocus();
        message.message = WM_KEYDOWN;
        message.wParam = key;
        message.lParam = 1;
        return main.preTranslate(message);
    }

    void focus(int slot) {
        SetFocus(windowOf(slot));
        ASSERT_EQ(GetFocus(), windowOf(slot));
        handlerRuns.fill(0);
    }

    const WindowDefinition definition = stripDefinition();
    MainWindow main{definition};
};

// ---------------------------------------------------------------------------
// Arrow keys among the radio buttons

struct ArrowCase {
    const char* name;
    int from;
    UINT key;
    int to;
};

void PrintTo(const ArrowCase& c, std::ostream* os) { *os << c.name; }

class StripArrowTest : public StripWindowTest, public ::testing::WithParamInterface<ArrowCase> {};

// Right/Down go to the next, Left/Up to the previous of the selectable radio
// buttons (visible, enabled, tab stop), wrapping around. The target alone ends up
// checked (the others of the parent, unselectable ones included, are unchecked), it
// raises one click and takes the focus; the key is consumed.
TEST_P(StripArrowTest, MovesCheckClickAndFocusToTheNextSelectableRadio) {
    const ArrowCase& c = GetParam();
    SendMessageW(windowOf(c.from), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(windowOf(radioNoTabStop), BM_SETCHECK, BST_CHECKED, 0);
    focus(c.from);

    EXPECT_TRUE(press(c.key));

    EXPECT_EQ(GetFocus(), windowOf(c.to));
    for (int slot : {radioA, radioB, radioDisabled, radioC, radioHidden, radioNoTabStop}) {
        EXPECT_EQ(checked(slot), slot == c.to) << definition.controls[static_cast<size_t>(slot)].name;
        EXPECT_EQ(handlerRuns[static_cast<size_t>(slot)], slot == c.to ? 1 : 0)
            << "click handler of " << definition.controls[static_cast<size_t>(slot)].name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arrows, StripArrowTest,
    ::testing::Values(ArrowCase{"A_right_to_B", radioA, VK_RIGHT, radioB},
                      ArrowCase{"A_down_to_B", radioA, VK_DOWN, radioB},
                      ArrowCase{"B_right_past_disabled_to_C", radioB, VK_RIGHT, radioC},
                      ArrowCase{"C_right_wraps_past_hidden_and_no_tab_stop_to_A", radioC, VK_RIGHT, radioA},
                      ArrowCase{"C_down_wraps_to_A", radioC, VK_DOWN, radioA},
                      ArrowCase{"A_left_wraps_to_C", radioA, VK_LEFT, radioC},
                      ArrowCase{"A_up_wraps_to_C", radioA, VK_UP, radioC},
                      ArrowCase{"C_left_past_disabled_to_B", radioC, VK_LEFT, radioB},
                      ArrowCase{"B_up_to_A", radioB, VK_UP, radioA}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StripWindowTest, ArrowsElsewhereOrWithModifiersLeaveTheRadiosAlone) {
    focus(ordinaryButton);
    EXPECT_FALSE(press(VK_RIGHT)) << "arrow on a push button";
    focus(hintBox);
    EXPECT_FALSE(press(VK_DOWN)) << "arrow in the edit box";

    focus(radioA);
    for (BYTE modifier : {BYTE{VK_SHIFT}, BYTE{VK_CONTROL}}) {
        BYTE keys[256] = {};
        ASSERT_TRUE(GetKeyboardState(keys));
        keys[modifier] = 0x80;
        SetKeyboardState(keys);
        const bool consumed = press(VK_RIGHT);
        keys[modifier] = 0;
        SetKeyboardState(keys);
        EXPECT_FALSE(consumed) << "with modifier " << int{modifier};
        EXPECT_EQ(GetFocus(), windowOf(radioA));
    }
    for (int slot : {radioA, radioB, radioC}) EXPECT_FALSE(checked(slot));
    EXPECT_EQ(handlerRuns, (std::array<int, slotCount>{}));
}

// ---------------------------------------------------------------------------
// Tab, Enter and notifications

// Tab passes by the disabled, hidden and non-tab-stop radio buttons and the timer,
// and after the last selectable control comes the first.
TEST_F(StripWindowTest, TabPassesUnselectableRadiosAndTheTimer) {
    const int expected[] = {radioA, radioB, radioC, ordinaryButton, defaultButton, hintBox, radioA};
    focus(hintBox);
    for (int slot : expected) {
        EXPECT_TRUE(press(VK_TAB));
        EXPECT_EQ(GetFocus(), windowOf(slot)) << "Tab to " << definition.controls[static_cast<size_t>(slot)].name;
    }
    for (int slot : {radioA, radioB, radioC}) EXPECT_FALSE(checked(slot)) << "Tab checks nothing";
    EXPECT_EQ(handlerRuns, (std::array<int, slotCount>{}));
}

struct EnterCase {
    const char* name;
    int focused;
    bool consumed;
    int clicked;  // -1: none
};

void PrintTo(const EnterCase& c, std::ostream* os) { *os << c.name; }

class StripEnterTest : public StripWindowTest, public ::testing::WithParamInterface<EnterCase> {};

// Enter clicks a focused default button and nothing else; elsewhere the key is left
// to the control.
TEST_P(StripEnterTest, EnterClicksOnlyADefaultButton) {
    const EnterCase& c = GetParam();
    focus(c.focused);
    EXPECT_EQ(press(VK_RETURN), c.consumed);
    for (int slot = 0; slot < slotCount; ++slot) {
        EXPECT_EQ(handlerRuns[static_cast<size_t>(slot)], slot == c.clicked ? 1 : 0)
            << definition.controls[static_cast<size_t>(slot)].name;
    }
}

INSTANTIATE_TEST_SUITE_P(Enter, StripEnterTest,
                         ::testing::Values(EnterCase{"ordinary_button", ordinaryButton, false, -1},
                                           EnterCase{"default_button", defaultButton, true, defaultButton},
                                           EnterCase{"edit_box", hintBox, false, -1},
                                           EnterCase{"radio_button", radioA, false, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each notification comes back to the control that sent it, which runs its bound
// handler once: a click for buttons, a content change for the edit box.
TEST_F(StripWindowTest, NotificationsReachTheHandlerOfTheirControlOnce) {
    SendMessageW(windowOf(ordinaryButton), BM_CLICK, 0, 0);
    SendMessageW(windowOf(radioB), BM_CLICK, 0, 0);
    main.control(numberOf(hintBox))->writeSetting(EditBox::content, Value(gbk(L"提示")));
    pumpFor(Millis{20});
    std::array<int, slotCount> expected{};
    expected[ordinaryButton] = 1;
    expected[radioB] = 1;
    expected[hintBox] = 1;
    EXPECT_EQ(handlerRuns, expected);
    EXPECT_TRUE(checked(radioB));
}

// ---------------------------------------------------------------------------
// Colours

// The window hands the colour questions to the control that they concern.
TEST_F(StripWindowTest, ColourQuestionsAreAnsweredByTheControlConcerned) {
    HDC dc = CreateCompatibleDC(nullptr);
    const auto editBrush = reinterpret_cast<HBRUSH>(SendMessageW(
        main.window(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(windowOf(hintBox))));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
    EXPECT_EQ(GetBkColor(dc), RGB(0, 255, 0));
    LOGBRUSH brush{};
    ASSERT_EQ(GetObjectW(editBrush, sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbColor, RGB(0, 255, 0));

    const auto radioBrush = reinterpret_cast<HBRUSH>(SendMessageW(
        main.window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(windowOf(radioA))));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
    ASSERT_EQ(GetObjectW(radioBrush, sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbColor, GetSysColor(COLOR_BTNFACE));
    EXPECT_NE(radioBrush, GetSysColorBrush(COLOR_BTNFACE)) << "the radio button's own brush";
    DeleteDC(dc);
}

}  // namespace
}  // namespace strip_test
